// Overlay benchmarks:
// - laying out and drawing 10,000 glyphs per frame (100 texts of 100
//   characters in a 1024 x 768 viewport) with a warm glyph cache, in ns per
//   glyph; the steady state renders nothing new: the glyph and kerning
//   caches keep their sizes, so no glyph is loaded and no kerning asked of
//   FreeType (checked after the run);
// - one text of 1,000,000 characters, as 10,000 lines of 100 and as one
//   line, of which only a screenful shows: ms per frame, and the glyph
//   quads held at once (bounded whatever the length);
// - triangulating outlines of 1,000, 10,000 and 100,000 points (a spiral
//   band, a comb and a star, bench/outline_shapes.h), printing a table of
//   the times, whether each filled and the growth per tenfold (10 for
//   linear, about 13 for n log n, 100 for quadratic).
// Run under Xvfb's llvmpipe.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/hidden_renderer.h"
#include "bench/outline_shapes.h"
#include "bench/ratio_reporter.h"
#include "model/viewport.h"
#include "model/camera.h"
#include "model/font_library.h"
#include "model/font_record.h"
#include "model/polyline.h"
#include "model/scene.h"
#include "model/text.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kTexts = 100, kCharacters = 100;

// A page of small text: prose, each line starting further into it.
struct TextPage {
  HiddenRenderer screen{kWidth, kHeight};
  HDC dc = screen.dc;
  VIEW_OpenGLWin32* view = screen.view.get();
  std::unique_ptr<FontRecord> font;
  Scene scene;
  Viewport viewport;

  TextPage() {
    MDL_createFontLibrary();
    font = std::make_unique<FontRecord>("default", nullptr, 0, false);
    for (int t = 0; t < kTexts; ++t) {
      static const char kProse[] =
          "Every frame the player steps the bodies, mixes the sounds and draws each viewport, "
          "then the texts, images and lines over it. ";
      std::string line;
      for (int c = 0; c < kCharacters; ++c) line += kProse[(t * 7 + c) % (sizeof kProse - 1)];
      MDL_Text* text = new MDL_Text;
      text->font = font.get();
      text->setText(line.c_str());
      text->size = 0.012;
      text->editWorld().position = Vec3(0.01, 0.01 + t * 0.0073, 0);
      scene.registerObject(text);
    }
    MDL_Camera* camera = new MDL_Camera;
    scene.registerObject(camera);
    viewport.camera = camera;
    viewport.background[3] = 1;
  }
};

TextPage& page() {
  static TextPage p;
  return p;
}

const double kOrigin[2] = {0, 0};
const double kSize[2] = {kWidth, kHeight};

void glyphs_10k_warm(benchmark::State& state) {
  TextPage& p = page();
  p.view->beginFrame(p.dc, false);
  p.view->renderViewport(&p.viewport, kOrigin, kSize, nullptr);  // warms the caches
  glFinish();
  const int glyphs = p.view->glyphTextures.count(), pairs = p.view->kerningPairs.count();
  for (auto _ : state) {
    p.view->renderViewport(&p.viewport, kOrigin, kSize, nullptr);
    glFinish();
  }
  if (p.view->glyphTextures.count() != glyphs || p.view->kerningPairs.count() != pairs)
    state.SkipWithError("the steady state rendered new glyphs or asked for new kerning");
  p.view->endFrame(p.dc);
  state.counters["glyphs"] = glyphs;
  state.counters["kerning_pairs"] = pairs;
  state.SetItemsProcessed(state.iterations() * kTexts * kCharacters);
}

// One long text over an empty scene, in lines of `perLine` characters (0:
// one line).
struct LongText {
  HiddenRenderer screen{kWidth, kHeight};
  std::unique_ptr<FontRecord> font;
  Scene scene;
  Viewport viewport;

  LongText(int characters, int perLine) {
    MDL_createFontLibrary();
    font = std::make_unique<FontRecord>("default", nullptr, 0, false);
    std::string s(size_t(characters), 'x');
    for (int i = 0; i < characters; ++i) s[i] = "abcdefghij"[i % 10];
    if (perLine > 0)
      for (int i = perLine - 1; i < characters; i += perLine) s[i] = '\n';
    MDL_Text* text = new MDL_Text;
    text->font = font.get();
    text->setText(s.c_str());
    text->size = 0.012;
    text->editWorld().position = Vec3(0.01, 0.02, 0);
    scene.registerObject(text);
    MDL_Camera* camera = new MDL_Camera;
    scene.registerObject(camera);
    viewport.camera = camera;
    viewport.background[3] = 1;
  }
};

LongText& longText(int perLine) {
  static LongText lines(1000000, 100), oneLine(1000000, 0);
  return perLine > 0 ? lines : oneLine;
}

void long_text(benchmark::State& state) {
  LongText& t = longText(static_cast<int>(state.range(0)));
  VIEW_OpenGLWin32* view = t.screen.view.get();
  view->beginFrame(t.screen.dc, false);
  for (auto _ : state) {
    view->renderViewport(&t.viewport, kOrigin, kSize, nullptr);
    glFinish();
  }
  view->endFrame(t.screen.dc);
  state.counters["quads_held"] = double(view->glyphBatch.capacity());
}

struct Shape {
  const char* name;
  Vec2Array (*make)(int);
};
const Shape kShapes[] = {{"spiral", outline_shapes::spiral}, {"comb", outline_shapes::comb},
                         {"star", outline_shapes::star}};
const int kSizes[] = {1000, 10000, 100000};

void triangulate(benchmark::State& state, const Shape& shape) {
  const Vec2Array points = shape.make(static_cast<int>(state.range(0)));
  bool filled = false;
  for (auto _ : state) {
    GrowArray<int32_t> triangles;
    filled = triangulatePolygon(points, triangles);
    benchmark::DoNotOptimize(triangles.data);
  }
  state.counters["filled"] = filled;
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

std::string caseName(const Shape& shape, int n) { return std::string("triangulate_") + shape.name + "_" + std::to_string(n); }

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("glyphs_10k_warm", glyphs_10k_warm)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("long_text_1m_lines_of_100", long_text)->Arg(100)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("long_text_1m_one_line", long_text)->Arg(0)->Unit(benchmark::kMillisecond);
  for (const Shape& shape : kShapes)
    for (int n : kSizes)
      benchmark::RegisterBenchmark(caseName(shape, n).c_str(), [&shape](benchmark::State& st) { triangulate(st, shape); })
          ->Arg(n)
          ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  if (const double frame = reporter.of("glyphs_10k_warm"))
    std::printf("glyphs, warm cache: %.0f ns per glyph\n", frame * 1e9 / (kTexts * kCharacters));
  std::printf("\ntriangulation, ms per outline   1,000    10,000   100,000   growth per tenfold\n");
  for (const Shape& shape : kShapes) {
    double t[3];
    for (int i = 0; i < 3; ++i) t[i] = reporter.of(caseName(shape, kSizes[i]));
    if (!(t[0] > 0 && t[1] > 0 && t[2] > 0)) continue;
    std::printf("  %-28s %8.2f  %8.2f  %8.2f   %.1f x, %.1f x\n", shape.name, t[0] * 1e3, t[1] * 1e3, t[2] * 1e3,
                t[1] / t[0], t[2] / t[1]);
  }
  std::printf("  (n log n grows 13.3 x and 12.5 x; filled: see each case's counter)\n");
  benchmark::Shutdown();
  return 0;
}
