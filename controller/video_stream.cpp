#include "controller/video_stream.h"

#include <ogg/ogg.h>
#include <theora/theoradec.h>
#include <vorbis/codec.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "controller/ycbcr.h"
#include "model/resource_id.h"

namespace {

constexpr int kReadSize = 4096;
constexpr int32_t kTailStep = 4096;    // bytes read from the end per try
constexpr int32_t kTailLimit = 40960;  // when looking for the last frame
constexpr uint32_t kMaxSide = 16384;   // larger pictures give empty streams
constexpr int kAudioSeconds = 10;      // ceiling of undrained stream audio

}  // namespace

struct VideoDecoder {
  ogg_sync_state sync;
  ogg_stream_state theoraStream;
  ogg_stream_state vorbisStream;
  bool hasTheora = false;
  bool hasVorbis = false;
  int theoraHeaders = 0;
  int vorbisHeaders = 0;
  th_info theoraInfo;
  th_comment theoraComment;
  th_setup_info* setup = nullptr;
  th_dec_ctx* theora = nullptr;
  vorbis_info vorbisInfo;
  vorbis_comment vorbisComment;
  vorbis_dsp_state vorbisDsp;
  vorbis_block vorbisBlock;
  bool vorbisStarted = false;
  // Whether the Theora decoder has made a picture yet: until then (a fresh
  // decoder, or only repeats of a picture never coded) it has none to hand
  // out, and what it would hand out is not ours to read.
  bool hasPicture = false;

  VideoDecoder() {
    ogg_sync_init(&sync);
    initCodecs();
  }
  ~VideoDecoder() {
    clearCodecs();
    ogg_sync_clear(&sync);
  }
  void initCodecs() {
    th_info_init(&theoraInfo);
    th_comment_init(&theoraComment);
    vorbis_info_init(&vorbisInfo);
    vorbis_comment_init(&vorbisComment);
  }
  void clearCodecs() {
    if (vorbisStarted) {
      vorbis_block_clear(&vorbisBlock);
      vorbis_dsp_clear(&vorbisDsp);
      vorbisStarted = false;
    }
    if (theora) th_decode_free(theora);
    theora = nullptr;
    if (setup) th_setup_free(setup);
    setup = nullptr;
    if (hasTheora) ogg_stream_clear(&theoraStream);
    if (hasVorbis) ogg_stream_clear(&vorbisStream);
    hasTheora = hasVorbis = false;
    theoraHeaders = vorbisHeaders = 0;
    th_comment_clear(&theoraComment);
    th_info_clear(&theoraInfo);
    vorbis_comment_clear(&vorbisComment);
    vorbis_info_clear(&vorbisInfo);
  }
  // Back to the state before any header, at the start of the data.
  void reset() {
    hasPicture = false;
    clearCodecs();
    initCodecs();
    ogg_sync_reset(&sync);
  }
  bool headersDone() const { return hasTheora && theoraHeaders >= 3 && (!hasVorbis || vorbisHeaders >= 3); }
};

namespace {

// Next page from the file; false at the end of the data.
bool nextPage(VideoDecoder* d, PackageFile* file, ogg_page* page) {
  for (;;) {
    const int r = ogg_sync_pageout(&d->sync, page);
    if (r == 1) return true;
    if (r < 0) continue;  // bytes skipped to resynchronise
    char* buffer = ogg_sync_buffer(&d->sync, kReadSize);
    if (!buffer) return false;
    const int32_t n = vfs_fread(buffer, kReadSize, file);
    if (n <= 0) return false;
    ogg_sync_wrote(&d->sync, n);
  }
}

int32_t fileLength(PackageFile* file) {
  if (file->isDisk) {
    if (std::fseek(file->file, 0, SEEK_END) != 0) return 0;
    const long at = std::ftell(file->file);
    std::fseek(file->file, 0, SEEK_SET);
    return at < 0 ? 0 : at > INT32_MAX ? INT32_MAX : static_cast<int32_t>(at);
  }
  vfs_load(file);
  vfs_fseek(file, 0, 0);
  return file->size;
}

}  // namespace

