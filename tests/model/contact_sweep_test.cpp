// The collision pass skips pairs that cannot touch, but it must meet every
// other pair exactly as the plain sweep along x does: the same contacts and
// callbacks in the same order, and bit-identical bodies afterwards. Each
// bench scene runs in both, with quiet callbacks and with callbacks that
// move, add and delete bodies mid-pass.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "bench/physics_scenes.h"
#include "model/callbacks.h"
#include "model/collision.h"
#include "model/collision_volume.h"
#include "model/contact_sweep.h"
#include "model/qsort_bm.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace {

// The scene's step with the collision pass as a plain sweep: every volume
// open along x against each entry's, in the sorted order.
struct PlainSweepPhases {
  Scene& scene;
  void applySprings(double dt) { scene.applySprings(dt); }
  void integrateBodies(double dt) { scene.integrateBodies(dt); }
  void solveJoints() { scene.solveJoints(); }
  bool collideBodyWithBounds(MDL_Object* body, CTRL_ScriptEngine* engine, int axis, double lower, double upper) {
    return scene.collideBodyWithBounds(body, engine, axis, lower, upper);
  }
  void collide(CTRL_ScriptEngine* engine) {
    PtrArray<SweepEntry>& sweepEntries = scene.sweepEntries;
    for (MDL_Object* v : scene.collisionVolumes) static_cast<MDL_CollisionVolume*>(v)->updateSize();
    for (SweepEntry* e : sweepEntries) {
      MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(e->volume);
      double h = v->boundingRadius;
      if (v->shape != SHAPE_SPHERE) {
        const Matrix3& b = v->getWorld().basis;
        h = std::fabs(b.X().x) + std::fabs(b.Y().x) + std::fabs(b.Z().x);
      }
      double cx = v->getWorld().position.x;
      e->coordinate = e->begin ? cx - h : cx + h;
    }
    qsortBM(sweepEntries.data, static_cast<size_t>(sweepEntries.count), sizeof(SweepEntry*),
            [](const void* a, const void* b) {
              double x = (*static_cast<SweepEntry* const*>(a))->coordinate;
              double y = (*static_cast<SweepEntry* const*>(b))->coordinate;
              return x < y ? -1 : (x > y ? 1 : 0);
            });
    PtrArray<MDL_Object> open(false);
    for (int32_t i = 0; i < sweepEntries.count; ++i) {
      SweepEntry* e = sweepEntries[i];
      MDL_CollisionVolume* a = static_cast<MDL_CollisionVolume*>(e->volume);
      if (a->pendingDelete) continue;
      for (int32_t k = 0; k < open.count; ++k)
        collideSweepPair(&scene, engine, a, static_cast<MDL_CollisionVolume*>(open[k]));
      if (e->begin)
        open.append(a);
      else
        open.removeFirst(a);
    }
  }
};

// One contact offered to the pre-collision callback: its depth and the
// places of its bodies and volumes among the scene's objects.
struct Offered {
  double depth;
  int32_t bodyA, volumeA, bodyB, volumeB;
  bool operator==(const Offered& o) const {
    return std::memcmp(&depth, &o.depth, sizeof depth) == 0 && bodyA == o.bodyA && volumeA == o.volumeA &&
           bodyB == o.bodyB && volumeB == o.volumeB;
  }
};

// What the callbacks do besides recording.
enum Meddling {
  QUIET,
  MOVES,             // every 5th contact moves its first body one row along y
  ADDS_AND_DELETES,  // every 7th adds a sphere beside its first body, every 11th deletes that body
  RELINKS,           // every 9th puts its first volume under the other body, where it stands
  UNASKED,           // the script has no collision callback: none is fired (the plain sweep still records)
};

struct Recorder {
  Scene* scene = nullptr;
  std::unordered_map<const void*, int32_t> places;  // objects by first appearance
  std::vector<Offered> offered;
  Meddling meddling = QUIET;
  int added = 0;
};
Recorder* g_recorder = nullptr;

