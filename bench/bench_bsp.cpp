// Ordering translucent triangles: building the tree of n triangles and
// walking it far to near, as one frame's translucent pass does, at 1,000,
// 10,000 and 50,000 triangles. Scene "particles": small triangles of every
// orientation scattered through a box in front of the eye (smoke, glass
// shards, leaves), some of them crossing; the box grows with n so that the
// particles keep their density. The node storage is reused from frame to
// frame, as in the player, so one untimed build comes first. Prints each
// step's growth against n log n (aim: near n log n, far from n squared);
// the counters give the pieces the cuts made, the mean node depth and the
// megabytes the tree keeps between frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "view/gl/bsp.h"

namespace {

const int kSizes[] = {1000, 10000, 50000};

// The particles as handed to the tree, and their corners for the walk.
struct Particles final : BspSource {
  std::vector<BspTriangle> triangles;
  std::vector<Material*> materials;
  std::vector<int32_t> kept;  // by tree triangle number: the particle

  BspVertex corner(int32_t triangle, int k) const override {
    return {triangles[kept[triangle]].position[k], Vec3(0, 0, 1), Vec2(), {1, 1, 1, 0.5}};
  }
  Material* material(int32_t triangle) const override { return materials[kept[triangle]]; }

  void insertInto(BspTree* tree) {
    tree->reset();
    kept.clear();
    for (size_t i = 0; i < triangles.size(); ++i)
      if (tree->insert(0, triangles[i]) >= 0) kept.push_back(int32_t(i));
  }
};

Particles particles(int n) {
  std::mt19937 random(12345);
  // 10,000 particles fill 40 x 40 x 55 units.
  const double scale = std::cbrt(n / 10000.0);
  std::uniform_real_distribution<double> spread(-20 * scale, 20 * scale), depth(-5 - 55 * scale, -5), corner(-0.4, 0.4);
  Particles out;
  out.triangles.resize(size_t(n));
  out.materials.assign(size_t(n), nullptr);
  out.kept.reserve(size_t(n));
  for (BspTriangle& t : out.triangles) {
    const Vec3 centre(spread(random), spread(random), depth(random));
    for (int k = 0; k < 3; ++k) t.position[k] = centre + Vec3(corner(random), corner(random), corner(random));
    const Vec3 e1 = t.position[1] - t.position[0], e2 = t.position[2] - t.position[0];
    t.plane = dot3(t.position[0], cross3(e1, e2)) > 0 ? cross3(e1, e2) : cross3(e2, e1);
    normalize3(t.plane);
  }
  return out;
}

// The mean number of nodes above a node (coplanar links count as a step):
// what placing one more triangle costs, growing as log n in a sound tree.
double meanDepth(const BspTree& tree) {
  if (tree.count() == 0) return 0;
  std::vector<int32_t> depth(size_t(tree.count()), 0), queue{0};
  double sum = 0;
  for (size_t i = 0; i < queue.size(); ++i) {
    const BspNode& at = tree.nodes[queue[i]];
    sum += depth[queue[i]];
    for (int32_t next : {at.nearChild, at.farChild, at.nextCoplanar})
      if (next >= 0) {
        depth[next] = depth[queue[i]] + 1;
        queue.push_back(next);
      }
  }
  return sum / tree.count();
}

std::string nameOf(int n) { return "particles_" + std::to_string(n) + "_build_and_walk"; }

void buildAndWalk(benchmark::State& state, int n) {
  Particles triangles = particles(n);
  BspTree tree;
  TranslucentStreams streams;
  triangles.insertInto(&tree);
  for (auto _ : state) {
    triangles.insertInto(&tree);
    tree.walk(0, triangles, &streams);
    benchmark::DoNotOptimize(streams.positions.data);
  }
  state.counters["pieces"] = tree.count();
  state.counters["depth"] = meanDepth(tree);
  state.counters["tree_MB"] = double(tree.bytes()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int n : kSizes)
    benchmark::RegisterBenchmark(nameOf(n).c_str(), buildAndWalk, n)->Unit(benchmark::kMillisecond)->MinTime(1.0);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  double previous = 0;
  int previousN = 0;
  for (int n : kSizes) {
    const double seconds = reporter.of(nameOf(n));
    if (seconds <= 0) continue;
    std::printf("particles %6d triangles: %8.3f ms, %6.1f ns per triangle", n, seconds * 1e3, seconds * 1e9 / n);
    if (previous > 0) {
      const double nlogn = (n * std::log(double(n))) / (previousN * std::log(double(previousN)));
      std::printf("; growth %.2f x for %.0f x the triangles (n log n: %.2f x, n squared: %.0f x)", seconds / previous,
                  double(n) / previousN, nlogn, double(n) * n / (double(previousN) * previousN));
    }
    std::printf("\n");
    previous = seconds;
    previousN = n;
  }
  return 0;
}
