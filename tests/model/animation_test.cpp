#include "model/animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/mesh_data.h"
#include "model/object.h"
#include "model/scene.h"
#include "tests/model/expect_vec3.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Key {
  double time;
  Vec3 location, rotation, scale;
};

// Keyframe data built in memory, played on one plain object.
struct Track {
  AnimationData data;
  MDL_Object target;
  Animation anim;

  explicit Track(const std::vector<Key>& keys, double duration = 100.0) {
    const int32_t n = static_cast<int32_t>(keys.size());
    data.allocateKeys(n);
    for (int32_t i = 0; i < n; ++i) {
      data.times[i] = keys[i].time;
      data.locations[i] = keys[i].location;
      data.rotations[i] = keys[i].rotation;
      data.scales[i] = keys[i].scale;
    }
    anim.target = &target;
    anim.data = &data;
    anim.duration = duration;
  }
  Vec3 at(double time) {
    anim.time = time;
    Animation::step(&anim, 0.0);
    return target.getWorld().position;
  }
};

const Vec3 kOne(1, 1, 1);

std::vector<Key> threeKeysAlongX() {
  return {{0, {0, 0, 0}, {}, kOne}, {1, {1, 0, 0}, {}, kOne}, {2, {3, 0, 0}, {}, kOne}};
}

TEST(KeyframeStep, CatmullRomPositionsWorkedByHand) {
  Track t(threeKeysAlongX());
  // s = 0.5 weights the four control points -1/16, 9/16, 9/16, -1/16.
  expectNear(t.at(0.0), {0, 0, 0});
  expectNear(t.at(0.5), {0.5 * (1.125 - 3 * 0.125), 0, 0});              // points 0, 0, 1, 3
  expectNear(t.at(1.0), {1, 0, 0});                                      // segment 0 at s = 1
  expectNear(t.at(1.5), {0.5 * (1.125 + 3 * 1.125 - 3 * 0.125), 0, 0});  // points 0, 1, 3, 3
  expectNear(t.at(2.0), {3, 0, 0});
}

TEST(KeyframeStep, RotationThenScaleOfTheLocalAxes) {
  // Two keys: the outer control points repeat the inner ones, so halfway
  // is the mean angle.
  Track t({{0, {}, {0, 0, 0}, {2, 1, 1}}, {2, {}, {0, 0, kPi / 2}, {2, 1, 1}}});
  t.at(1.0);
  const Matrix3& b = t.target.getWorld().basis;
  const double h = std::sqrt(0.5);
  expectNear(b.X(), {2 * h, 2 * h, 0});  // rotated by 45 degrees, then doubled
  expectNear(b.Y(), {-h, h, 0});
  expectNear(b.Z(), {0, 0, 1});
}

TEST(KeyframeStep, ThePoseIsThatOfTheClockBeforeTheStep) {
  Track t(threeKeysAlongX(), 1.5);
  t.anim.time = 1.0;
  Animation::step(&t.anim, 0.25);
  expectNear(t.target.getWorld().position, {1, 0, 0});
  EXPECT_DOUBLE_EQ(t.anim.time, 1.25);
  EXPECT_TRUE(t.anim.playing);
  Animation::step(&t.anim, 0.5);  // clock 1.75 > 1.5: stops
  EXPECT_FALSE(t.anim.playing);
  EXPECT_DOUBLE_EQ(t.anim.time, 1.75);
}

TEST(KeyframeStep, OutsideTheKeysNothingIsPosedButTheClockRuns) {
  Track t(threeKeysAlongX());
  t.target.editLocal().position = Vec3(9, 9, 9);
  t.anim.time = -1.0;
  Animation::step(&t.anim, 0.5);
  expectNear(t.target.getWorld().position, {9, 9, 9});
  EXPECT_DOUBLE_EQ(t.anim.time, -0.5);
  t.at(2.5);  // past the last key
  expectNear(t.target.getWorld().position, {9, 9, 9});
}