bool record(LMP_Proxy*, CTRL_ScriptEngine*, int id, va_list args) {
  if (id != CB_PRE_COLLISION) return true;
  va_arg(args, const Vec3*);
  va_arg(args, const Vec3*);
  const double depth = *va_arg(args, const double*);
  MDL_Object* objects[4];
  for (MDL_Object*& o : objects) o = va_arg(args, MDL_Object*);
  Recorder& r = *g_recorder;
  auto place = [&r](const MDL_Object* o) {
    return o ? r.places.emplace(o, static_cast<int32_t>(r.places.size())).first->second : -1;
  };
  r.offered.push_back({depth, place(objects[0]), place(objects[1]), place(objects[2]), place(objects[3])});
  MDL_Object* body = objects[0];
  const size_t n = r.offered.size();
  if (!body || body->pendingDelete) return true;
  if (r.meddling == MOVES && n % 5 == 0) body->editWorld().position.y += 1.25;
  if (r.meddling == ADDS_AND_DELETES && n % 7 == 0 && r.added < 40) {
    const Vec3& at = body->getWorld().position;
    physics_scenes::addBody(*r.scene, {true, 0.3, at.x, at.y + 0.5, at.z + 0.2});
    ++r.added;
  }
  MDL_Object* volume = objects[1];
  MDL_Object* other = objects[2];
  if (r.meddling == RELINKS && n % 9 == 0 && other && other != body && volume->parent) {
    volume->getWorld();
    volume->recomputeLocal();
    volume->unlinkFromParent();
    other->addChild(volume);
  }
  if (r.meddling == ADDS_AND_DELETES && n % 11 == 0) {
    // Flagged as the controller's deletion flags them; the scene keeps
    // them until a purge, so no address is reused under the recorder.
    body->pendingDelete = 1;
    body->forEachDescendant([](MDL_Object* o) { o->pendingDelete = 1; });
  }
  return true;
}
const LMP_ProxyHooks kRecordingHooks = {nullptr, nullptr, record, nullptr, nullptr};
bool listensToNone(const LMP_Proxy*, int) { return false; }
const LMP_ProxyHooks kUnaskedHooks = {nullptr, nullptr, record, nullptr, listensToNone};

// Bodies by value: placement, speeds and sleep state, compared bit for bit.
struct BodyState {
  double numbers[3 + 9 + 3 + 3];
  uint8_t still;
};

using Builder = std::function<void(Scene&)>;

Builder fromSpecs(const std::vector<physics_scenes::BodySpec>& specs, bool meshed = false) {
  return [&specs, meshed](Scene& s) { physics_scenes::build(s, specs, meshed); };
}

// Steps the scene, with the plain sweep when asked.
std::vector<BodyState> runScene(Scene& s, bool plainSweep, const Builder& build, int steps, Recorder& recorder) {
  build(s);
  recorder.scene = &s;
  for (int32_t i = 0; i < s.objects.count; ++i) recorder.places[s.objects[i]] = i;
  int fakeProxy = 0, fakeEngine = 0;
  s.proxy.proxy = reinterpret_cast<LMP_Proxy*>(&fakeProxy);  // the hooks never retain it
  g_recorder = &recorder;
  LMP_setProxyHooks(recorder.meddling == UNASKED ? &kUnaskedHooks : &kRecordingHooks);
  PlainSweepPhases plain{s};
  CTRL_ScriptEngine* engine = reinterpret_cast<CTRL_ScriptEngine*>(&fakeEngine);
  for (int i = 0; i < steps; ++i) {
    if (plainSweep)
      s.stepWith(engine, physics_scenes::kStep, plain);
    else
      s.step(engine, physics_scenes::kStep);
  }
  LMP_setProxyHooks(nullptr);
  g_recorder = nullptr;
  s.proxy.proxy = nullptr;
  std::vector<BodyState> out;
  for (MDL_Object* o : s.rigidBodies) {
    MDL_RigidBody* b = static_cast<MDL_RigidBody*>(o);
    const RigidTransform& w = b->getWorld();
    BodyState st{};
    const Vec3 parts[] = {w.position, w.basis.axis[0], w.basis.axis[1], w.basis.axis[2], b->speed, b->angularMomentum};
    for (int k = 0; k < 6; ++k)
      for (int c = 0; c < 3; ++c) st.numbers[3 * k + c] = parts[k][c];
    st.still = b->still;
    out.push_back(st);
  }
  return out;
}

