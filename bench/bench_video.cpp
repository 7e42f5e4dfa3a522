// Playing a 2 s, 640 x 480 Theora clip through the stream's per-frame advance
// (page reading, decoding, and the conversion into the RGB picture) against
// libtheora decoding the same packets alone, in the same run: the ratio says
// what the stream costs beyond the decoder.
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theoradec.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "bench/stored_member.h"
#include "controller/ctrl_generic.h"
#include "controller/video_stream.h"
#include "support/test_video.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 50, kFps = 25;

// A moving pattern with fine detail everywhere, so that every picture costs
// the decoder real work.
const std::string& clip() {
  static const std::string ogg = [] {
    testmedia::TheoraSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.frames = kFrames;
    spec.fpsNumerator = kFps;
    return testmedia::makeTheora(spec, [](int f, int x, int y) {
      const int u = x + 3 * f, v = y + 2 * f;
      return testmedia::YCbCr{static_cast<uint8_t>(16 + ((u * 7 + v * 3 + (u ^ v)) & 0xbf)),
                              static_cast<uint8_t>(64 + ((u / 8) * 13 & 0x7f)),
                              static_cast<uint8_t>(64 + ((v / 8) * 11 & 0x7f))};
    });
  }();
  return ogg;
}

// Each run opens the stream (which shows picture 0) untimed, then plays the
// other pictures one frame time at a time.
void stream_advance_640x480(benchmark::State& state) {
  auto controller = controllerWithStoredMember("clip.ogg", clip());
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<VideoStream> stream(VideoStream::open("clip.ogg", controller.get()));
    if (!stream || stream->frameCount != kFrames) {
      state.SkipWithError("the clip did not open");
      return;
    }
    state.ResumeTiming();
    for (int f = 1; f < kFrames; ++f) stream->advance(1.0 / kFps);
    if (stream->currentFrame != kFrames - 1) state.SkipWithError("not every picture was shown");
    benchmark::DoNotOptimize(stream->image.data[0]);
    state.PauseTiming();
    stream.reset();
    state.ResumeTiming();
  }
  state.counters["fps"] = benchmark::Counter(double(kFrames - 1) * state.iterations(), benchmark::Counter::kIsRate);
}

// The clip's Theora packets, headers first, taken apart once.
struct Packets {
  std::vector<std::vector<unsigned char>> bytes;
  std::vector<ogg_packet> packets;
};

const Packets& theoraPackets() {
  static const Packets all = [] {
    Packets p;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    const std::string& ogg = clip();
    char* to = ogg_sync_buffer(&sync, static_cast<long>(ogg.size()));
    std::copy(ogg.begin(), ogg.end(), to);
    ogg_sync_wrote(&sync, static_cast<long>(ogg.size()));
    ogg_stream_state stream;
    bool started = false;
    ogg_page page;
    ogg_packet packet;
    while (ogg_sync_pageout(&sync, &page) == 1) {
      if (!started) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        started = true;
      }
      if (ogg_page_serialno(&page) != stream.serialno) continue;
      ogg_stream_pagein(&stream, &page);
      while (ogg_stream_packetout(&stream, &packet) == 1) {
        p.bytes.emplace_back(packet.packet, packet.packet + packet.bytes);
        p.packets.push_back(packet);
      }
    }
    for (size_t i = 0; i < p.packets.size(); ++i) p.packets[i].packet = p.bytes[i].data();
    if (started) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return p;
  }();
  return all;
}

void th_decode_640x480(benchmark::State& state) {
  const Packets& p = theoraPackets();
  th_info info;
  th_comment comment;
  th_info_init(&info);
  th_comment_init(&comment);
  th_setup_info* setup = nullptr;
  size_t first = 0;
  while (first < p.packets.size() &&
         th_decode_headerin(&info, &comment, &setup, const_cast<ogg_packet*>(&p.packets[first])) > 0)
    ++first;
  if (p.packets.size() != first + kFrames) {
    state.SkipWithError("unexpected packets");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    th_dec_ctx* decoder = th_decode_alloc(&info, setup);
    ogg_int64_t granule = 0;
    th_ycbcr_buffer picture;
    th_decode_packetin(decoder, &p.packets[first], &granule);
    th_decode_ycbcr_out(decoder, picture);
    state.ResumeTiming();
    for (size_t i = first + 1; i < p.packets.size(); ++i) {
      th_decode_packetin(decoder, &p.packets[i], &granule);
      th_decode_ycbcr_out(decoder, picture);
      benchmark::DoNotOptimize(picture[0].data);
    }
    state.PauseTiming();
    th_decode_free(decoder);
    state.ResumeTiming();
  }
  th_setup_free(setup);
  th_comment_clear(&comment);
  th_info_clear(&info);
  state.counters["fps"] = benchmark::Counter(double(kFrames - 1) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(stream_advance_640x480)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(th_decode_640x480)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.of("stream_advance_640x480");
  const double theirs = reporter.of("th_decode_640x480");
  if (ours > 0 && theirs > 0) {
    printf(
        "\nstream advance %.2f ms (%.0f pictures/s), libtheora decode %.2f ms (%.0f pictures/s), "
        "ratio %.3f (aim: at most 1.3)\n",
        ours * 1e3, (kFrames - 1) / ours, theirs * 1e3, (kFrames - 1) / theirs, ours / theirs);
  }
  benchmark::Shutdown();
  return 0;
}
