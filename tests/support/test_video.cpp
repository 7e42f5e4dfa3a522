#include "support/test_video.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/test_media.h"

namespace testmedia {

namespace {

struct Page {
  double time;
  std::string bytes;
};

std::string pageBytes(const ogg_page& page) {
  std::string s(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
  s.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
  return s;
}

constexpr YCbCr kOutside = {81, 90, 240};

}  // namespace

std::string makeTheora(const TheoraSpec& spec, const VideoPattern& pattern) {
  th_info info;
  th_info_init(&info);
  const int frameWidth = (spec.picX + spec.width + 15) & ~15;
  const int frameHeight = (spec.picY + spec.height + 15) & ~15;
  info.frame_width = static_cast<uint32_t>(frameWidth);
  info.frame_height = static_cast<uint32_t>(frameHeight);
  info.pic_width = static_cast<uint32_t>(spec.width);
  info.pic_height = static_cast<uint32_t>(spec.height);
  info.pic_x = static_cast<uint32_t>(spec.picX);
  info.pic_y = static_cast<uint32_t>(spec.picY);
  info.fps_numerator = spec.fpsNumerator;
  info.fps_denominator = spec.fpsDenominator;
  info.aspect_numerator = info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = TH_PF_420;
  info.target_bitrate = 0;
  info.quality = 63;
  info.keyframe_granule_shift = spec.keyframeShift;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  th_info_clear(&info);
  if (!encoder) return "";

  std::vector<Page> headerPages, laterHeaders, data;
  ogg_stream_state video;
  ogg_stream_init(&video, 0x7e0);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  ogg_page page;
  bool first = true;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    ogg_stream_packetin(&video, &packet);
    if (first) {
      while (ogg_stream_flush(&video, &page)) headerPages.push_back({0, pageBytes(page)});
      first = false;
    }
  }
  while (ogg_stream_flush(&video, &page)) laterHeaders.push_back({0, pageBytes(page)});
  th_comment_clear(&comment);

  std::vector<unsigned char> planes[3];
  planes[0].resize(static_cast<size_t>(frameWidth) * frameHeight);
  planes[1].resize(static_cast<size_t>(frameWidth / 2) * (frameHeight / 2));
  planes[2].resize(planes[1].size());
  auto colourAt = [&](int f, int x, int y) {  // frame coordinates, from the top
    const int px = x - spec.picX, py = y - spec.picY;
    if (px < 0 || py < 0 || px >= spec.width || py >= spec.height) return kOutside;
    return pattern(f, px, py);
  };
  double lastVideoTime = 0;  // a page ending no picture is woven in with the one before
  auto pageTime = [&](const ogg_page& p) {
    const ogg_int64_t granule = ogg_page_granulepos(&p);
    if (granule >= 0) lastVideoTime = th_granule_time(encoder, granule);
    return lastVideoTime;
  };
  auto flushLarge = [&] {
    while (ogg_stream_flush_fill(&video, &page, 1 << 20)) data.push_back({pageTime(page), pageBytes(page)});
  };
  auto writeVideoPages = [&](bool flush) {
    while (flush ? ogg_stream_flush(&video, &page) : ogg_stream_pageout(&video, &page))
      data.push_back({pageTime(page), pageBytes(page)});
  };
  for (int f = 0; f < spec.frames; ++f) {
    for (int y = 0; y < frameHeight; ++y)
      for (int x = 0; x < frameWidth; ++x) planes[0][static_cast<size_t>(y) * frameWidth + x] = colourAt(f, x, y).y;
    for (int y = 0; y < frameHeight / 2; ++y)
      for (int x = 0; x < frameWidth / 2; ++x) {
        const YCbCr c = colourAt(f, 2 * x, 2 * y);
        planes[1][static_cast<size_t>(y) * (frameWidth / 2) + x] = c.cb;
        planes[2][static_cast<size_t>(y) * (frameWidth / 2) + x] = c.cr;
      }
    th_ycbcr_buffer buffer;
    for (int i = 0; i < 3; ++i) {
      buffer[i].width = i == 0 ? frameWidth : frameWidth / 2;
      buffer[i].height = i == 0 ? frameHeight : frameHeight / 2;
      buffer[i].stride = buffer[i].width;
      buffer[i].data = planes[i].data();
    }
    if (th_encode_ycbcr_in(encoder, buffer) != 0) break;
    while (th_encode_packetout(encoder, f == spec.frames - 1, &packet) > 0) {
      if (f < spec.emptyFrames) packet.bytes = 0;  // the picture's number stays, its data goes
      ogg_stream_packetin(&video, &packet);
      // A page per picture weaves the sound finely between; gathered
      // pictures make the large pages some encoders write.
      if (spec.picturesPerPage <= 1) {
        writeVideoPages(true);
      } else if ((f + 1) % spec.picturesPerPage == 0) {
        flushLarge();
      }
    }
  }
  if (spec.picturesPerPage > 1) flushLarge();
  writeVideoPages(true);
  ogg_stream_clear(&video);
  th_encode_free(encoder);

  if (spec.audioChannels > 0) {
    // The sound track: a Vorbis file of the same length, its pages taken
    // apart and woven in by time.
    const double seconds = spec.audioSeconds >= 0 ? spec.audioSeconds
                           : spec.fpsNumerator    ? double(spec.frames) * spec.fpsDenominator / spec.fpsNumerator
                                                  : 0;
    const std::string ogg =
        makeOgg(spec.audioChannels, spec.audioRate, static_cast<int64_t>(std::ceil(seconds * spec.audioRate)),
                spec.audioSignal ? spec.audioSignal : tones(spec.audioRate), spec.audioPageBytes);
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* to = ogg_sync_buffer(&sync, static_cast<long>(ogg.size()));
    std::copy(ogg.begin(), ogg.end(), to);
    ogg_sync_wrote(&sync, static_cast<long>(ogg.size()));
    int index = 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
      const ogg_int64_t granule = ogg_page_granulepos(&page);
      if (index == 0) {
        headerPages.push_back({0, pageBytes(page)});
      } else if (granule == 0) {
        laterHeaders.push_back({0, pageBytes(page)});
      } else {
        data.push_back({(granule > 0 ? double(granule) / spec.audioRate : 0.0) - spec.soundAhead, pageBytes(page)});
      }
      ++index;
    }
    ogg_sync_clear(&sync);
    std::stable_sort(data.begin(), data.end(), [](const Page& a, const Page& b) { return a.time < b.time; });
  }
  std::string out;
  for (const Page& p : headerPages) out += p.bytes;
  for (const Page& p : laterHeaders) out += p.bytes;
  for (const Page& p : data) out += p.bytes;
  return out;
}

}  // namespace testmedia