VideoStream* VideoStream::open(const char* name, CTRL_Generic* controller) {
  VideoStream* s = new (std::nothrow) VideoStream;
  if (!s) return nullptr;
  s->image.id = MDL_nextResourceId();
  s->image.rawPixels = true;
  s->sound.streaming = true;
  s->file = vfs_fopen(controller, name, "rb");
  if (!s->file) return s;
  s->fileSize = fileLength(s->file);
  s->decoder = new (std::nothrow) VideoDecoder;
  if (!s->decoder) return s;
  const th_info& info = s->decoder->theoraInfo;
  if (!s->readHeaders() || info.pic_width == 0 || info.pic_height == 0 || info.pic_width > kMaxSide ||
      info.pic_height > kMaxSide) {
    // No pictures here: nothing is decoded from this file again.
    delete s->decoder;
    s->decoder = nullptr;
    return s;
  }
  const size_t bytes = size_t{info.pic_width} * info.pic_height * 3;
  if (bytes > INT32_MAX) {
    delete s->decoder;
    s->decoder = nullptr;
    return s;
  }
  s->image.data = static_cast<unsigned char*>(std::calloc(bytes, 1));
  if (!s->image.data) {
    delete s->decoder;
    s->decoder = nullptr;
    return s;
  }
  s->image.size = static_cast<int32_t>(bytes);
  s->image.width = static_cast<int32_t>(info.pic_width);
  s->image.height = static_cast<int32_t>(info.pic_height);
  s->fpsNumerator = info.fps_numerator;
  s->fpsDenominator = info.fps_denominator;
  s->countFrames();
  if (!s->restart()) return s;
  s->seek(-1.0);
  return s;
}

bool VideoStream::readHeaders() {
  VideoDecoder* d = decoder;
  ogg_page page;
  ogg_packet packet;
  while (!d->headersDone()) {
    if (!nextPage(d, file, &page)) return false;
    const int serial = ogg_page_serialno(&page);
    if (ogg_page_bos(&page)) {
      if ((d->hasTheora && d->theoraStream.serialno == serial) || (d->hasVorbis && d->vorbisStream.serialno == serial))
        return false;  // a second start of a kept stream: broken data
      ogg_stream_state test;
      ogg_stream_init(&test, serial);
      ogg_stream_pagein(&test, &page);
      if (ogg_stream_packetout(&test, &packet) == 1) {
        if (!d->hasTheora && th_decode_headerin(&d->theoraInfo, &d->theoraComment, &d->setup, &packet) > 0) {
          d->theoraStream = test;
          d->hasTheora = true;
          d->theoraHeaders = 1;
          continue;
        }
        if (!d->hasVorbis && vorbis_synthesis_headerin(&d->vorbisInfo, &d->vorbisComment, &packet) == 0) {
          d->vorbisStream = test;
          d->hasVorbis = true;
          d->vorbisHeaders = 1;
          continue;
        }
      }
      ogg_stream_clear(&test);
      continue;
    }
    if (d->hasTheora && serial == d->theoraStream.serialno) ogg_stream_pagein(&d->theoraStream, &page);
    if (d->hasVorbis && serial == d->vorbisStream.serialno) ogg_stream_pagein(&d->vorbisStream, &page);
    while (d->hasTheora && d->theoraHeaders < 3 && ogg_stream_packetout(&d->theoraStream, &packet) == 1) {
      if (th_decode_headerin(&d->theoraInfo, &d->theoraComment, &d->setup, &packet) <= 0) return false;
      ++d->theoraHeaders;
    }
    while (d->hasVorbis && d->vorbisHeaders < 3 && ogg_stream_packetout(&d->vorbisStream, &packet) == 1) {
      if (vorbis_synthesis_headerin(&d->vorbisInfo, &d->vorbisComment, &packet) != 0) return false;
      ++d->vorbisHeaders;
    }
  }
  d->theora = th_decode_alloc(&d->theoraInfo, d->setup);
  return d->theora != nullptr;
}

