#include "model/qsort_bm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

int compareInt(const void* a, const void* b) {
  int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int calls = 0;
int countingCompare(const void* a, const void* b) {
  ++calls;
  return compareInt(a, b);
}

std::vector<int> sorted(std::vector<int> v) {
  qsortBM(v.data(), v.size(), sizeof(int), compareInt);
  return v;
}

TEST(QsortBM, SortsTheShapesThatExerciseEachPivotRule) {
  std::mt19937 rng(7);
  std::vector<std::vector<int>> inputs = {
      {},
      {5},
      {2, 1},
      std::vector<int>(7, 3),  // insertion sort and the exact-7 middle pivot
      {7, 6, 5, 4, 3, 2, 1},
  };
  std::vector<int> reverse41(41), ascending100(100), organ(64), fewKeys(1000), randomBig(5000);
  for (int i = 0; i < 41; ++i) reverse41[i] = 41 - i;
  for (int i = 0; i < 100; ++i) ascending100[i] = i;
  for (int i = 0; i < 64; ++i) organ[i] = i < 32 ? i : 63 - i;
  for (int& x : fewKeys) x = static_cast<int>(rng() % 3);
  for (int& x : randomBig) x = static_cast<int>(rng() % 100000) - 50000;
  inputs.insert(inputs.end(), {reverse41, ascending100, organ, fewKeys, randomBig});
  for (size_t n = 8; n <= 45; ++n) {  // around the median-of-three and ninther thresholds
    std::vector<int> v(n);
    for (int& x : v) x = static_cast<int>(rng() % 10);
    inputs.push_back(v);
  }
  for (const auto& in : inputs) {
    std::vector<int> expect = in;
    std::sort(expect.begin(), expect.end());
    EXPECT_EQ(sorted(in), expect) << "size " << in.size();
  }
}

TEST(QsortBM, EqualKeysAreNotComparedAgainAfterPartitioning) {
  // Three-way partitioning: all-equal input costs one linear pass.
  std::vector<int> v(1000, 42);
  calls = 0;
  qsortBM(v.data(), v.size(), sizeof(int), countingCompare);
  EXPECT_LT(calls, 1100);
}

TEST(QsortBM, ByteSwapsServeOddElementSizes) {
  // Three-byte records: the key is the first byte, the rest must travel with it.
  std::vector<unsigned char> data;
  for (int i = 0; i < 50; ++i) {
    unsigned char key = static_cast<unsigned char>((i * 37) % 50);
    data.insert(data.end(), {key, static_cast<unsigned char>(key ^ 0x5a), static_cast<unsigned char>(key + 1)});
  }
  qsortBM(data.data() + 0, 50, 3, [](const void* a, const void* b) {
    int x = *static_cast<const unsigned char*>(a), y = *static_cast<const unsigned char*>(b);
    return x - y;
  });
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(data[3 * i], i);
    EXPECT_EQ(data[3 * i + 1], static_cast<unsigned char>(i ^ 0x5a));
    EXPECT_EQ(data[3 * i + 2], i + 1);
  }
}

TEST(QsortBM, SortsWholePointersByTheirTargets) {
  // The sweep sorts arrays of pointers: the whole pointer must move, whatever its width.
  std::vector<double> values(300);
  std::mt19937 rng(3);
  for (double& d : values) d = static_cast<double>(rng() % 1000) / 7.0;
  std::vector<const double*> ptrs;
  for (const double& d : values) ptrs.push_back(&d);
  qsortBM(ptrs.data(), ptrs.size(), sizeof(void*), [](const void* a, const void* b) {
    double x = **static_cast<const double*const*>(a), y = **static_cast<const double*const*>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  });
  for (size_t i = 1; i < ptrs.size(); ++i) EXPECT_LE(*ptrs[i - 1], *ptrs[i]);
  std::vector<const double*> seen = ptrs;
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  for (const double* p : ptrs) EXPECT_TRUE(p >= values.data() && p < values.data() + values.size());
}

}  // namespace
