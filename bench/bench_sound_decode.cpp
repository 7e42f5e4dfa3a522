// Decoding a 10 s stereo 44.1 kHz Ogg Vorbis sample through the controller's
// loadSound against vorbisfile's own ov_read_float loop over the same bytes:
// the ratio says what the sound record costs beyond the decoding itself (the
// channel arrays are sized once from the stream's length).
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
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

// vorbisfile's own loop over the same bytes; with `store`, each block is
// also copied into two arrays made for the whole length (fresh memory each
// time, freed outside the timing), the least any decoder into memory does.
void readFloats(benchmark::State& state, bool store) {
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
    std::unique_ptr<float[]> channels[2];
    if (store)
      for (auto& c : channels) c.reset(new float[static_cast<size_t>(ov_pcm_total(&file, -1))]);
    int64_t frames = 0;
    float sum = 0;
    int link = 0;
    float** pcm = nullptr;
    long n;
    while ((n = ov_read_float(&file, &pcm, 4096, &link)) > 0) {
      if (store) {
        for (int c = 0; c < 2; ++c) std::memcpy(channels[c].get() + frames, pcm[c], sizeof(float) * size_t(n));
      } else {
        sum += pcm[0][0] + pcm[1][n - 1];  // touch what was decoded
      }
      frames += n;
    }
    ov_clear(&file);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(channels[0].get());
    if (frames != kFrames) state.SkipWithError("decoded the wrong length");
    state.PauseTiming();
    for (auto& c : channels) c.reset();
    state.ResumeTiming();
  }
}

void ov_read_float_stereo_10s(benchmark::State& state) { readFloats(state, false); }
void ov_read_float_stored_stereo_10s(benchmark::State& state) { readFloats(state, true); }

BENCHMARK(loadSound_stereo_10s)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ov_read_float_stereo_10s)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ov_read_float_stored_stereo_10s)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // The heap as the player has it: each load takes fresh pages for its
  // sample, as a player's first load of each sound does.
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.of("loadSound_stereo_10s");
  const double theirs = reporter.of("ov_read_float_stereo_10s");
  const double stored = reporter.of("ov_read_float_stored_stereo_10s");
  if (ours > 0 && theirs > 0 && stored > 0) {
    printf("\nloadSound %.2f ms, ov_read_float loop %.2f ms, ratio %.3f (aim: at most 1.1)\n", ours * 1e3, theirs * 1e3,
           ours / theirs);
    // The loop that also keeps the samples pays the same fresh pages.
    printf("ov_read_float loop storing into fresh arrays %.2f ms, ratio %.3f\n", stored * 1e3, ours / stored);
  }
  benchmark::Shutdown();
  return 0;
}