// From the start of the data with fresh decoders, the sound set up again.
bool VideoStream::restart() {
  decodedFrame = -1;
  decoder->reset();
  vfs_fseek(file, 0, 0);
  if (!readHeaders()) return false;
  VideoDecoder* d = decoder;
  const th_info& info = d->theoraInfo;
  if (info.pic_width != static_cast<uint32_t>(image.width) || info.pic_height != static_cast<uint32_t>(image.height))
    return false;
  if (d->hasVorbis && d->vorbisInfo.channels > 0 && d->vorbisInfo.rate > 0) {
    if (vorbis_synthesis_init(&d->vorbisDsp, &d->vorbisInfo) == 0) {
      if (vorbis_block_init(&d->vorbisDsp, &d->vorbisBlock) == 0) {
        d->vorbisStarted = true;
      } else {
        vorbis_dsp_clear(&d->vorbisDsp);
      }
    }
  }
  if (d->vorbisStarted && sound.channels.count != d->vorbisInfo.channels) {
    sound.sampleRate = d->vorbisInfo.rate > INT32_MAX ? INT32_MAX : static_cast<int32_t>(d->vorbisInfo.rate);
    sound.channels.setSize(d->vorbisInfo.channels);
  }
  return true;
}

void VideoStream::countFrames() {
  VideoDecoder* d = decoder;
  frameCount = 0;
  for (int32_t tail = kTailStep; tail <= kTailLimit; tail += kTailStep) {
    const int32_t length = tail < fileSize ? tail : fileSize;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, length);
    int64_t last = -1;
    if (buffer) {
      vfs_fseek(file, fileSize - length, 0);
      const int32_t n = vfs_fread(buffer, length, file);
      if (n > 0) ogg_sync_wrote(&sync, n);
      ogg_page page;
      int r;
      while ((r = ogg_sync_pageout(&sync, &page)) != 0) {
        if (r < 0) continue;
        if (ogg_page_serialno(&page) != d->theoraStream.serialno) continue;
        const ogg_int64_t granule = ogg_page_granulepos(&page);
        if (granule >= 0) last = granule;
      }
    }
    ogg_sync_clear(&sync);
    if (last >= 0) {
      const ogg_int64_t frame = th_granule_frame(d->theora, last);
      if (frame >= 0 && frame < INT32_MAX) frameCount = static_cast<int32_t>(frame + 1);
      return;
    }
    if (length >= fileSize) return;
  }
}

bool VideoStream::readPacket(bool onlyVideo) {
  if (!decoder || !file) return false;
  VideoDecoder* d = decoder;
  const bool audio = d->vorbisStarted && sound.channels.count > 0;
  bool any = false, theoraPage = false, vorbisPage = false;
  ogg_page page;
  for (;;) {
    if (!nextPage(d, file, &page)) return any;
    any = true;
    const int serial = ogg_page_serialno(&page);
    if (d->hasVorbis && serial == d->vorbisStream.serialno) {
      if (!onlyVideo && audio) ogg_stream_pagein(&d->vorbisStream, &page);
      const ogg_int64_t granule = ogg_page_granulepos(&page);
      previousPageTime = lastPageTime;
      lastPageTime = granule >= 0 && d->vorbisInfo.rate > 0 ? static_cast<double>(granule) / d->vorbisInfo.rate : -1.0;
      vorbisPage = true;
    } else if (d->hasTheora && serial == d->theoraStream.serialno) {
      ogg_stream_pagein(&d->theoraStream, &page);
      theoraPage = true;
    }
    if (theoraPage && (onlyVideo || !audio || vorbisPage)) return true;
  }
}

double VideoStream::frameTime(int64_t f) const {
  if (fpsNumerator == 0) return 0.0;
  return static_cast<double>(f) * fpsDenominator / fpsNumerator;
}

