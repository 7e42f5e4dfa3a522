// Scene steps with many bodies, beside the same scenes in ODE (quick step,
// 10 iterations), so that the ratio to a peer engine shows: once with up to
// four contacts per touching pair, once held to one, the work ours does. The
// named scenes are listed in physics_scenes.h. Each run builds the scene,
// then steps it kStepsPerRun times at the default 0.002 s step; the counters
// give microseconds and contacts per step. The scale scenes' growth from
// 1,000 to 2,000 and 4,000 bodies is printed beside n log n's. The scenes
// built as the player's content builds them run as the player runs them,
// with no collision callback to ask (the scene counts their contacts), and
// print beside their plain twins; a later stretch of a scene is stepped to
// its start untimed.
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
const LMP_ProxyHooks kCountingHooks = {nullptr, nullptr, countContacts, nullptr, nullptr};

// A scene whose script sets no collision callback, as the player's scale
// content: the script library says so, and nothing is fired.
bool answerUnasked(LMP_Proxy*, CTRL_ScriptEngine*, int id, va_list) { return id == CB_PRE_COLLISION; }
bool listensToNone(const LMP_Proxy*, int) { return false; }
const LMP_ProxyHooks kUnscriptedHooks = {nullptr, nullptr, answerUnasked, nullptr, listensToNone};

// Builds the scene, steps it to its start untimed, then kStepsPerRun times
// timed; answers the contacts of the timed steps.
long runOurs(const SceneSpec& spec, const std::vector<BodySpec>& specs, benchmark::State& state) {
  int fakeProxy = 0, fakeEngine = 0;
  CTRL_ScriptEngine* engine = reinterpret_cast<CTRL_ScriptEngine*>(&fakeEngine);
  Scene* s = new Scene("bench");
  build(*s, specs, spec.meshed);
  s->proxy.proxy = reinterpret_cast<LMP_Proxy*>(&fakeProxy);  // not counted: the hooks never retain
  LMP_setProxyHooks(spec.meshed ? &kUnscriptedHooks : &kCountingHooks);
  for (int i = 0; i < spec.settleSteps; ++i) s->step(engine, kStep);
  g_contacts = 0;
  const uint64_t offered = s->contactsOffered;
  state.ResumeTiming();
  for (int i = 0; i < kStepsPerRun; ++i) s->step(engine, kStep);
  state.PauseTiming();
  const long contacts = spec.meshed ? static_cast<long>(s->contactsOffered - offered) : g_contacts;
  LMP_setProxyHooks(nullptr);
  s->proxy.proxy = nullptr;
  delete s;
  return contacts;
}

void BM_Ours(benchmark::State& state, const SceneSpec* spec) {
  std::vector<BodySpec> specs = spec->make();
  long contacts = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    contacts += runOurs(*spec, specs, state);
    steps += kStepsPerRun;
    state.ResumeTiming();
  }
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

