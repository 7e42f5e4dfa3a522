// Rendering benchmarks, run under Xvfb's llvmpipe:
// - a 1024 x 768 frame of a lit 100,000-triangle mesh through renderViewport,
//   against a bare loop drawing the same arrays with the same state, on both
//   geometry paths (aim: at most 1.2 x);
// - the shadow-volume build of a 50,000-triangle mesh against a bare loop
//   computing only the facing test over the same triangles (aim: at most 3 x).
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "bench/hidden_renderer.h"
#include "bench/ratio_reporter.h"
#include "model/viewport.h"
#include "model/camera.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "support/test_geometry.h"

using namespace testgeometry;

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// One lit mesh of 2 x 224^2 = 100,352 triangles seen from above.
struct LitScene {
  HiddenRenderer renderer{kWidth, kHeight};
  HDC dc = renderer.dc;
  VIEW_OpenGLWin32* view = renderer.view.get();
  std::unique_ptr<MeshData> data{gridData(224, 5)};
  Material material;
  Scene scene;
  Viewport viewport;
  MDL_Mesh* mesh = new MDL_Mesh;
  MDL_Camera* camera = new MDL_Camera;

  LitScene() {
    mesh->meshData = data.get();
    mesh->material = &material;
    scene.registerObject(mesh);
    MDL_Lamp* sun = new MDL_Lamp;
    sun->kind = LAMP_SUN;
    sun->color = {0.6, 0.6, 0.6, 1};
    lookAt(sun, {2, 1, 5}, {0, 0, 0});
    scene.registerObject(sun);
    MDL_Lamp* point = new MDL_Lamp;
    point->color = {0.5, 0.4, 0.3, 1};
    placeAt(point, {-2, 2, 3});
    scene.registerObject(point);
    lookAt(camera, {0, -6, 6}, {0, 0, 0});
    scene.registerObject(camera);
    viewport.camera = camera;
    viewport.background[3] = 1;
  }
  ~LitScene() { mesh->material = nullptr; }
};

LitScene& lit() {
  static LitScene s;
  return s;
}

const double kOrigin[2] = {0, 0};
const double kSize[2] = {kWidth, kHeight};

void renderThroughViewport(benchmark::State& state, int path) {
  LitScene& s = lit();
  s.view->geometryPath = path;
  s.view->beginFrame(s.dc, false);
  for (auto _ : state) {
    s.view->renderViewport(&s.viewport, kOrigin, kSize, nullptr);
    glFinish();
  }
  s.view->endFrame(s.dc);
  state.SetItemsProcessed(state.iterations() * s.data->triangleCount);
}

// The same picture by hand: one viewport, the view's matrices and lights,
// one material, the same arrays (or the same buffer layout) drawn once.
void renderBare(benchmark::State& state, int path) {
  LitScene& s = lit();
  s.view->geometryPath = path;
  s.view->beginFrame(s.dc, false);
  // Matrices and lights as the renderer sets them, made once up front.
  s.view->setupViewport(s.camera, kOrigin, kSize);
  s.view->setupLights(&s.scene, nullptr);
  double objectMatrix[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, objectMatrix);
  const MeshData& d = *s.data;
  GLuint buffers[2] = {};
  if (path == kGeometryBufferObjects) {
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(d.vertexCount) * 48, nullptr, GL_DYNAMIC_COPY);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(d.vertexCount) * 24, d.vertices);
    glBufferSubData(GL_ARRAY_BUFFER, GLsizeiptr(d.vertexCount) * 24, GLsizeiptr(d.vertexCount) * 24, d.normals);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(d.triangleCount) * 12, d.triangles, GL_DYNAMIC_COPY);
    glVertexPointer(3, GL_DOUBLE, 0, nullptr);
    glNormalPointer(GL_DOUBLE, 0, reinterpret_cast<const void*>(size_t(d.vertexCount) * 24));
  } else {
    glVertexPointer(3, GL_DOUBLE, 0, d.vertices);
    glNormalPointer(GL_DOUBLE, 0, d.normals);
  }
  glEnableClientState(GL_NORMAL_ARRAY);
  const GLfloat white[4] = {1, 1, 1, 1}, grey[4] = {0.5, 0.5, 0.5, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, grey);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 60.0f);
  // The state the renderer's opaque pass draws in, whatever an earlier
  // frame left (its overlay pass ends with blending and texturing on and
  // depth writes off, which would make this loop do more than the frame).
  glDepthMask(GL_TRUE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_COLOR_MATERIAL);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_NORMALIZE);
  glClearColor(0, 0, 0, 1);
  const void* indices = path == kGeometryBufferObjects ? nullptr : d.triangles;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(objectMatrix);
    glDrawElements(GL_TRIANGLES, 3 * d.triangleCount, GL_UNSIGNED_INT, indices);
    glFinish();
  }
  glDisableClientState(GL_NORMAL_ARRAY);
  if (path == kGeometryBufferObjects) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDeleteBuffers(2, buffers);
  }
  s.view->endFrame(s.dc);
  state.SetItemsProcessed(state.iterations() * d.triangleCount);
}

