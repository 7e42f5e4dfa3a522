// Scene steps with many bodies, beside the same scenes in ODE (quick step,
// 10 iterations), so that the ratio to a peer engine shows. The named scenes
// are listed in physics_scenes.h. Each run builds the scene, then steps it
// kStepsPerRun times at the default 0.002 s step; the counters give
// microseconds and contacts per step.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/physics_scenes.h"
#include "model/callbacks.h"

namespace {

using namespace physics_scenes;

constexpr int kStepsPerRun = 500;

// ---- ours ------------------------------------------------------------------

// Counts contacts through the scene's callback seam: every contact, bounds
// or pair, is offered to CB_PRE_COLLISION once before it acts.
long g_contacts = 0;
bool countContacts(LMP_Proxy*, CTRL_ScriptEngine*, int id, va_list) {
  if (id == CB_PRE_COLLISION) ++g_contacts;
  return true;
}
const LMP_ProxyHooks kCountingHooks = {nullptr, nullptr, countContacts, nullptr};

void BM_Ours(benchmark::State& state, const SceneSpec* spec) {
  std::vector<BodySpec> specs = spec->make();
  int fakeProxy = 0, fakeEngine = 0;
  LMP_setProxyHooks(&kCountingHooks);
  long contacts = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Scene* s = new Scene("bench");
    build(*s, specs);
    s->proxy.proxy = reinterpret_cast<LMP_Proxy*>(&fakeProxy);  // not counted: the hooks never retain
    g_contacts = 0;
    state.ResumeTiming();
    for (int i = 0; i < kStepsPerRun; ++i) s->step(reinterpret_cast<CTRL_ScriptEngine*>(&fakeEngine), kStep);
    state.PauseTiming();
    contacts += g_contacts;
    steps += kStepsPerRun;
    s->proxy.proxy = nullptr;
    delete s;
    state.ResumeTiming();
  }
  LMP_setProxyHooks(nullptr);
  state.counters["time_per_step"] =
      benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["contacts_per_step"] = static_cast<double>(contacts) / static_cast<double>(steps);
}

// ---- ODE ------------------------------------------------------------------

struct OdeWorld {
  dWorldID world = nullptr;
  dSpaceID space = nullptr;
  dJointGroupID contacts = nullptr;
  long contactCount = 0;
};

void odeNearCallback(void* data, dGeomID g1, dGeomID g2) {
  OdeWorld* w = static_cast<OdeWorld*>(data);
  dBodyID b1 = dGeomGetBody(g1), b2 = dGeomGetBody(g2);
  if ((!b1 || !dBodyIsEnabled(b1)) && (!b2 || !dBodyIsEnabled(b2))) return;
  const int kMax = 4;
  dContact contact[kMax];
  int n = dCollide(g1, g2, kMax, &contact[0].geom, sizeof(dContact));
  for (int i = 0; i < n; ++i) {
    contact[i].surface.mode = dContactBounce;
    contact[i].surface.mu = kFriction;
    contact[i].surface.bounce = kElasticity;
    contact[i].surface.bounce_vel = 0.01;
    dJointID j = dJointCreateContact(w->world, w->contacts, &contact[i]);
    dJointAttach(j, b1, b2);
  }
  w->contactCount += n;
}

void odeBuild(OdeWorld& w, const std::vector<BodySpec>& specs) {
  w.world = dWorldCreate();
  dWorldSetGravity(w.world, 0, 0, kGravityZ);
  dWorldSetQuickStepNumIterations(w.world, 10);
  // Sleep like ours: below the speed thresholds for the still delay.
  dWorldSetAutoDisableFlag(w.world, 1);
  dWorldSetAutoDisableTime(w.world, kStillDelay);
  dWorldSetAutoDisableSteps(w.world, 0);
  dWorldSetAutoDisableLinearThreshold(w.world, 0.1);
  dWorldSetAutoDisableAngularThreshold(w.world, std::sqrt(0.1));
  w.space = dHashSpaceCreate(nullptr);
  w.contacts = dJointGroupCreate(0);
  dCreatePlane(w.space, 0, 0, 1, 0);
  for (const BodySpec& s : specs) {
    dBodyID b = dBodyCreate(w.world);
    dMass m;
    dGeomID g;
    if (s.sphere) {
      dMassSetSphereTotal(&m, kMass, s.half);
      g = dCreateSphere(w.space, s.half);
    } else {
      dMassSetBoxTotal(&m, kMass, 2 * s.half, 2 * s.half, 2 * s.half);
      g = dCreateBox(w.space, 2 * s.half, 2 * s.half, 2 * s.half);
    }
    dBodySetMass(b, &m);
    dBodySetPosition(b, s.x, s.y, s.z);
    dGeomSetBody(g, b);
  }
}

void odeDestroy(OdeWorld& w) {
  dJointGroupDestroy(w.contacts);
  dSpaceDestroy(w.space);
  dWorldDestroy(w.world);
  w = OdeWorld();
}

void BM_Ode(benchmark::State& state, const SceneSpec* spec) {
  std::vector<BodySpec> specs = spec->make();
  long contacts = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    OdeWorld w;
    odeBuild(w, specs);
    state.ResumeTiming();
    for (int i = 0; i < kStepsPerRun; ++i) {
      dSpaceCollide(w.space, &w, odeNearCallback);
      dWorldQuickStep(w.world, kStep);
      dJointGroupEmpty(w.contacts);
    }
    state.PauseTiming();
    contacts += w.contactCount;
    steps += kStepsPerRun;
    odeDestroy(w);
    state.ResumeTiming();
  }
  state.counters["time_per_step"] =
      benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["contacts_per_step"] = static_cast<double>(contacts) / static_cast<double>(steps);
}

// Prints the usual report, then one line per scene with both engines' cost
// and their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      std::string name = r.benchmark_name();
      size_t slash = name.find('/');
      if (slash == std::string::npos) continue;
      auto us = r.counters.find("time_per_step");
      auto cs = r.counters.find("contacts_per_step");
      if (us == r.counters.end() || cs == r.counters.end()) continue;
      Entry& e = results_[name.substr(slash + 1)];
      bool ours = name.compare(0, slash, "ours") == 0;
      (ours ? e.ours : e.ode) = us->second.value * 1e6;
      (ours ? e.oursContacts : e.odeContacts) = cs->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-10s %14s %14s %8s %16s %16s\n", "scene", "ours us/step", "ODE us/step", "ratio", "ours contacts",
                "ODE contacts");
    for (const SceneSpec& s : kScenes) {
      auto it = results_.find(s.name);
      if (it == results_.end()) continue;
      const Entry& e = it->second;
      std::printf("%-10s %14.2f %14.2f %8.2f %16.1f %16.1f\n", s.name, e.ours, e.ode, e.ode > 0 ? e.ours / e.ode : 0.0,
                  e.oursContacts, e.odeContacts);
    }
  }

 private:
  struct Entry {
    double ours = 0, ode = 0, oursContacts = 0, odeContacts = 0;
  };
  std::map<std::string, Entry> results_;
};

}  // namespace

int main(int argc, char** argv) {
  dInitODE2(0);
  for (const SceneSpec& s : kScenes) {
    benchmark::RegisterBenchmark((std::string("ours/") + s.name).c_str(), BM_Ours, &s)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("ode/") + s.name).c_str(), BM_Ode, &s)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  dCloseODE();
  return 0;
}