void expectSameAsPlainSweep(const char* name, const Builder& build, int steps, Meddling meddling) {
  Scene pruned, plain;
  Recorder seenPruned, seenPlain;
  seenPruned.meddling = meddling;
  seenPlain.meddling = meddling == UNASKED ? QUIET : meddling;
  const std::vector<BodyState> a = runScene(pruned, false, build, steps, seenPruned);
  const std::vector<BodyState> b = runScene(plain, true, build, steps, seenPlain);
  const char* const hows[] = {"", " with moving callbacks", " with callbacks adding and deleting bodies",
                              " with callbacks moving volumes between bodies", " with no callback to ask"};
  const char* how = hows[meddling];
  ASSERT_GT(seenPlain.offered.size(), 0u) << name;
  if (meddling == UNASKED) {
    EXPECT_EQ(seenPruned.offered.size(), 0u) << name << how;
  } else {
    EXPECT_TRUE(seenPruned.offered == seenPlain.offered)
        << name << how << ": " << seenPruned.offered.size() << " contacts against " << seenPlain.offered.size();
  }
  ASSERT_EQ(a.size(), b.size());
  size_t differing = 0;
  while (differing < a.size() &&
         std::memcmp(a[differing].numbers, b[differing].numbers, sizeof a[differing].numbers) == 0 &&
         a[differing].still == b[differing].still)
    ++differing;
  EXPECT_EQ(differing, a.size()) << name << how << ": the first body that differs";
}

TEST(ContactSweep, MeetsThePairsOfThePlainSweepInItsOrderOnEveryBenchScene) {
  for (Meddling meddling : {QUIET, MOVES, ADDS_AND_DELETES, UNASKED})
    for (const physics_scenes::SceneSpec& spec : physics_scenes::kScenes) {
      const std::vector<physics_scenes::BodySpec> specs = spec.make();
      // The scale scenes are the same layouts at 1,000, 2,000 and 4,000
      // bodies, and the reference walks every pair: the smallest serves.
      // (The player-shaped ones follow below, smaller.)
      if (specs.size() > 1000 && std::strcmp(spec.name, "grid4000") != 0) continue;
      // Large scenes run a few steps, long enough for a dropped pile to land.
      const bool pile = std::strncmp(spec.name, "pile", 4) == 0;
      expectSameAsPlainSweep(spec.name, fromSpecs(specs), specs.size() <= 500 ? 200 : (pile ? 100 : 40), meddling);
    }
}

// Bodies as scripts build them, the volume under a mesh under the body and
// the body's initial inertia: a grid whose boxes rock on the floor for
// good, a row, and a pile that never comes to rest.
TEST(ContactSweep, BodiesBuiltAsScriptsBuildThemMeetAsWithThePlainSweep) {
  const struct {
    const char* name;
    std::vector<physics_scenes::BodySpec> specs;
    int steps;
  } layouts[] = {
      {"grid of meshed bodies", physics_scenes::grid(20, 25), 60},
      {"row of meshed bodies", physics_scenes::row(500, 1), 40},
      {"pile of meshed bodies", physics_scenes::pile(10, 10, 4), 300},
  };
  for (Meddling meddling : {QUIET, MOVES, ADDS_AND_DELETES, RELINKS, UNASKED})
    for (const auto& layout : layouts)
      expectSameAsPlainSweep(layout.name, fromSpecs(layout.specs, true), layout.steps, meddling);
}

// Two spheres sunk deep into each other are pushed apart in the pass, one of
// them into a third sphere that was out of reach when the pass began: that
// pair must still meet, in its place. A line of far spheres makes the scene
// large enough for the pass to skip pairs.
TEST(ContactSweep, ABodyPushedOutMidPassMeetsWhatItWasPushedInto) {
  for (int axis : {1, 2}) {  // the line along y, then along z
    auto at = [axis](double along) {
      return axis == 1 ? physics_scenes::BodySpec{true, 0.5, 0, along, 3}
                       : physics_scenes::BodySpec{true, 0.5, 0, 0, 3 + along};
    };
    std::vector<physics_scenes::BodySpec> specs = {at(0.0), at(0.2), at(1.5)};
    for (int i = 0; i < 40; ++i) specs.push_back(at(100.0 + 2.0 * i));
    expectSameAsPlainSweep(axis == 1 ? "pushed along y" : "pushed along z", fromSpecs(specs), 1, QUIET);
  }
}