double VideoStream::duration() const {
  if (frameCount < 1 || fpsNumerator == 0) return 0.0;
  return static_cast<double>(static_cast<uint32_t>(frameCount - 1)) * fpsDenominator / fpsNumerator;
}

// Decodes Theora packets up to the next picture, reading more data as
// needed (the sound's pages too unless onlyVideo); Corrupt after a packet
// the decoder refuses, End when the data ends first.
VideoStream::Decoded VideoStream::decodeNextPicture(int64_t* frame, bool onlyVideo) {
  VideoDecoder* d = decoder;
  ogg_packet packet;
  for (;;) {
    const int r = ogg_stream_packetout(&d->theoraStream, &packet);
    if (r == 0) {
      if (!readPacket(onlyVideo)) return Decoded::End;
      continue;
    }
    if (r < 0) continue;  // a hole in the data
    ogg_int64_t granule = -1;
    const int result = th_decode_packetin(d->theora, &packet, &granule);
    if (result != 0 && result != TH_DUPFRAME) return Decoded::Corrupt;
    if (result == 0) d->hasPicture = true;
    if (granule < 0) continue;
    *frame = th_granule_frame(d->theora, granule);
    decodedFrame = *frame;
    return Decoded::Picture;
  }
}

void VideoStream::dropAudio() {
  for (int32_t c = 0; c < sound.channels.count; ++c) sound.channels[c].resize(0);
}

void VideoStream::decodeAudio() {
  VideoDecoder* d = decoder;
  if (!d->vorbisStarted || sound.channels.count != d->vorbisInfo.channels) return;
  const int64_t ceiling = int64_t{sound.sampleRate} * kAudioSeconds;
  ogg_packet packet;
  for (;;) {
    float** pcm = nullptr;
    int n;
    while ((n = vorbis_synthesis_pcmout(&d->vorbisDsp, &pcm)) > 0) {
      // Sound nobody drains is dropped past the ceiling, not kept growing.
      const int64_t room = ceiling - sound.frameCount();
      const int32_t take = room <= 0 ? 0 : room < n ? static_cast<int32_t>(room) : n;
      for (int32_t c = 0; c < sound.channels.count && take > 0; ++c) {
        FloatArray& channel = sound.channels[c];
        const int32_t at = channel.count;
        if (!channel.resize(at + take)) continue;
        std::memcpy(channel.data + at, pcm[c], sizeof(float) * static_cast<size_t>(take));
      }
      vorbis_synthesis_read(&d->vorbisDsp, n);
    }
    const int r = ogg_stream_packetout(&d->vorbisStream, &packet);
    if (r == 0) return;
    if (r < 0) continue;
    if (vorbis_synthesis(&d->vorbisBlock, &packet) == 0) vorbis_synthesis_blockin(&d->vorbisDsp, &d->vorbisBlock);
  }
}

int64_t VideoStream::keyframeSpacing() const {
  const int shift = decoder ? decoder->theoraInfo.keyframe_granule_shift : 0;
  return int64_t{1} << (shift < 0 ? 0 : shift > 31 ? 31 : shift);
}

// The frame of the first Theora page with a granule position at or after
// byte `at` (-1 for the headers' pages); -2 when the data ends first.
int64_t VideoStream::pageFrameAfter(int32_t at, int64_t* granule) {
  VideoDecoder* d = decoder;
  ogg_sync_reset(&d->sync);
  if (vfs_fseek(file, at, 0) != 0) return -2;
  ogg_page page;
  while (nextPage(d, file, &page)) {
    if (ogg_page_serialno(&page) != d->theoraStream.serialno) continue;
    const ogg_int64_t g = ogg_page_granulepos(&page);
    if (g < 0) continue;
    if (granule) *granule = g;
    return th_granule_frame(d->theora, g);
  }
  return -2;
}

