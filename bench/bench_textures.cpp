// Image textures, under Xvfb's llvmpipe: a 1024 x 1024 RGBA PNG decoded and
// uploaded through getTexture (then forgotten, so every round decodes
// again), against libpng decoding the same file alone (aim: at most 1.2 x).
#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/hidden_renderer.h"
#include "bench/ratio_reporter.h"
#include "model/image_source.h"
#include "support/test_media.h"

namespace {

constexpr int kSide = 1024;

// A picture-like image: smooth gradients with a little grain, which
// compresses about as photographs and renders do.
const std::string& imageFile() {
  static const std::string file = [] {
    std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
    uint32_t grain = 1;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        grain = grain * 1664525u + 1013904223u;
        uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
        const int n = int(grain >> 28);
        p[0] = uint8_t((x / 4 + n) & 0xFF);
        p[1] = uint8_t((y / 4 + n) & 0xFF);
        p[2] = uint8_t(((x + y) / 8 + n) & 0xFF);
        p[3] = uint8_t(255 - ((x ^ y) & 0x3F));
      }
    return testmedia::makePng(kSide, kSide, 4, rgba);
  }();
  return file;
}

struct MemoryInput {
  const std::string* file;
  size_t at;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
  MemoryInput* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (n > in->file->size() - in->at) png_error(png, "short file");
  std::memcpy(out, in->file->data() + in->at, n);
  in->at += n;
}

// Each round decodes into new memory, as a texture's one decode does.
void libpngAlone(benchmark::State& state) {
  const std::string& file = imageFile();
  const size_t bytes = size_t(kSide) * kSide * 4;
  std::vector<png_bytep> rows(kSide);
  for (auto _ : state) {
    uint8_t* pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
    for (int y = 0; y < kSide; ++y) rows[y] = pixels + size_t(y) * kSide * 4;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryInput in{&file, 0};
    png_set_read_fn(png, &in, readFromMemory);
    png_read_info(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}

void getTexture(benchmark::State& state) {
  std::string file = imageFile();
  HiddenRenderer r(64, 64);
  ImageSource source("bench.png", reinterpret_cast<unsigned char*>(&file[0]), int32_t(file.size()), false);
  r.view->beginFrame(r.dc, false);
  for (auto _ : state) {
    if (!r.view->getTexture(&source)) state.SkipWithError("no texture");
    glFinish();  // the upload is done before the clock stops
    state.PauseTiming();
    r.view->forgetTexture(&source);
    state.ResumeTiming();
  }
  r.view->endFrame(r.dc);
  state.SetBytesProcessed(state.iterations() * int64_t(kSide) * kSide * 4);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("libpng_decode_1024_rgba", libpngAlone)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("getTexture_1024_rgba", getTexture)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.of("getTexture_1024_rgba"), theirs = reporter.of("libpng_decode_1024_rgba");
  if (ours > 0 && theirs > 0)
    std::printf("\ndecode and upload %.2f ms, libpng decode alone %.2f ms, ratio %.2f (aim: at most 1.2)\n", ours * 1e3,
                theirs * 1e3, ours / theirs);
  benchmark::Shutdown();
  return 0;
}