// A wall of spheres standing across x and z: the pass indexes z instead of
// y there, and the falling rows pile onto each other.
TEST(ContactSweep, AWallAcrossXAndZFallsAsWithThePlainSweep) {
  std::vector<physics_scenes::BodySpec> specs;
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 30; ++k) specs.push_back({k % 2 == 0, 0.5, i * 0.9, (k % 3) * 0.1, 0.5 + k * 1.1});
  expectSameAsPlainSweep("wall", fromSpecs(specs), 300, QUIET);
  expectSameAsPlainSweep("wall", fromSpecs(specs), 100, MOVES);
}

// Bodies of three volumes each (a sphere between two boxes, one of them
// turned and one a cylinder in every third body), some resting in a row on
// a floor volume of no body and some falling onto them: volumes of one body
// overlap and never meet, the resting ones come to rest in the sweep's
// eyes, and a callback may move a volume from one body to another.
void compoundBodies(Scene& s) {
  auto volume = [&s](MDL_Object* parent, int shape, const Vec3& at, const Vec3& half, double turn) {
    MDL_CollisionVolume* v = new MDL_CollisionVolume(shape);
    RigidTransform& w = v->editWorld();
    w.position = at;
    Matrix3::fromAngles(w.basis, 0.0, 0.0, turn);
    for (int i = 0; i < 3; ++i) w.basis.axis[i] *= half[i];
    w.inverseStale = 1;
    if (parent) parent->addChild(v);
    s.registerObject(v);
  };
  volume(nullptr, SHAPE_BOX, Vec3(6, 1, -0.5), Vec3(8, 3, 0.5), 0.0);
  for (int i = 0; i < 36; ++i) {
    const bool resting = i < 18;
    const Vec3 at(i % 18 * 0.75, resting ? 0.0 : 1.0 + (i % 3) * 0.2, resting ? 0.35 : 1.5 + (i % 4) * 0.4);
    MDL_RigidBody* body = new MDL_RigidBody;
    body->editWorld().position = at;
    body->setInertia(Vec3(0.05, 0.05, 0.05));
    s.registerObject(body);
    volume(body, SHAPE_SPHERE, at, Vec3(0.35, 0.35, 0.35), 0.0);
    volume(body, SHAPE_BOX, at + Vec3(0.3, 0, 0), Vec3(0.15, 0.15, 0.15), i % 2 ? 0.3 : 0.0);
    volume(body, i % 3 ? SHAPE_BOX : SHAPE_CYLINDER, at - Vec3(0.3, 0, 0), Vec3(0.15, 0.15, 0.15), 0.0);
  }
}

TEST(ContactSweep, BodiesOfSeveralVolumesMeetAsWithThePlainSweep) {
  for (Meddling meddling : {QUIET, MOVES, ADDS_AND_DELETES, RELINKS})
    expectSameAsPlainSweep("bodies of three volumes", compoundBodies, 400, meddling);
}

// newCollisionVolume(v, v) copies v's subtree under v: twelve such copies
// make 4,096 volumes of one body in one place. Their pairs never act, and
// the pass hands none of them to the contact rules: with the body alone,
// no pair at all; with a second body beside it, within reach of none of its
// volumes, at most one pair per entry.
TEST(ContactSweep, ThousandsOfVolumesOfOneBodyCostTheirPairsNothing) {
  for (bool neighbour : {false, true}) {
    Scene s;
    MDL_RigidBody* body = new MDL_RigidBody;
    body->editWorld().position = Vec3(0, 0, 0.5);
    s.registerObject(body);
    MDL_CollisionVolume* v = new MDL_CollisionVolume(SHAPE_SPHERE);
    RigidTransform& w = v->editWorld();
    w.position = Vec3(0, 0, 0.5);
    for (int i = 0; i < 3; ++i) w.basis.axis[i] *= 0.5;
    w.inverseStale = 1;
    body->addChild(v);
    s.registerObject(v);
    for (int i = 0; i < 12; ++i) v->addChild(s.instantiateByName(v));
    ASSERT_EQ(s.collisionVolumes.count, 4096);
    if (neighbour) physics_scenes::addBody(s, {true, 0.5, 0.3, 2.0, 0.5});
    const int steps = 5;
    for (int i = 0; i < steps; ++i) s.step(nullptr, physics_scenes::kStep);
    ASSERT_TRUE(s.sweepState);
    const uint64_t entries = static_cast<uint64_t>(s.sweepEntries.count);
    EXPECT_LE(s.sweepState->pairsMet, neighbour ? steps * entries : 0u)
        << (neighbour ? "beside another body" : "alone");
  }
}

}  // namespace
