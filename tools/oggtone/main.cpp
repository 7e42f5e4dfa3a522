// oggtone: writes a sine tone as an Ogg Vorbis file, for the demo's sounds
// and for tests that need a sample of known content.
//
//   oggtone OUT.ogg RATE CHANNELS SECONDS FREQUENCY AMPLITUDE [DECAY]
//
// Every channel carries the same tone. With DECAY (per second) the tone dies
// away as exp(-DECAY t), a knock rather than a note.
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool writePage(FILE* out, const ogg_page& page) {
  return std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) ==
             static_cast<size_t>(page.header_len) &&
         std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) == static_cast<size_t>(page.body_len);
}

struct Encoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  FILE* out;
  bool ok = true;

  // Takes the blocks the analysis has ready and writes every full page (all
  // pages when flush is set).
  void drain(bool flush) {
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) ogg_stream_packetin(&stream, &packet);
    }
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page))
      ok = writePage(out, page) && ok;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr, "usage: oggtone OUT.ogg RATE CHANNELS SECONDS FREQUENCY AMPLITUDE [DECAY]\n");
    return 2;
  }
  const long rate = std::strtol(argv[2], nullptr, 10);
  const int channels = static_cast<int>(std::strtol(argv[3], nullptr, 10));
  const double seconds = std::strtod(argv[4], nullptr);
  const double frequency = std::strtod(argv[5], nullptr);
  const double amplitude = std::strtod(argv[6], nullptr);
  const double decay = argc == 8 ? std::strtod(argv[7], nullptr) : 0.0;
  if (rate < 8000 || rate > 192000 || channels < 1 || channels > 2 || !(seconds > 0 && seconds <= 600)) {
    std::fprintf(stderr, "oggtone: rate 8000-192000, 1 or 2 channels, 0-600 seconds\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }

  Encoder e;
  e.out = out;
  vorbis_info_init(&e.info);
  if (vorbis_encode_init_vbr(&e.info, channels, rate, 0.6f) != 0) {
    std::fprintf(stderr, "oggtone: the encoder refuses this rate and channel count\n");
    std::fclose(out);
    return 1;
  }
  vorbis_comment_init(&e.comment);
  vorbis_comment_add_tag(&e.comment, "ENCODER", "oggtone");
  vorbis_analysis_init(&e.dsp, &e.info);
  vorbis_block_init(&e.dsp, &e.block);
  ogg_stream_init(&e.stream, 1);

  ogg_packet header, commentHeader, codeHeader;
  vorbis_analysis_headerout(&e.dsp, &e.comment, &header, &commentHeader, &codeHeader);
  ogg_stream_packetin(&e.stream, &header);
  ogg_stream_packetin(&e.stream, &commentHeader);
  ogg_stream_packetin(&e.stream, &codeHeader);
  e.drain(true);  // the headers on pages of their own

  const long frames = static_cast<long>(std::lround(seconds * static_cast<double>(rate)));
  const double pi = 3.141592653589793;
  const long chunk = 1024;
  for (long at = 0; at < frames; at += chunk) {
    const long n = frames - at < chunk ? frames - at : chunk;
    float** buffer = vorbis_analysis_buffer(&e.dsp, static_cast<int>(n));
    for (long i = 0; i < n; ++i) {
      const double t = static_cast<double>(at + i) / static_cast<double>(rate);
      const float v = static_cast<float>(amplitude * std::exp(-decay * t) * std::sin(2 * pi * frequency * t));
      for (int c = 0; c < channels; ++c) buffer[c][i] = v;
    }
    vorbis_analysis_wrote(&e.dsp, static_cast<int>(n));
    e.drain(false);
  }
  vorbis_analysis_wrote(&e.dsp, 0);  // the end of the stream
  e.drain(true);

  ogg_stream_clear(&e.stream);
  vorbis_block_clear(&e.block);
  vorbis_dsp_clear(&e.dsp);
  vorbis_comment_clear(&e.comment);
  vorbis_info_clear(&e.info);
  const bool closed = std::fclose(out) == 0;
  if (!e.ok || !closed) {
    std::fprintf(stderr, "oggtone: could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
