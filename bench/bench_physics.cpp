// Scene steps with many bodies, beside the same scenes in ODE (quick step,
// 10 iterations), so that the ratio to a peer engine shows. Named scenes:
//   stack10    a stack of 10 unit boxes on the floor
//   pyramid55  a 2-D pyramid of 55 unit boxes (10 rows)
//   pile400    400 spheres and boxes in a 10 x 10 x 4 grid, dropped into a pile
// Each run builds the scene, then steps it kStepsPerRun times at the default
// 0.002 s step; the counters give microseconds and contacts per step.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "model/callbacks.h"
#include "model/collision_volume.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace {

constexpr double kStep = 0.0020000000949949026;
constexpr double kGravityZ = -9.8100004196167;
constexpr double kFriction = 0.8;
constexpr double kElasticity = 0.6;
constexpr double kStillDelay = 2.0;
constexpr double kMass = 1.0;
constexpr int kStepsPerRun = 500;

struct BodySpec {
  bool sphere;
  double half;  // half size, or radius
  double x, y, z;
};

std::vector<BodySpec> stack10() {
  std::vector<BodySpec> v;
  for (int i = 0; i < 10; ++i) v.push_back({false, 0.5, 0, 0, 0.5 + i * 1.0});
  return v;
}

std::vector<BodySpec> pyramid55() {
  std::vector<BodySpec> v;
  for (int row = 0; row < 10; ++row) {
    int n = 10 - row;
    for (int i = 0; i < n; ++i) v.push_back({false, 0.5, (i - (n - 1) / 2.0) * 1.0, 0, 0.5 + row * 1.0});
  }
  return v;
}

std::vector<BodySpec> pile400() {
  std::vector<BodySpec> v;
  unsigned seed = 2024;
  auto jitter = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (((seed >> 16) & 0x7fff) / 32768.0 - 0.5) * 0.2;
  };
  for (int layer = 0; layer < 4; ++layer)
    for (int i = 0; i < 10; ++i)
      for (int j = 0; j < 10; ++j) {
        bool sphere = (i + j + layer) % 2 == 0;
        v.push_back({sphere, 0.4, i * 1.0 + jitter(), j * 1.0 + jitter(), 0.5 + layer * 1.0 + jitter() * 0.5});
      }
  return v;
}

struct SceneSpec {
  const char* name;
  std::vector<BodySpec> (*make)();
};

const SceneSpec kScenes[] = {{"stack10", stack10}, {"pyramid55", pyramid55}, {"pile400", pile400}};

// ---- ours ------------------------------------------------------------------

// Counts contacts through the scene's callback seam: every contact, bounds
// or pair, is offered to CB_PRE_COLLISION once before it acts.
long g_contacts = 0;
bool countContacts(LMP_Proxy*, CTRL_ScriptEngine*, int id, va_list) {
  if (id == CB_PRE_COLLISION) ++g_contacts;
  return true;
}
const LMP_ProxyHooks kCountingHooks = {nullptr, nullptr, countContacts};

Scene* oursBuild(const std::vector<BodySpec>& specs) {
  Scene* s = new Scene("bench");
  for (const BodySpec& b : specs) {
    MDL_RigidBody* body = new MDL_RigidBody;
    body->editWorld().position = Vec3(b.x, b.y, b.z);
    body->inverseMass = 1.0 / kMass;
    double I = b.sphere ? 0.4 * kMass * b.half * b.half : kMass * (2 * b.half) * (2 * b.half) / 6.0;
    body->setInertia(Vec3(I, I, I));
    s->registerObject(body);
    MDL_CollisionVolume* v = new MDL_CollisionVolume(b.sphere ? SHAPE_SPHERE : SHAPE_BOX);
    RigidTransform& w = v->editWorld();
    w.position = body->getWorld().position;
    for (int i = 0; i < 3; ++i) {
      w.basis.axis[i] = Vec3();
      w.basis.axis[i][i] = b.half;
    }
    w.inverseStale = 1;
    body->addChild(v);
    s->registerObject(v);
  }
  return s;
}

void BM_Ours(benchmark::State& state, const SceneSpec* spec) {
  std::vector<BodySpec> specs = spec->make();
  int fakeProxy = 0, fakeEngine = 0;
  LMP_setProxyHooks(&kCountingHooks);
  long contacts = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Scene* s = oursBuild(specs);
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
    std::printf("\n%-10s %14s %14s %8s %16s %16s\n", "scene", "ours us/step", "ODE us/step", "ratio",
                "ours contacts", "ODE contacts");
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
