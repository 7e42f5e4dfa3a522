#include "controller/video_stream.h"

#include <ogg/ogg.h>
#include <theora/theoradec.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "controller/ycbcr.h"
#include "core/debug_log.h"
#include "model/object.h"
#include "model/resource_id.h"

namespace {

constexpr int kReadSize = 4096;
constexpr int32_t kTailStep = 4096;            // the first look back from the end
constexpr int64_t kTailMost = 1 << 20;         // the longest look back in one step
constexpr int64_t kMaxPage = 65307;            // the longest Ogg page
constexpr int64_t kPageSearchBytes = 4 << 20;  // a bisection probe reads at most this far
constexpr uint32_t kMaxSide = 16384;           // larger pictures give empty streams
constexpr int kAudioSeconds = 10;              // ceiling of undrained stream audio
// The sound decoded ahead of the clock after each frame: more than one fill
// of the output (its ring holds under a tenth of a second).
constexpr double kAudioLead = 0.2;
// Past this much sound (or pictures) read ahead of the clock, reading waits.
constexpr double kReadAhead = 4.0;
constexpr int kFillPages = 256;                          // pages read ahead in one frame at the most
constexpr int64_t kMaxSoundPosition = int64_t{1} << 53;  // granule positions beyond are not believed
constexpr int kMaxChannels = 256;                        // a Vorbis header counts them in a byte

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
  ChannelArray pending;  // sound decoded before a granule position placed it

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
    pending.setSize(0);
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

// The file's length now; a disk file's read position is kept.
int32_t fileLength(PackageFile* file) {
  if (file->isDisk) {
    const long was = std::ftell(file->file);
    if (std::fseek(file->file, 0, SEEK_END) != 0) return 0;
    const long at = std::ftell(file->file);
    std::fseek(file->file, was < 0 ? 0 : was, SEEK_SET);
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
  s->image.name = MDL_copyString(name);
  s->sound.streaming = true;
  s->file = vfs_fopen(controller, name, "rb");
  if (!s->file) return s;  // the script reports the missing file
  s->fileSize = fileLength(s->file);
  s->decoder = new (std::nothrow) VideoDecoder;
  if (!s->decoder) {
    debugPrintf("Stream %s: out of memory", name);
    return s;
  }
  const th_info& info = s->decoder->theoraInfo;
  const char* refusal = nullptr;
  if (!s->readHeaders())
    refusal = "no Theora picture track with usable headers";
  else if (info.pic_width == 0 || info.pic_height == 0 || info.pic_width > kMaxSide || info.pic_height > kMaxSide)
    refusal = "its picture size is 0 or larger than 16384";
  else if (info.fps_numerator == 0 || info.fps_denominator == 0)
    refusal = "its picture rate is 0";
  if (!refusal) {
    s->image.data = static_cast<unsigned char*>(std::calloc(size_t{info.pic_width} * info.pic_height * 3, 1));
    if (!s->image.data) refusal = "out of memory for its picture";
  }
  if (refusal) {
    // No pictures here: nothing is decoded from this file again.
    debugPrintf("Stream %s: %s", name, refusal);
    delete s->decoder;
    s->decoder = nullptr;
    return s;
  }
  s->image.size = static_cast<int32_t>(size_t{info.pic_width} * info.pic_height * 3);  // below 2^31: sides bounded
  s->image.width = static_cast<int32_t>(info.pic_width);
  s->image.height = static_cast<int32_t>(info.pic_height);
  s->fpsNumerator = info.fps_numerator;
  s->fpsDenominator = info.fps_denominator;
  s->countFrames();
  if (s->frameCount < 1) {
    debugPrintf("Stream %s: no picture page gives a frame number", name);
    return s;
  }
  if (!s->restart()) {
    s->lose();
    return s;
  }
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

// From the start of the data with fresh decoders, the sound set up again
// (what is queued stays: new samples are placed by their positions).
bool VideoStream::restart() {
  decodedFrame = -1;
  readVideoTime = -1.0;
  decoder->reset();
  vfs_fseek(file, 0, 0);
  if (!readHeaders()) return false;
  VideoDecoder* d = decoder;
  const th_info& info = d->theoraInfo;
  if (info.pic_width != static_cast<uint32_t>(image.width) || info.pic_height != static_cast<uint32_t>(image.height))
    return false;
  if (d->hasVorbis && d->vorbisInfo.channels > 0 && d->vorbisInfo.rate > 0 && d->vorbisInfo.rate <= INT32_MAX) {
    if (vorbis_synthesis_init(&d->vorbisDsp, &d->vorbisInfo) == 0) {
      if (vorbis_block_init(&d->vorbisDsp, &d->vorbisBlock) == 0) {
        d->vorbisStarted = true;
      } else {
        vorbis_dsp_clear(&d->vorbisDsp);
      }
    }
  }
  if (d->vorbisStarted && (sound.channels.count != d->vorbisInfo.channels || sound.sampleRate != d->vorbisInfo.rate)) {
    sound.sampleRate = static_cast<int32_t>(d->vorbisInfo.rate);
    sound.channels.setSize(d->vorbisInfo.channels);
  }
  if (d->vorbisStarted && !d->pending.setSize(d->vorbisInfo.channels)) d->pending.setSize(0);
  audioNext = -1;
  decodeAudio();  // sound pages read with the headers
  return true;
}

// The frame number of the last Theora page with one that starts in [start,
// stop), reading the file from start up to readEnd; -1 when there is none.
int64_t VideoStream::lastFramePageIn(int64_t start, int64_t stop, int64_t readEnd) {
  const int serial = decoder->theoraStream.serialno;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  int64_t last = -1;
  int64_t at = start;  // file offset of the sync's next page or skipped bytes
  int64_t fed = start;
  if (vfs_fseek(file, static_cast<int32_t>(start), 0) == 0) {
    ogg_page page;
    while (at < stop) {
      const long r = ogg_sync_pageseek(&sync, &page);
      if (r < 0) {
        at -= r;  // bytes skipped
        continue;
      }
      if (r > 0) {
        if (ogg_page_serialno(&page) == serial && ogg_page_granulepos(&page) >= 0) last = ogg_page_granulepos(&page);
        at += r;
        continue;
      }
      if (fed >= readEnd) break;
      const int32_t want = static_cast<int32_t>(readEnd - fed < kTailStep ? readEnd - fed : kTailStep);
      char* buffer = ogg_sync_buffer(&sync, want);
      if (!buffer) break;
      const int32_t n = vfs_fread(buffer, want, file);
      if (n <= 0) break;
      ogg_sync_wrote(&sync, n);
      fed += n;
    }
  }
  ogg_sync_clear(&sync);
  return last;
}

void VideoStream::countFrames() {
  frameCount = 0;
  // The last page with a frame number is looked for back from the end in
  // growing steps, until one is found or the start is reached: sound that
  // runs on after the last picture, or large pages, can put it far back.
  // Each step reads its own bytes and on to the end of a page that starts
  // in them.
  int64_t last = -1;
  int64_t stop = fileSize;
  int64_t step = kTailStep;
  while (stop > 0 && last < 0) {
    const int64_t start = stop > step ? stop - step : 0;
    const int64_t readEnd = stop + kMaxPage < fileSize ? stop + kMaxPage : fileSize;
    last = lastFramePageIn(start, stop, readEnd);
    stop = start;
    if (step < kTailMost) step *= 2;
  }
  if (last < 0) return;
  const ogg_int64_t frame = th_granule_frame(decoder->theora, last);
  if (frame >= 0 && frame < INT32_MAX) frameCount = static_cast<int32_t>(frame + 1);
}

// One page from the file into its track: the sound's unless withSound is
// false or there is no sound to decode.
VideoStream::Page VideoStream::readPage(bool withSound) {
  VideoDecoder* d = decoder;
  ogg_page page;
  if (!nextPage(d, file, &page)) return Page::None;
  const int serial = ogg_page_serialno(&page);
  const ogg_int64_t granule = ogg_page_granulepos(&page);
  if (d->hasVorbis && serial == d->vorbisStream.serialno) {
    previousPageTime = lastPageTime;
    lastPageTime = granule >= 0 && d->vorbisInfo.rate > 0 ? static_cast<double>(granule) / d->vorbisInfo.rate : -1.0;
    if (withSound && audioActive()) takeSoundPage(&page);
    return Page::Sound;
  }
  if (d->hasTheora && serial == d->theoraStream.serialno) {
    ogg_stream_pagein(&d->theoraStream, &page);
    if (granule >= 0) readVideoTime = frameTime(th_granule_frame(d->theora, granule));
    return Page::Picture;
  }
  return Page::Other;
}

bool VideoStream::readPacket(bool onlyVideo) {
  if (!decoder || !decoder->theora || !file) return false;
  const bool audio = !onlyVideo && audioActive();
  bool any = false, picture = false, sound = false;
  for (;;) {
    const Page page = readPage(audio);
    if (page == Page::None) return any;
    any = true;
    picture = picture || page == Page::Picture;
    sound = sound || page == Page::Sound;
    if (picture && (!audio || sound)) return true;
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

// Decodes Theora packets up to the next picture, reading more pages (the
// sound's too) as needed; Corrupt after a packet the decoder refuses, End
// when the data ends first, Waiting (with mayWait) when the pictures need
// more data but the sound read so far runs well ahead of the clock: a file
// whose sound pages come long before its pictures' is not read ahead
// without bound.
VideoStream::Decoded VideoStream::decodeNextPicture(int64_t* frame, bool mayWait) {
  VideoDecoder* d = decoder;
  ogg_packet packet;
  for (;;) {
    const int r = ogg_stream_packetout(&d->theoraStream, &packet);
    if (r == 0) {
      if (mayWait && readAheadFull()) return Decoded::Waiting;
      if (readPage(true) == Page::None) return Decoded::End;
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

bool VideoStream::audioActive() const {
  return decoder && decoder->vorbisStarted && sound.channels.count > 0 &&
         sound.channels.count == decoder->vorbisInfo.channels;
}

int64_t VideoStream::audioPosition(double t) const {
  const double v = std::floor(t * sound.sampleRate + 0.5);
  if (!(v > 0)) return 0;
  return v < kMaxSoundPosition ? static_cast<int64_t>(v) : static_cast<int64_t>(kMaxSoundPosition);
}

bool VideoStream::readAheadFull() const {
  if (!audioActive()) return false;
  return queueEnd() >= audioPosition(time + kReadAhead);
}

// A sound page ending before what the queue needs is not decoded: only the
// last such page is kept, for the overlap its final packet gives the next.
void VideoStream::takeSoundPage(void* opaque) {
  ogg_page* page = static_cast<ogg_page*>(opaque);
  const ogg_int64_t granule = ogg_page_granulepos(page);
  if (granule >= 0 && granule < queueEnd()) {
    restartSound();
    ogg_stream_pagein(&decoder->vorbisStream, page);
    return;
  }
  ogg_stream_pagein(&decoder->vorbisStream, page);
  decodeAudio();
}

// Decodes the sound packets read so far into the queue. A packet's granule
// position is where its samples end; samples decoded before any is known
// (the start of a page after a reset) wait in the pending arrays until one
// places them.
void VideoStream::decodeAudio() {
  if (!audioActive()) return;
  VideoDecoder* d = decoder;
  ogg_packet packet;
  for (;;) {
    const int r = ogg_stream_packetout(&d->vorbisStream, &packet);
    if (r == 0) return;
    if (r < 0) continue;
    if (vorbis_synthesis(&d->vorbisBlock, &packet) != 0) continue;
    if (vorbis_synthesis_blockin(&d->vorbisDsp, &d->vorbisBlock) != 0) continue;
    float** pcm = nullptr;
    const int n = vorbis_synthesis_pcmout(&d->vorbisDsp, &pcm);
    if (n < 0) continue;
    if (packet.granulepos >= 0 && packet.granulepos < kMaxSoundPosition) {
      const int64_t start = packet.granulepos - n;
      if (audioNext < 0 && d->pending.count > 0 && d->pending[0].count > 0) {
        const int32_t held = d->pending[0].count;
        const float* channels[kMaxChannels];
        for (int32_t c = 0; c < d->pending.count && c < kMaxChannels; ++c) channels[c] = d->pending[c].data;
        queueSound(channels, held, start - held);
      }
      for (int32_t c = 0; c < d->pending.count; ++c) d->pending[c].resize(0);
      audioNext = start;
    }
    if (n > 0) {
      if (audioNext >= 0) {
        queueSound(pcm, n, audioNext);
        audioNext += n;
      } else if (d->pending.count == sound.channels.count &&
                 d->pending[0].count < int64_t{sound.sampleRate} * kAudioSeconds) {
        for (int32_t c = 0; c < d->pending.count; ++c)
          if (!d->pending[c].append(pcm[c], n)) d->pending[c].resize(0);
      }
      vorbis_synthesis_read(&d->vorbisDsp, n);
    }
  }
}

// n samples per channel that belong at sound position `at`: the part before
// the queue's end is skipped, a gap before them is filled with silence, and
// nothing passes the ceiling of queued sound. Channels stay one length.
void VideoStream::queueSound(const float* const* pcm, int32_t n, int64_t at) {
  const int64_t end = queueEnd();
  if (n <= 0 || at + n <= end) return;
  const int64_t skip = at < end ? end - at : 0;
  const int64_t gap = at > end ? at - end : 0;
  const int64_t room = int64_t{sound.sampleRate} * kAudioSeconds - sound.frameCount();
  if (gap >= room) return;
  const int64_t take = n - skip < room - gap ? n - skip : room - gap;
  const int32_t count = sound.frameCount();
  const int32_t grown = static_cast<int32_t>(count + gap + take);
  for (int32_t c = 0; c < sound.channels.count; ++c) {
    if (!sound.channels[c].resize(grown)) {
      for (int32_t k = 0; k < c; ++k) sound.channels[k].resize(count);
      return;
    }
  }
  for (int32_t c = 0; c < sound.channels.count; ++c) {
    float* to = sound.channels[c].data + count;
    std::fill(to, to + gap, 0.0f);
    std::memcpy(to + gap, pcm[c] + skip, sizeof(float) * static_cast<size_t>(take));
  }
}

// The sound decoder forgets what it was given; the next samples are placed
// by the next granule position.
void VideoStream::restartSound() {
  VideoDecoder* d = decoder;
  if (d->hasVorbis) ogg_stream_reset(&d->vorbisStream);
  if (d->vorbisStarted) vorbis_synthesis_restart(&d->vorbisDsp);
  for (int32_t c = 0; c < d->pending.count; ++c) d->pending[c].resize(0);
  audioNext = -1;
}

// An empty queue whose first sample will be the one at `position`.
void VideoStream::resetAudio(int64_t position) {
  for (int32_t c = 0; c < sound.channels.count; ++c) sound.channels[c].resize(0);
  audioFront = position;
  sound.playRemainder = 0;
  restartSound();
}

// The queue moved on to `position` (not before its front): what lies
// before is dropped, and decoding goes on where it was.
void VideoStream::dropAudioBefore(int64_t position) {
  const int64_t n = position > audioFront ? position - audioFront : 0;
  const int32_t count = sound.frameCount();
  const int32_t drop = n < count ? static_cast<int32_t>(n) : count;
  for (int32_t c = 0; c < sound.channels.count; ++c) {
    FloatArray& queue = sound.channels[c];
    std::memmove(queue.data, queue.data + drop, sizeof(float) * static_cast<size_t>(queue.count - drop));
    queue.resize(queue.count - drop);
  }
  audioFront = position;
  sound.playRemainder = 0;
}

// Reads on until the queue holds the sound of the next moments, so that the
// next fill of the output finds it whatever the pages' sizes; the pictures'
// pages met on the way wait in their track, up to a few seconds' worth.
void VideoStream::fillAudio() {
  if (!audioActive()) return;
  const int64_t wanted = audioPosition(time + kAudioLead);
  for (int pages = 0; pages < kFillPages && queueEnd() < wanted && !(readVideoTime > time + kReadAhead); ++pages)
    if (readPage(true) == Page::None) return;
}

void VideoStream::consumeAudio(int32_t outFrames, int32_t outRate) {
  if (outFrames <= 0 || outRate <= 0 || sound.sampleRate <= 0) return;
  const int32_t count = sound.frameCount();
  int64_t played;
  if (outFrames == INT32_MAX) {
    // No device: what is queued is gone, but the place does not run away.
    played = count;
    sound.playRemainder = 0;
  } else {
    const int64_t total = sound.playRemainder + int64_t{sound.sampleRate} * outFrames;
    played = total / outRate;
    sound.playRemainder = total % outRate;
  }
  // Played past what was queued, the queue's place still moves on: later
  // samples for that time are late and skipped, so the sound keeps step.
  const int32_t drop = played < count ? static_cast<int32_t>(played) : count;
  for (int32_t c = 0; c < sound.channels.count; ++c) {
    FloatArray& queue = sound.channels[c];
    if (drop >= queue.count) {
      queue.freeStorage();
      continue;
    }
    std::memmove(queue.data, queue.data + drop, sizeof(float) * static_cast<size_t>(queue.count - drop));
    queue.resize(queue.count - drop);
  }
  audioFront = audioFront + played < kMaxSoundPosition ? audioFront + played : kMaxSoundPosition;
}

int64_t VideoStream::keyframeSpacing() const {
  const int shift = decoder ? decoder->theoraInfo.keyframe_granule_shift : 0;
  return int64_t{1} << (shift < 0 ? 0 : shift > 31 ? 31 : shift);
}

// The granule position of the first page of that track with one at or
// after byte `at`; -2 when the data ends first, or when none comes within a
// few megabytes (a long stretch of the other track only).
int64_t VideoStream::pageGranuleAfter(int32_t at, int serial) {
  VideoDecoder* d = decoder;
  ogg_sync_reset(&d->sync);
  if (vfs_fseek(file, at, 0) != 0) return -2;
  ogg_page page;
  int64_t read = 0;
  while (read < kPageSearchBytes && nextPage(d, file, &page)) {
    read += page.header_len + page.body_len;
    if (ogg_page_serialno(&page) != serial) continue;
    const ogg_int64_t g = ogg_page_granulepos(&page);
    if (g >= 0) return g;
  }
  return -2;
}

// The frame of the first Theora page with a granule position at or after
// byte `at` (-1 for the headers' pages); -2 as above.
int64_t VideoStream::pageFrameAfter(int32_t at, int64_t* granule) {
  const int64_t g = pageGranuleAfter(at, decoder->theoraStream.serialno);
  if (g < 0) return -2;
  if (granule) *granule = g;
  return th_granule_frame(decoder->theora, g);
}

// A byte position whose first sound page with a granule position ends
// before `sample`: bisection over the file, at most 32 rounds.
int32_t VideoStream::soundPositionBefore(int64_t sample) {
  int32_t lo = 0, hi = fileSize;
  for (int round = 0; round < 32 && hi - lo > 1; ++round) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int64_t g = pageGranuleAfter(mid, decoder->vorbisStream.serialno);
    if (g >= 0 && g < sample)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
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
// frame (which must be a key frame) up to `last` are decoded, and the sound
// pages met go to the sound track; otherwise nothing is decoded and *key
// becomes the last key frame up to `last` (-1 when none was seen). False
// when the data or its frames do not agree.
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
    const int serial = ogg_page_serialno(&page);
    if (decodeFrom >= 0 && d->hasVorbis && serial == d->vorbisStream.serialno && audioActive()) {
      takeSoundPage(&page);
      continue;
    }
    if (serial != d->theoraStream.serialno) continue;
    ogg_stream_pagein(&d->theoraStream, &page);
    if (decodeFrom >= 0 && ogg_page_granulepos(&page) >= 0)
      readVideoTime = frameTime(th_granule_frame(d->theora, ogg_page_granulepos(&page)));
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
  if (!file || fileSize <= 0 || frame < 2) return false;
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
  // The reading starts early enough for both tracks: the sound's samples
  // are placed from a page that ends before the picture's time.
  int32_t from = positionBefore(key);
  if (audioActive()) {
    const int32_t sound = soundPositionBefore(queueEnd());
    if (sound < from) from = sound;
  }
  return scanPackets(from, frame, key, nullptr) && decodedFrame == frame;
}

void VideoStream::seek(double t) {
  if (!decoder || frameCount < 1 || fpsNumerator == 0 || fpsDenominator == 0) return;
  if (lost) {
    if (!restart()) return;
    lost = false;
    currentFrame = -1;
  }
  if (!decoder->theora) return;
  double f = std::floor(t * fpsNumerator / fpsDenominator + 0.5);
  if (!(f >= 0)) f = 0;
  if (f > frameCount - 1) f = frameCount - 1;
  const int32_t frame = static_cast<int32_t>(f);
  const double at = frameTime(frame);
  if (frame == currentFrame && time == at) return;  // already there
  previousPageTime = lastPageTime = -1.0;
  // Every picture after a key frame needs the ones before it. Far from the
  // picture held (or before it) the target's key frame is found by bisection
  // over the pages and decoding starts there; near after it, decoding goes
  // on from the picture held; when the search does not work out, it starts
  // again from the beginning of the data. The sound is read on the way and
  // queued from the picture's time on: going on from where the decoder is
  // keeps what it has decoded past that time, starting elsewhere begins an
  // empty queue at it.
  const int64_t sample = audioPosition(at);
  const bool soundGoesOn = !audioActive() || (audioNext >= 0 && sample >= audioFront);
  const bool far = decodedFrame < 0 || frame < decodedFrame || frame - decodedFrame > keyframeSpacing() || !soundGoesOn;
  if (far)
    resetAudio(sample);
  else
    dropAudioBefore(sample);
  int64_t decoded = -1;
  if (far && seekByPages(frame)) {
    decoded = decodedFrame;
  } else if (frame < decodedFrame || decodedFrame < 0) {
    if (!restart()) {
      lose();
      return;
    }
  }
  while (decodedFrame < frame) {
    int64_t got = -1;
    const Decoded step = decodeNextPicture(&got, false);
    if (step == Decoded::End) break;
    if (step == Decoded::Corrupt) continue;  // the target lies beyond it
    decoded = got;
  }
  if (decoded >= 0) convertFrame();
  // Data that ends short of the target leaves its last picture shown.
  currentFrame = decodedFrame >= 0 && decodedFrame < frame ? static_cast<int32_t>(decodedFrame) : frame;
  time = at;
  nextFrameTime = frameTime(frame + 1);
  fillAudio();
}

void VideoStream::advance(double dt) {
  if (!decoder || frameCount < 1 || sound.paused) return;
  if (lost) {
    // The file came back readable: on from where the clock is.
    if (!restart()) return;
    lost = false;
    currentFrame = -1;
    seek(time);
    return;
  }
  if (!decoder->theora) return;
  time += dt;
  // A frame of no time (the first after the timer starts) keeps the
  // picture shown; a step that lands exactly on the next picture's start
  // shows it, so a step of one picture period moves one picture.
  if (dt > 0 && time >= nextFrameTime) {
    bool shown = false;
    for (;;) {
      int64_t frame = -1;
      const Decoded step = decodeNextPicture(&frame, true);
      if (step == Decoded::End) {
        noteFileEnd();
        // Sound that runs on after the last picture plays out under it;
        // then the stream starts again.
        if (audioActive() && queueEnd() > audioPosition(time)) break;
        seek(0.0);
        return;
      }
      if (step != Decoded::Picture) break;  // the rest waits for the next frame
      shown = true;
      currentFrame = static_cast<int32_t>(frame);
      nextFrameTime = frameTime(frame + 1);
      if (nextFrameTime > time) break;
    }
    if (shown) convertFrame();
  }
  fillAudio();
}

// The data ended: a disk file may have been cut short since it was opened.
void VideoStream::noteFileEnd() {
  if (!file || !file->isDisk) return;
  const int32_t now = fileLength(file);
  if (now < fileSize)
    debugPrintf("Stream %s: its file was cut short to %d of %d bytes", image.name ? image.name : "", now, fileSize);
  fileSize = now;
}

// The file no longer reads as this stream: the picture stays, and every
// frame tries again.
void VideoStream::lose() {
  noteFileEnd();
  if (!lost) debugPrintf("Stream %s: its file no longer reads as a stream", image.name ? image.name : "");
  lost = true;
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