// A byte position whose first Theora granule page ends before `target`:
// bisection over the file, at most 32 rounds.
int32_t VideoStream::positionBefore(int64_t target) {
  int32_t lo = 0, hi = fileSize;
  for (int round = 0; round < 32 && hi - lo > 1; ++round) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int64_t f = pageFrameAfter(mid, nullptr);
    if (f >= -1 && f < target)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

// Reads the Theora packets from byte `at` on, counting their frames from the
// first granule position met. With decodeFrom >= 0 the packets from that
// frame (which must be a key frame) up to `last` are decoded; otherwise
// nothing is decoded and *key becomes the last key frame up to `last`
// (-1 when none was seen). False when the data or its frames do not agree.
bool VideoStream::scanPackets(int32_t at, int64_t last, int64_t decodeFrom, int64_t* key) {
  VideoDecoder* d = decoder;
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->theoraStream);
  if (vfs_fseek(file, at, 0) != 0) return false;
  if (key) *key = -1;
  int64_t frame = INT64_MIN;  // not known yet
  ogg_page page;
  ogg_packet packet;
  while (nextPage(d, file, &page)) {
    if (ogg_page_serialno(&page) != d->theoraStream.serialno) continue;
    ogg_stream_pagein(&d->theoraStream, &page);
    int r;
    while ((r = ogg_stream_packetout(&d->theoraStream, &packet)) != 0) {
      if (r < 0) return false;                              // a hole: the count is lost
      if (packet.bytes > 0 && (packet.packet[0] & 0x80)) {  // a header
        if (packet.granulepos >= 0) frame = th_granule_frame(d->theora, packet.granulepos);
        continue;
      }
      if (frame != INT64_MIN) ++frame;
      if (packet.granulepos >= 0) frame = th_granule_frame(d->theora, packet.granulepos);
      if (frame == INT64_MIN) continue;
      if (decodeFrom < 0) {
        if (frame > last) return true;
        if (th_packet_iskeyframe(&packet) == 1) *key = frame;
        continue;
      }
      if (frame < decodeFrom) continue;
      if (frame == decodeFrom) {
        if (th_packet_iskeyframe(&packet) != 1) return false;
        // The decoder numbers the pictures on from here.
        ogg_int64_t before = ogg_int64_t(decodeFrom + (th_granule_frame(d->theora, 0) < 0 ? 1 : 0))
                             << d->theoraInfo.keyframe_granule_shift;
        th_decode_ctl(d->theora, TH_DECCTL_SET_GRANPOS, &before, sizeof before);
      }
      ogg_int64_t granule = -1;
      const int result = th_decode_packetin(d->theora, &packet, &granule);
      if (result != 0 && result != TH_DUPFRAME) return false;
      if (result == 0) d->hasPicture = true;
      decodedFrame = frame;
      if (frame >= last) return true;
    }
  }
  return decodeFrom < 0 && key && *key >= 0;
}

// Decodes from the key frame of `frame` found over the pages; false (the
// decoder then needs a restart) when the search does not work out.
bool VideoStream::seekByPages(int64_t frame) {
  if (!file || fileSize <= 0) return false;
  decodedFrame = -1;  // the reading moves: the picture held is no start any more
  int64_t granule = -1;
  const int32_t near = positionBefore(frame);
  // The latest key frame up to the target: one seen on the way there, or
  // else the one the page at the start of the way counts from.
  int64_t key = -1;
  scanPackets(near, frame, -1, &key);
  if (key < 0) {
    const int64_t f = pageFrameAfter(near, &granule);
    if (f < 0 || granule < 0) return false;
    key = th_granule_frame(decoder->theora, (granule >> decoder->theoraInfo.keyframe_granule_shift)
                                                << decoder->theoraInfo.keyframe_granule_shift);
  }
  // From the start the ordinary way is as good.
  if (key <= 0 || key > frame) return false;
  return scanPackets(positionBefore(key), frame, key, nullptr) && decodedFrame == frame;
}