// A wavy 2 x 158^2 = 49,928-triangle sheet: lamp-facing and turned-away
// faces alternate in bands, so silhouettes run all over it.
struct ShadowCaster {
  std::unique_ptr<MeshData> data{gridData(158, 5)};
  Material material;
  MDL_Mesh mesh;
  MDL_Lamp lamp;

  ShadowCaster() {
    for (int32_t i = 0; i < data->vertexCount; ++i) {
      Vec3& v = data->vertices[i];
      v.z = 0.4 * std::sin(3 * v.x) * std::cos(2 * v.y);
    }
    data->computeTriangleNormals();
    mesh.meshData = data.get();
    mesh.material = &material;
    placeAt(&lamp, {1, 2, 1.5});
    lamp.shadows = true;
  }
  ~ShadowCaster() { mesh.material = nullptr; }
};

ShadowCaster& caster() {
  static ShadowCaster c;
  return c;
}

void shadowBuild(benchmark::State& state, int shadowType) {
  ShadowCaster& c = caster();
  c.lamp.shadowType = shadowType;
  for (auto _ : state) {
    c.lamp.changed = 1;
    c.mesh.updateShadowVolume(&c.lamp);
    benchmark::DoNotOptimize(c.mesh.shadowSides.data);
  }
  state.SetItemsProcessed(state.iterations() * c.data->triangleCount);
}

void facingLoop(benchmark::State& state) {
  ShadowCaster& c = caster();
  const MeshData& d = *c.data;
  const Vec3 lampAt = c.lamp.getWorld().position;
  for (auto _ : state) {
    for (int32_t t = 0; t < d.triangleCount; ++t) {
      const Vec3 toCorner = d.vertices[d.triangles[3 * t]] - lampAt;
      d.triangleInfos[t].facesLight = dot3(d.triangleInfos[t].normal, toCorner) < 0;
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * d.triangleCount);
}

void printRatio(const RatioReporter& r, const char* what, const char* ours, const char* bare, double aim) {
  const double a = r.of(ours), b = r.of(bare);
  if (a <= 0 || b <= 0) return;
  std::printf("%-28s %9.3f ms, bare %9.3f ms, ratio %.2f (aim: at most %.1f)\n", what, a * 1e3, b * 1e3, a / b, aim);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("frame_100k_arrays", renderThroughViewport, kGeometryClientArrays)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bare_100k_arrays", renderBare, kGeometryClientArrays)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("frame_100k_buffers", renderThroughViewport, kGeometryBufferObjects)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bare_100k_buffers", renderBare, kGeometryBufferObjects)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("shadow_build_50k_sides", shadowBuild, SHADOW_2D)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("shadow_build_50k_caps", shadowBuild, SHADOW_3D)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("facing_loop_50k", facingLoop)->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  printRatio(reporter, "frame, client arrays", "frame_100k_arrays", "bare_100k_arrays", 1.2);
  printRatio(reporter, "frame, buffer objects", "frame_100k_buffers", "bare_100k_buffers", 1.2);
  printRatio(reporter, "shadow volume, sides", "shadow_build_50k_sides", "facing_loop_50k", 3.0);
  printRatio(reporter, "shadow volume, with caps", "shadow_build_50k_caps", "facing_loop_50k", 3.0);
  benchmark::Shutdown();
  return 0;
}
