// Decoding a 10 s stereo 44.1 kHz Ogg Vorbis sample through the controller's
// loadSound against vorbisfile's own ov_read_float loop over the same bytes:
// the ratio says what the sound record costs beyond the decoding itself (the
// channel arrays grow by doubling, never per packet).
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "bench/stored_member.h"
#include "controller/ctrl_generic.h"
#include "controller/sound_source.h"
#include "support/test_media.h"

namespace {

constexpr int kRate = 44100;
constexpr int64_t kFrames = 10 * kRate;

const std::string& oggBytes() {
  static const std::string ogg = testmedia::makeOgg(2, kRate, kFrames);
  return ogg;
}

void loadSound_stereo_10s(benchmark::State& state) {
  auto controller = controllerWithStoredMember("sound.ogg", oggBytes());
  if (!controller->package) {
    state.SkipWithError("package refused");
    return;
  }
  for (auto _ : state) {
    SoundRecord* sound = controller->loadSound("sound.ogg");
    if (!sound || sound->frameCount() != kFrames) state.SkipWithError("decoded the wrong length");
    state.PauseTiming();
    controller->resources.soundRecords.removeFirst(sound);
    delete sound;
    state.ResumeTiming();
  }
}

void ov_read_float_stereo_10s(benchmark::State& state) {
  const std::string& ogg = oggBytes();
  const ov_callbacks callbacks = {memRead, memSeek, memClose, memTell};
  for (auto _ : state) {
    MemoryStream stream;
    stream.bytes = reinterpret_cast<const uint8_t*>(ogg.data());
    stream.size = static_cast<int32_t>(ogg.size());
    OggVorbis_File file;
    if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) {
      state.SkipWithError("not Vorbis");
      return;
    }
    int64_t frames = 0;
    float sum = 0;
    int link = 0;
    float** pcm = nullptr;
    long n;
    while ((n = ov_read_float(&file, &pcm, 4096, &link)) > 0) {
      sum += pcm[0][0] + pcm[1][n - 1];  // touch what was decoded
      frames += n;
    }
    ov_clear(&file);
    benchmark::DoNotOptimize(sum);
    if (frames != kFrames) state.SkipWithError("decoded the wrong length");
  }
}

BENCHMARK(loadSound_stereo_10s)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ov_read_float_stereo_10s)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Freed sample memory stays with the process: each run then measures the
  // decoding and the copy into the record, not the kernel zeroing fresh pages
  // for it (a quarter of the run on a fresh heap here; the player pays it
  // once per sample).
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.of("loadSound_stereo_10s");
  const double theirs = reporter.of("ov_read_float_stereo_10s");
  if (ours > 0 && theirs > 0) {
    printf("\nloadSound %.2f ms, ov_read_float loop %.2f ms, ratio %.3f (aim: at most 1.1)\n", ours * 1e3, theirs * 1e3,
           ours / theirs);
  }
  benchmark::Shutdown();
  return 0;
}
