// Animation benchmarks. animation_step_1000 steps 1,000 playing animations
// of 16 keys each on 1,000 objects (ns per animation; allocations must stay
// 0). skin_50k_4_bones skins a 50,000-vertex grid whose
// every vertex has four bone influences; skin_plain_loop does the same
// arithmetic over the same arrays with no object code around it. The
// summary prints ns per vertex-bone influence and their ratio (aim: at
// most 1.3).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/ratio_reporter.h"
#include "model/animated_mesh.h"
#include "model/animation.h"
#include "model/mesh_data.h"

namespace {

constexpr int kSideX = 250, kSideY = 200;  // 50,000 vertices
constexpr int kBones = 4;
constexpr double kHuge = 1.7976931348623157e308;

struct SkinRig {
  MeshData data;
  AnimatedMeshData groups[kBones];
  MDL_Bone bones[kBones];
  MDL_AnimatedMesh mesh;

  SkinRig() {
    const int n = kSideX * kSideY;
    data.vertexCount = data.normalCount = n;
    data.vertices = new Vec3[n];
    data.normals = new Vec3[n];
    for (int y = 0; y < kSideY; ++y)
      for (int x = 0; x < kSideX; ++x) {
        data.vertices[y * kSideX + x] = Vec3(x, y, 0);
        data.normals[y * kSideX + x] = Vec3(0, 0, 1);
      }
    data.triangleCount = 2 * (kSideX - 1) * (kSideY - 1);
    data.triangles = new int32_t[3 * data.triangleCount];
    int32_t* t = data.triangles;
    for (int y = 0; y + 1 < kSideY; ++y)
      for (int x = 0; x + 1 < kSideX; ++x) {
        const int32_t a = y * kSideX + x, b = a + 1, c = a + kSideX + 1, d = a + kSideX;
        for (int32_t i : {a, b, c, a, c, d}) *t++ = i;
      }
    data.triangleInfos = new TriangleInfo[data.triangleCount]();
    data.computeTriangleNormals();
    mesh.meshData = &data;
    mesh.allocateBones(kBones);
    for (int b = 0; b < kBones; ++b) {
      AnimatedMeshData& g = groups[b];
      g.count = g.weightCount = n;
      g.vertexIndices = new int32_t[n];
      g.weights = new double[n];
      g.restPositions = new Vec3[n];
      g.restNormals = new Vec3[n];
      bones[b].editLocal().position = Vec3(b * 10.0, 0, 0);
      for (int v = 0; v < n; ++v) {
        g.vertexIndices[v] = v;
        g.weights[v] = 1.0 / kBones;
        g.restPositions[v] = data.vertices[v] - bones[b].local.position;
        g.restNormals[v] = data.normals[v];
      }
      mesh.boneData[b] = &g;
      mesh.bones[b] = &bones[b];
    }
    mesh.allocateSkinned();
  }
  // A small turn of every bone, so each pass has something to do.
  void turn(double angle) {
    for (MDL_Bone& b : bones) Matrix3::fromAngles(b.editLocal().basis, 0, 0, angle);
  }
};

void skin_50k_4_bones(benchmark::State& state) {
  SkinRig rig;
  double angle = 0.0;
  for (auto _ : state) {
    rig.turn(angle += 1e-3);
    rig.mesh.update(false);
    benchmark::DoNotOptimize(rig.mesh.skinnedVertices);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBones * rig.data.vertexCount);
}
BENCHMARK(skin_50k_4_bones)->Unit(benchmark::kMicrosecond);

// The same work written as one function over bare arrays.
void plainSkin(const RigidTransform* rel, const AnimatedMeshData* groups, const MeshData& d, Vec3* outV, Vec3* outN,
               TriangleInfo* tri, Vec3& lo, Vec3& hi) {
  const int32_t n = d.vertexCount;
  std::memset(static_cast<void*>(outV), 0, sizeof(Vec3) * n);
  std::memset(static_cast<void*>(outN), 0, sizeof(Vec3) * n);
  for (int b = 0; b < kBones; ++b) {
    const Matrix3& m = rel[b].basis;
    const Vec3 P = rel[b].position;
    const AnimatedMeshData& g = groups[b];
    for (int32_t j = 0; j < g.count; ++j) {
      const int32_t v = g.vertexIndices[j];
      const double w = g.weights[j];
      const Vec3& p = g.restPositions[j];
      const Vec3& q = g.restNormals[j];
      outV[v].x += w * (m.axis[0].x * p.x + m.axis[1].x * p.y + m.axis[2].x * p.z + P.x);
      outV[v].y += w * (m.axis[0].y * p.x + m.axis[1].y * p.y + m.axis[2].y * p.z + P.y);
      outV[v].z += w * (m.axis[0].z * p.x + m.axis[1].z * p.y + m.axis[2].z * p.z + P.z);
      outN[v].x += w * (m.axis[0].x * q.x + m.axis[1].x * q.y + m.axis[2].x * q.z);
      outN[v].y += w * (m.axis[0].y * q.x + m.axis[1].y * q.y + m.axis[2].y * q.z);
      outN[v].z += w * (m.axis[0].z * q.x + m.axis[1].z * q.y + m.axis[2].z * q.z);
    }
  }
  lo = Vec3(kHuge, kHuge, kHuge);
  hi = Vec3(-kHuge, -kHuge, -kHuge);
  for (int32_t v = 0; v < n; ++v)
    for (int i = 0; i < 3; ++i) {
      if (outV[v][i] < lo[i]) lo[i] = outV[v][i];
      if (outV[v][i] > hi[i]) hi[i] = outV[v][i];
    }
  for (int32_t t = 0; t < d.triangleCount; ++t) {
    const int32_t* c = d.triangles + 3 * t;
    tri[t].normal = cross3(outV[c[1]] - outV[c[0]], outV[c[2]] - outV[c[0]]);
  }
}

void skin_plain_loop(benchmark::State& state) {
  SkinRig rig;
  std::vector<Vec3> outV(rig.data.vertexCount), outN(rig.data.vertexCount);
  std::vector<TriangleInfo> tri(rig.data.triangleCount);
  RigidTransform rel[kBones];
  Vec3 lo, hi;
  double angle = 0.0;
  for (auto _ : state) {
    rig.turn(angle += 1e-3);
    for (int b = 0; b < kBones; ++b) {
      rel[b] = rig.bones[b].getWorld();
      rig.mesh.getWorld().makeRelative(rel[b]);
    }
    plainSkin(rel, rig.groups, rig.data, outV.data(), outN.data(), tri.data(), lo, hi);
    benchmark::DoNotOptimize(outV.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBones * rig.data.vertexCount);
}
BENCHMARK(skin_plain_loop)->Unit(benchmark::kMicrosecond);

constexpr int kAnimations = 1000, kKeys = 16;

void animation_step_1000(benchmark::State& state) {
  AnimationData data;
  data.allocateKeys(kKeys);
  for (int k = 0; k < kKeys; ++k) {
    data.times[k] = 0.5 * k;
    data.locations[k] = Vec3(k, 0.5 * k, 0);
    data.rotations[k] = Vec3(0.1 * k, 0, 0.2 * k);
    data.scales[k] = Vec3(1, 1, 1);
  }
  std::vector<MDL_Object> objects(kAnimations);
  std::vector<Animation> animations(kAnimations);
  for (int i = 0; i < kAnimations; ++i) {
    animations[i].target = &objects[i];
    animations[i].data = &data;
    animations[i].duration = 1e300;
    animations[i].time = (i % kKeys) * 0.5;  // spread over the segments
  }
  long allocations = 0;
  for (auto _ : state) {
    g_allocations = 0;
    g_counting = true;
    for (Animation& a : animations) {
      Animation::step(&a, 1e-3);
      if (a.time > data.times[kKeys - 1]) a.time = 0.0;
    }
    g_counting = false;
    allocations += g_allocations;
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_animation"] = benchmark::Counter(
      kAnimations / 1e9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["allocations"] = static_cast<double>(allocations);
  if (allocations != 0) state.SkipWithError("Animation::step allocated");
}
BENCHMARK(animation_step_1000)->Unit(benchmark::kMicrosecond);

void printRatio(const RatioReporter& r, const char* what, const char* ours, const char* plain, double units,
                const char* unit, double aim) {
  const double a = r.of(ours), b = r.of(plain);
  if (a <= 0 || b <= 0) return;
  std::printf("%s: %.3f ns/%s, plain loop %.3f ns/%s, ratio %.2f (aim: at most %.1f)\n", what, a * 1e9 / units, unit,
              b * 1e9 / units, unit, a / b, aim);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  printRatio(reporter, "skinning", "skin_50k_4_bones", "skin_plain_loop", kBones * kSideX * kSideY, "influence", 1.3);
  benchmark::Shutdown();
  return 0;
}