template <int kMax>
void odeNearCallback(void* data, dGeomID g1, dGeomID g2) {
  OdeWorld* w = static_cast<OdeWorld*>(data);
  dBodyID b1 = dGeomGetBody(g1), b2 = dGeomGetBody(g2);
  if ((!b1 || !dBodyIsEnabled(b1)) && (!b2 || !dBodyIsEnabled(b2))) return;
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

// maxContacts: how many contacts of one touching pair ODE keeps (4 or 1).
void BM_Ode(benchmark::State& state, const SceneSpec* spec, int maxContacts) {
  dNearCallback* near = maxContacts == 1 ? odeNearCallback<1> : odeNearCallback<4>;
  std::vector<BodySpec> specs = spec->make();
  long contacts = 0, steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    OdeWorld w;
    odeBuild(w, specs);
    state.ResumeTiming();
    for (int i = 0; i < kStepsPerRun; ++i) {
      dSpaceCollide(w.space, &w, near);
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

// Prints the usual report, then one line per scene with each engine's cost
// and the ratios, then the growth of the scale scenes.
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
      const std::string engine = name.substr(0, slash);
      Entry& e = results_[name.substr(slash + 1)];
      Cost& c = engine == "ours" ? e.ours : (engine == "ode1" ? e.ode1 : e.ode);
      c.us = us->second.value * 1e6;
      c.contacts = cs->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-10s %12s %12s %7s %12s %7s %14s %14s %14s\n", "scene", "ours us", "ODE us", "ratio", "ODE-1 us",
                "ratio", "ours contacts", "ODE contacts", "ODE-1 contacts");
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (const SceneSpec& s : kScenes) {
      auto it = results_.find(s.name);
      if (s.meshed || it == results_.end()) continue;  // the player-shaped ones come last
      const Entry& e = it->second;
      std::printf("%-10s %12.2f %12.2f %7.2f %12.2f %7.2f %14.1f %14.1f %14.1f\n", s.name, e.ours.us, e.ode.us,
                  ratio(e.ours.us, e.ode.us), e.ode1.us, ratio(e.ours.us, e.ode1.us), e.ours.contacts, e.ode.contacts,
                  e.ode1.contacts);
    }
    // n log n from 1,000 bodies: 2.20 at 2,000, 4.80 at 4,000.
    const double nlogn2 = 2 * std::log(2000.0) / std::log(1000.0), nlogn4 = 4 * std::log(4000.0) / std::log(1000.0);
    std::printf("\n%-6s %12s %12s %12s %10s %10s   (n log n: %.2f, %.2f)\n", "ours", "1000 us", "2000 us", "4000 us",
                "x2000", "x4000", nlogn2, nlogn4);
    for (const char* family : {"grid", "rowx", "rowy", "rowz", "pile"}) {
      double us[3] = {0, 0, 0};
      const char* const sizes[] = {"1000", "2000", "4000"};
      for (int k = 0; k < 3; ++k) {
        auto it = results_.find(std::string(family) + sizes[k]);
        if (it != results_.end()) us[k] = it->second.ours.us;
      }
      if (us[0] <= 0) continue;
      std::printf("%-6s %12.2f %12.2f %12.2f %10.2f %10.2f\n", family, us[0], us[1], us[2], ratio(us[1], us[0]),
                  ratio(us[2], us[0]));
    }
    // The player's shape of a scene against the plain one of the same name.
    bool header = false;
    for (const SceneSpec& s : kScenes) {
      if (!s.meshed) continue;
      auto shaped = results_.find(s.name);
      if (shaped == results_.end()) continue;
      if (!header)
        std::printf("\n%-17s %12s %14s %12s %7s\n", "player-shaped", "ours us", "ours contacts", "plain us", "ratio");
      header = true;
      const Cost& ours = shaped->second.ours;
      std::printf("%-17s %12.2f %14.1f", s.name, ours.us, ours.contacts);
      auto plain = results_.find(s.name + 4);  // past "mesh"
      if (plain != results_.end())
        std::printf(" %12.2f %7.2f", plain->second.ours.us, ratio(ours.us, plain->second.ours.us));
      std::printf("\n");
    }
  }

 private:
  struct Cost {
    double us = 0, contacts = 0;
  };
  struct Entry {
    Cost ours, ode, ode1;
  };
  std::map<std::string, Entry> results_;
};

}  // namespace

int main(int argc, char** argv) {
  dInitODE2(0);
  for (const SceneSpec& s : kScenes) {
    benchmark::RegisterBenchmark((std::string("ours/") + s.name).c_str(), BM_Ours, &s)->Unit(benchmark::kMillisecond);
    if (s.meshed) continue;  // ODE's twin is the plain scene's
    benchmark::RegisterBenchmark((std::string("ode/") + s.name).c_str(), BM_Ode, &s, 4)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("ode1/") + s.name).c_str(), BM_Ode, &s, 1)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  dCloseODE();
  return 0;
}