TEST(KeyframeStep, NoWrapAroundAndReplayingFromTheStart) {
  Track t(threeKeysAlongX(), 2.0);
  t.anim.time = 1.5;
  for (int i = 0; i < 4; ++i) Animation::step(&t.anim, 0.5);
  EXPECT_FALSE(t.anim.playing);
  EXPECT_DOUBLE_EQ(t.anim.time, 3.5);                   // the clock is never wrapped
  expectNear(t.target.getWorld().position, {3, 0, 0});  // the last pose stays
  // Looping is the content's seek back to the start and play.
  t.anim.time = 0.0;
  t.anim.playing = 1;
  Animation::step(&t.anim, 0.5);
  expectNear(t.target.getWorld().position, {0, 0, 0});
  EXPECT_TRUE(t.anim.playing);
}

TEST(KeyframeStep, SpeedScalesTheClock) {
  Track t(threeKeysAlongX(), 1.0);
  t.anim.speed = 0.0;  // holds pose and clock
  Animation::step(&t.anim, 5.0);
  EXPECT_EQ(t.anim.time, 0.0);
  t.anim.speed = -2.0;  // runs backwards and never stops by duration
  for (int i = 0; i < 3; ++i) Animation::step(&t.anim, 1.0);
  EXPECT_DOUBLE_EQ(t.anim.time, -6.0);
  EXPECT_TRUE(t.anim.playing);
}

TEST(KeyframeStep, FlaggedOrMissingTargetNeitherPosesNorAdvances) {
  Track t(threeKeysAlongX());
  t.target.pendingDelete = 1;
  t.anim.time = 1.0;
  Animation::step(&t.anim, 1.0);
  EXPECT_EQ(t.anim.time, 1.0);
  expectNear(t.target.getWorld().position, {0, 0, 0});
  t.anim.target = nullptr;
  Animation::step(&t.anim, 1.0);
  EXPECT_EQ(t.anim.time, 1.0);
}

TEST(KeyframeStep, OddKeyTables) {
  {
    SCOPED_TRACE("two keys at one time: the first holds, never NaN");
    Track t({{0, {5, 0, 0}, {}, kOne}, {0, {7, 0, 0}, {}, kOne}, {1, {8, 0, 0}, {}, kOne}});
    expectNear(t.at(0.0), {5, 0, 0});
  }
  {
    SCOPED_TRACE("keys out of time order pose nothing");
    Track t({{2, {5, 0, 0}, {}, kOne}, {1, {7, 0, 0}, {}, kOne}, {0, {8, 0, 0}, {}, kOne}});
    expectNear(t.at(1.5), {0, 0, 0});
  }
  {
    SCOPED_TRACE("one key poses nothing but the clock runs");
    Track t({{0, {5, 0, 0}, {}, kOne}});
    Animation::step(&t.anim, 0.5);
    expectNear(t.target.getWorld().position, {0, 0, 0});
    EXPECT_EQ(t.anim.time, 0.5);
  }
}

TEST(KeyframeStep, PosingMovesTheChildrenAlong) {
  Track t(threeKeysAlongX());
  MDL_Object child;
  child.editLocal().position = Vec3(0, 1, 0);
  t.target.addChild(&child);
  t.at(2.0);
  expectNear(child.getWorld().position, {3, 1, 0});
  child.unlinkFromParent();
}

TEST(KeyframeStep, ThePurgeDropsAnimationsOfDeletedTargets) {
  Scene scene;
  MDL_Object* kept = new MDL_Object;
  MDL_Object* gone = new MDL_Object;
  scene.registerObject(kept);
  scene.registerObject(gone);
  for (MDL_Object* o : {gone, kept, gone}) {
    Animation* a = new Animation;
    a->target = o;
    scene.animations.append(a);
  }
  gone->pendingDelete = 1;
  scene.purgeDeleted();
  ASSERT_EQ(scene.animations.count, 1);
  EXPECT_EQ(Scene::animationTarget(scene.animations[0]), kept);
}

}  // namespace
