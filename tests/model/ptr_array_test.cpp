#include "model/ptr_array.h"

#include <gtest/gtest.h>

namespace {

int slots[1000];

TEST(GrowArrayRule, GrowsFrom128ByDoubling) {
  PtrArray<int> a;
  EXPECT_EQ(a.capacity, 0);
  ASSERT_TRUE(a.append(&slots[0]));
  EXPECT_EQ(a.capacity, 128);
  for (int i = 1; i < 128; ++i) a.append(&slots[i]);
  EXPECT_EQ(a.capacity, 128);
  a.append(&slots[128]);
  EXPECT_EQ(a.capacity, 256);
  EXPECT_EQ(a.count, 129);
  for (int i = 0; i < 129; ++i) ASSERT_EQ(a[i], &slots[i]);
  // A jump straight to a large count doubles as often as needed.
  PtrArray<int> b;
  b.resize(513);
  EXPECT_EQ(b.capacity, 1024);
}

struct ShrinkCase {
  int32_t from;  // count first reached
  bool owns;
  int32_t to;        // count resized to
  int32_t capacity;  // capacity afterwards
};

// A case shows in test names by its numbers; printed byte by byte it would
// carry the padding after `owns`, which changes from build to build.
void PrintTo(const ShrinkCase& c, std::ostream* os) {
  *os << c.from << (c.owns ? "-owned-to-" : "-borrowed-to-") << c.to;
}

class GrowArrayShrink : public ::testing::TestWithParam<ShrinkCase> {};

TEST_P(GrowArrayShrink, HalvesOncePerResizeOnlyWhenOwning) {
  const ShrinkCase& c = GetParam();
  PointArray a(c.owns);
  ASSERT_TRUE(a.resize(c.from));
  ASSERT_TRUE(a.resize(c.to));
  EXPECT_EQ(a.count, c.to);
  EXPECT_EQ(a.capacity, c.capacity);
  EXPECT_EQ(a.data == nullptr, c.capacity == 0);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, GrowArrayShrink,
                         ::testing::Values(ShrinkCase{512, true, 200, 256},   // halves once, not to 256/2
                                           ShrinkCase{512, true, 20, 256},    // still only once
                                           ShrinkCase{512, true, 257, 512},   // above half: stays
                                           ShrinkCase{512, true, 256, 256},   // exactly half: halves
                                           ShrinkCase{256, true, 128, 128},   // down to the floor
                                           ShrinkCase{128, true, 1, 128},     // never below 128
                                           ShrinkCase{512, true, 0, 0},       // freed at zero
                                           ShrinkCase{512, false, 20, 512},   // non-owning never shrinks
                                           ShrinkCase{512, false, 0, 512}));  // ... nor frees

TEST(GrowArrayRule, KeepsValuesAcrossGrowthAndShrink) {
  PointArray a;
  a.resize(300);
  for (int i = 0; i < 300; ++i) a[i] = Vec3(i, -i, 2 * i);
  a.resize(100);  // 512 -> 256
  ASSERT_EQ(a.capacity, 256);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a[i], Vec3(i, -i, 2 * i));
}

TEST(GrowArrayRule, RefusesNegativeCount) {
  PtrArray<int> a;
  a.append(&slots[1]);
  EXPECT_FALSE(a.resize(-1));
  EXPECT_EQ(a.count, 1);
}

TEST(GrowArrayRemove, KeepsOrderOfTheRest) {
  PtrArray<int> a;
  for (int i = 0; i < 5; ++i) a.append(&slots[i]);
  a.removeAt(0);  // first
  a.removeAt(1);  // middle (slot 2)
  a.removeAt(2);  // last (slot 4)
  ASSERT_EQ(a.count, 2);
  EXPECT_EQ(a[0], &slots[1]);
  EXPECT_EQ(a[1], &slots[3]);
  EXPECT_TRUE(a.removeFirst(&slots[3]));
  EXPECT_FALSE(a.removeFirst(&slots[3]));
  a.removeAt(0);
  EXPECT_EQ(a.data, nullptr);  // the last removal frees an owning list
  EXPECT_EQ(a.capacity, 0);
}

TEST(GrowArrayRemove, RemoveIfMatchesOneByOneRemoval) {
  // Removing 900 of 1000 entries one at a time would halve 2048 -> 1024 at
  // count 1024... and stop at 128 once the count is over half of it.
  PtrArray<int> bulk, single;
  for (int i = 0; i < 1000; ++i) {
    bulk.append(&slots[i]);
    single.append(&slots[i]);
  }
  auto drop = [](int* p) { return (p - slots) % 10 != 3; };
  EXPECT_EQ(bulk.removeIf(drop), 900);
  for (int32_t i = single.count - 1; i >= 0; --i)
    if (drop(single[i])) single.removeAt(i);
  ASSERT_EQ(bulk.count, 100);
  EXPECT_EQ(bulk.capacity, single.capacity);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bulk[i], &slots[10 * i + 3]);
  EXPECT_EQ(bulk.removeIf([](int*) { return true; }), 100);
  EXPECT_EQ(bulk.data, nullptr);
}

TEST(GrowArrayRemove, RemoveIfHalvesNoMoreThanOneByOneRemoval) {
  // After a large shrink the count sits far below half the capacity; one
  // removal is one resize and halves once, not down to the floor.
  PtrArray<int> bulk, single;
  for (PtrArray<int>* a : {&bulk, &single}) {
    a->resize(600);  // 1024
    a->resize(10);   // halves once: 512
    ASSERT_EQ(a->capacity, 512);
    for (int i = 0; i < 10; ++i) (*a)[i] = &slots[i];
  }
  single.removeAt(4);
  EXPECT_EQ(bulk.removeIf([](int* p) { return p == &slots[4]; }), 1);
  EXPECT_EQ(single.capacity, 256);
  EXPECT_EQ(bulk.capacity, single.capacity);
  ASSERT_EQ(bulk.count, 9);
  EXPECT_EQ(bulk[4], &slots[5]);
}

}  // namespace

TEST(GrowArrayRule, BlockAppendAndReserveKeepTheRule) {
  GrowArray<float> a;
  const float block[3] = {1, 2, 3};
  EXPECT_TRUE(a.reserve(200));
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(a.capacity, 256);
  EXPECT_TRUE(a.append(block, 3));
  EXPECT_TRUE(a.append(block, 0));
  ASSERT_EQ(a.count, 3);
  EXPECT_EQ(a[2], 3.0f);
  EXPECT_FALSE(a.append(block, -1));
  a.count = INT32_MAX - 1;  // a count near the end of int32 refuses more
  EXPECT_FALSE(a.append(block, 2));
  a.count = 3;
  EXPECT_EQ(a.capacity, 256);
}
