#include "model/hash_map.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(HashMap, FletcherOfKnownWords) {
  // Words 0x0001, 0x0002: a = 0xFFFF+1+2 folded, b likewise.
  unsigned char bytes[4] = {1, 0, 2, 0};
  uint32_t a = 0xFFFF + 1, b = a;
  a += 2;
  b += a;
  a = (a & 0xFFFF) + (a >> 16);
  b = (b & 0xFFFF) + (b >> 16);
  EXPECT_EQ(fletcher32(bytes, 2), (b << 16) | a);
  EXPECT_EQ(fletcher32(bytes, 2), 0x00040003u);
}

TEST(HashMap, FirstInsertAllocates32BucketsAndPrime53) {
  HashMap<int32_t, int> map;
  EXPECT_EQ(map.bucketCount(), 0);
  EXPECT_EQ(map.multiplier(), 1u);
  *map.insert(7) = 70;
  EXPECT_EQ(map.bucketCount(), 32);
  EXPECT_EQ(map.multiplier(), 53u);
  ASSERT_NE(map.find(7), nullptr);
  EXPECT_EQ(*map.find(7), 70);
  EXPECT_EQ(map.find(8), nullptr);
}

TEST(HashMap, GrowsOnTheInsertThatFindsMoreThan24OccupiedBuckets) {
  HashMap<int32_t, int> map;
  int key = 0;
  // Insert distinct keys until 25 buckets are occupied, all still in 32 buckets.
  while (map.bucketCount() == 0 || map.occupiedBuckets() < 25) {
    ASSERT_EQ(map.bucketCount() <= 32, true);
    *map.insert(key) = key;
    ++key;
  }
  EXPECT_EQ(map.bucketCount(), 32);
  *map.insert(key) = key;
  EXPECT_EQ(map.bucketCount(), 64);
  EXPECT_EQ(map.multiplier(), 97u);
  // Every entry is still found after the move.
  for (int k = 0; k <= key; ++k) {
    ASSERT_NE(map.find(k), nullptr) << k;
    EXPECT_EQ(*map.find(k), k);
  }
  EXPECT_EQ(map.count(), key + 1);
}

TEST(HashMap, EqualKeysChainInInsertionOrder) {
  HashMap<int32_t, int> map;
  *map.insert(5) = 1;
  *map.insert(5) = 2;
  *map.insert(5) = 3;
  auto* n = map.findNode(5);
  ASSERT_NE(n, nullptr);
  int seen[3], i = 0;
  for (; n && i < 3; n = n->next)
    if (n->key == 5) seen[i++] = n->value;
  EXPECT_EQ(i, 3);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 2);
  EXPECT_EQ(seen[2], 3);
  EXPECT_TRUE(map.remove(5));
  EXPECT_EQ(*map.find(5), 2);
}

TEST(HashMap, RemoveKeepsCountsAndClearResets) {
  HashMap<int32_t, int> map;
  for (int k = 0; k < 100; ++k) *map.insert(k) = k;
  EXPECT_EQ(map.count(), 100);
  for (int k = 0; k < 100; k += 2) EXPECT_TRUE(map.remove(k));
  EXPECT_FALSE(map.remove(0));
  EXPECT_EQ(map.count(), 50);
  std::set<int> left;
  map.forEach([&](int32_t k, int) { left.insert(k); });
  EXPECT_EQ(left.size(), 50u);
  EXPECT_EQ(*left.begin(), 1);
  // Removing every entry leaves no occupied bucket.
  for (int k = 1; k < 100; k += 2) EXPECT_TRUE(map.remove(k));
  EXPECT_EQ(map.occupiedBuckets(), 0);
  map.clear();
  EXPECT_EQ(map.bucketCount(), 0);
  EXPECT_EQ(map.multiplier(), 1u);
  EXPECT_EQ(map.count(), 0);
}

TEST(HashMap, DrainVisitsEveryValueAndKeepsTheBuckets) {
  struct Key12 {
    int32_t font;
    uint32_t code;
    int32_t scale;
  };
  HashMap<Key12, int> map;
  for (int i = 0; i < 40; ++i) *map.insert(Key12{1, static_cast<uint32_t>(i), 64}) = i;
  int buckets = map.bucketCount();
  int sum = 0;
  map.drain([&](int v) { sum += v; });
  EXPECT_EQ(sum, 40 * 39 / 2);
  EXPECT_EQ(map.count(), 0);
  EXPECT_EQ(map.occupiedBuckets(), 0);
  EXPECT_EQ(map.bucketCount(), buckets);
  EXPECT_EQ(map.find(Key12{1, 3, 64}), nullptr);
  *map.insert(Key12{1, 3, 64}) = 9;
  EXPECT_EQ(*map.find(Key12{1, 3, 64}), 9);
}

TEST(HashMap, InitialBucketsRoundUpToPowerOfTwoFrom32) {
  HashMap<int32_t, int> small(10);
  *small.insert(1) = 1;
  EXPECT_EQ(small.bucketCount(), 32);
  HashMap<int32_t, int> big(100);
  *big.insert(1) = 1;
  EXPECT_EQ(big.bucketCount(), 128);
  EXPECT_EQ(big.multiplier(), 193u);
}

}  // namespace
