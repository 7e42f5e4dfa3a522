// Picking benchmarks: pick_meshes/N finds the mesh under the mouse among N
// meshes of 1,000 triangles each, all stacked on the view ray and listed
// from the farthest to the nearest, so that every one passes its box test
// and has each triangle cast (the worst case). The
// summary prints us per pick and the growth from 10 to 100 to 1,000 meshes
// (aim: linear, about 10x per step). A pick must not allocate.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/ratio_reporter.h"
#include "controller/ctrl_generic.h"
#include "model/camera.h"
#include "model/mesh.h"
#include "model/scene.h"

namespace {

constexpr int kCellsX = 25, kCellsY = 20;  // 2 x 25 x 20 = 1,000 triangles

// A flat grid two units wide at z = 0 facing +z; the caller owns it.
MeshData* gridOfThousand() {
  MeshData* d = new MeshData;
  const int nx = kCellsX + 1, ny = kCellsY + 1;
  d->vertexCount = d->normalCount = nx * ny;
  d->vertices = new Vec3[nx * ny];
  d->normals = new Vec3[nx * ny];
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) {
      d->vertices[y * nx + x] = Vec3(-1 + 2.0 * x / kCellsX, -1 + 2.0 * y / kCellsY, 0);
      d->normals[y * nx + x] = Vec3(0, 0, 1);
    }
  d->triangleCount = 2 * kCellsX * kCellsY;
  d->triangles = new int32_t[3 * d->triangleCount];
  int32_t* t = d->triangles;
  for (int y = 0; y < kCellsY; ++y)
    for (int x = 0; x < kCellsX; ++x) {
      const int32_t a = y * nx + x, b = a + 1, c = a + nx + 1, e = a + nx;
      for (int32_t i : {a, b, c, a, c, e}) *t++ = i;
    }
  d->triangleInfos = new TriangleInfo[d->triangleCount]();
  d->boundsMin = Vec3(-1, -1, -0.01);
  d->boundsMax = Vec3(1, 1, 0.01);
  d->computeTriangleNormals();
  return d;
}

// A 400 x 300 client area, one viewport through a camera at the origin
// looking down -z, the mouse at its centre.
struct PickScene {
  std::unique_ptr<MeshData> grid{gridOfThousand()};
  CTRL_Generic ctrl;
  PickScene(int meshes) {
    Scene* scene = new Scene();
    ctrl.resources.scenes.append(scene);
    MDL_Camera* camera = new MDL_Camera();
    scene->registerObject(camera);
    camera->setAngle(1.5707963267948966);
    camera->clipStart = 1;
    camera->clipEnd = 1000;
    Viewport* v = new Viewport();
    v->camera = camera;
    v->width = 1;
    v->height = 0.75;
    ctrl.resources.viewports.append(v);
    ctrl.setViewSize(400, 300);
    ctrl.setCurrentViewport(v);
    for (int i = 0; i < meshes; ++i) {
      MDL_Mesh* m = new MDL_Mesh();
      m->meshData = grid.get();
      m->state |= STATE_ACTIVE;
      m->editLocal().position = Vec3(0.01 * (i % 7), 0.01 * (i % 5), -10.0 - 0.5 * (meshes - 1 - i));
      scene->registerObject(m);
    }
    ctrl.setWindowMouse(200, 150);
  }
};

void pick_meshes(benchmark::State& state, int meshes) {
  PickScene s(meshes);
  s.ctrl.pick();  // world placements settle before timing
  if (!s.ctrl.mouse.hovered) state.SkipWithError("nothing picked");
  long allocations = 0;
  for (auto _ : state) {
    g_allocations = 0;
    g_counting = true;
    s.ctrl.pick();
    g_counting = false;
    allocations += g_allocations;
    benchmark::DoNotOptimize(s.ctrl.mouse.hovered);
  }
  state.counters["allocations"] = static_cast<double>(allocations);
  if (allocations != 0) state.SkipWithError("pick allocated");
}
const int kSizes[] = {10, 100, 1000};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int n : kSizes)
    benchmark::RegisterBenchmark(("pick_" + std::to_string(n) + "_meshes").c_str(), pick_meshes, n)
        ->Unit(benchmark::kMicrosecond);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  double previous = 0;
  for (int n : kSizes) {
    const double t = reporter.of("pick_" + std::to_string(n) + "_meshes");
    if (t <= 0) continue;
    if (previous > 0)
      std::printf("pick, %d meshes: %.1f us, %.1fx the previous (aim: about 10x)\n", n, t * 1e6, t / previous);
    else
      std::printf("pick, %d meshes: %.1f us\n", n, t * 1e6);
    previous = t;
  }
  benchmark::Shutdown();
  return 0;
}