void VideoStream::seek(double t) {
  if (!decoder || !decoder->theora || frameCount < 1 || fpsDenominator == 0) return;
  double f = std::floor(t * fpsNumerator / fpsDenominator + 0.5);
  if (!(f >= 0)) f = 0;
  if (f > frameCount - 1) f = frameCount - 1;
  const int32_t frame = static_cast<int32_t>(f);
  if (frame == currentFrame) return;
  previousPageTime = lastPageTime = -1.0;
  // Every picture after a key frame needs the ones before it. Far from the
  // picture held (or before it) the target's key frame is found by bisection
  // over the pages and decoding starts there; near after it, decoding goes
  // on from the picture held; when the search does not work out, it starts
  // again from the beginning of the data. The sound read on the way would be
  // dropped anyway, so its pages are left unread.
  int64_t decoded = -1;
  const bool far = decodedFrame < 0 || frame < decodedFrame || frame - decodedFrame > keyframeSpacing();
  if (far && seekByPages(frame)) {
    decoded = decodedFrame;
  } else if (frame < decodedFrame || decodedFrame < 0) {
    if (!restart()) {
      delete decoder;  // the data changed under us: nothing more to show
      decoder = nullptr;
      return;
    }
  }
  while (decodedFrame < frame) {
    int64_t got = -1;
    const Decoded step = decodeNextPicture(&got, true);
    if (step == Decoded::End) break;
    if (step == Decoded::Corrupt) continue;  // the target lies beyond it
    decoded = got;
    currentFrame = static_cast<int32_t>(got + 1);
    time = frameTime(got);
  }
  if (decoded >= 0) convertFrame();
  currentFrame = frame;
  time = nextFrameTime = frameTime(frame);
  // Drop the sound queued up to here.
  if (decoder->hasVorbis) ogg_stream_reset(&decoder->vorbisStream);
  if (decoder->vorbisStarted) vorbis_synthesis_restart(&decoder->vorbisDsp);
  dropAudio();
}

void VideoStream::advance(double dt) {
  if (!decoder || !decoder->theora || frameCount < 1 || sound.paused) return;
  time += dt;
  // A frame of no time (the first after the timer starts) keeps the
  // picture shown; a step that lands exactly on the next picture's start
  // shows it, so a step of one picture period moves one picture.
  if (dt > 0 && time >= nextFrameTime) {
    bool shown = false;
    for (;;) {
      int64_t frame = -1;
      const Decoded step = decodeNextPicture(&frame, false);
      if (step == Decoded::End) {
        seek(0.0);
        return;
      }
      if (step == Decoded::Corrupt) break;  // the rest waits for the next frame
      shown = true;
      currentFrame = static_cast<int32_t>(frame + 1);
      nextFrameTime = frameTime(frame + 1);
      if (nextFrameTime >= time) break;
    }
    if (shown) convertFrame();
  }
  decodeAudio();
}

void VideoStream::convertFrame() {
  if (!decoder || !decoder->theora || !decoder->hasPicture || !image.data) return;
  const th_info& info = decoder->theoraInfo;
  th_ycbcr_buffer buffer;
  if (th_decode_ycbcr_out(decoder->theora, buffer) != 0) return;
  VideoPlane planes[3];
  for (int i = 0; i < 3; ++i)
    planes[i] = VideoPlane{buffer[i].data, buffer[i].width, buffer[i].height, buffer[i].stride};
  const int xShift = info.pixel_fmt == TH_PF_444 ? 0 : 1;
  const int yShift = info.pixel_fmt == TH_PF_420 ? 1 : 0;
  if (CTRL_convertPicture(planes, xShift, yShift, static_cast<int32_t>(info.pic_x), static_cast<int32_t>(info.pic_y),
                          image.width, image.height, image.data))
    image.pixelsChanged = true;
}

void VideoStream::destroy() {
  delete decoder;
  decoder = nullptr;
  std::free(image.data);  // raw pixels are the stream's own
  image.data = nullptr;
  image.destroy();
  if (file) vfs_fclose(file);
  file = nullptr;
  sound.destroy();
  proxy.release();
}
