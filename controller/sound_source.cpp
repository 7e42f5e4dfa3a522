#include "controller/sound_source.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "controller/ctrl_generic.h"
#include "core/debug_log.h"
#include "model/object.h"

size_t memRead(void* buffer, size_t elementSize, size_t count, void* stream) {
  MemoryStream* m = static_cast<MemoryStream*>(stream);
  if (m->position < 0 || m->position >= m->size) return 0;
  const size_t left = static_cast<size_t>(m->size - m->position);
  // elementSize x count may not fit in size_t; what is left always does.
  size_t n = left;
  if (elementSize != 0 && count <= left / elementSize) n = elementSize * count;
  if (elementSize == 0) n = 0;
  if (n > 0) {
    std::memcpy(buffer, m->bytes + m->position, n);
    m->position += static_cast<int64_t>(n);
  }
  return n;
}

int memSeek(void* stream, int64_t offset, int whence) {
  MemoryStream* m = static_cast<MemoryStream*>(stream);
  // Offsets near the int64 ends must not overflow the sum.
  int64_t base = whence == 1 ? m->position : whence == 2 ? m->size : 0;
  int64_t at;
  if (offset > 0 && base > INT64_MAX - offset)
    at = INT64_MAX;
  else if (offset < 0 && base < INT64_MIN - offset)
    at = INT64_MIN;
  else
    at = base + offset;
  if (at < 0) at = 0;
  if (at > m->size) at = m->size;
  m->position = at;
  return 0;
}

int memClose(void*) { return 1; }  // the loader frees the bytes

long memTell(void* stream) { return static_cast<long>(static_cast<MemoryStream*>(stream)->position); }

namespace {

static_assert(std::is_same<ogg_int64_t, int64_t>::value, "memSeek is vorbisfile's seek callback");

// Appends one decoded block to every channel, or nothing: channels stay the
// same length.
bool appendBlock(ChannelArray& channels, float** pcm, int32_t frames) {
  for (int32_t c = 0; c < channels.count; ++c) {
    if (!channels[c].append(pcm[c], frames)) {
      for (int32_t d = 0; d < c; ++d) channels[d].resize(channels[d].count - frames);
      return false;
    }
  }
  return true;
}

// Where link k of a chained stream starts, in samples; -1 when it cannot be
// told or there is no such link.
int64_t linkStart(OggVorbis_File* file, int k) {
  if (k < 0 || k >= ov_streams(file)) return -1;
  int64_t at = 0;
  for (int i = 0; i < k; ++i) {
    const int64_t n = ov_pcm_total(file, i);
    if (n < 0) return -1;
    at += n;
  }
  return at;
}

}  // namespace

void CTRL_decodeVorbis(SoundRecord* record, const uint8_t* bytes, int32_t size) {
  record->sampleRate = 0;
  record->channels.setSize(0);
  if (!bytes || size <= 0) return;
  MemoryStream stream;
  stream.bytes = bytes;
  stream.size = size;
  const ov_callbacks callbacks = {memRead, memSeek, memClose, memTell};
  OggVorbis_File file;
  if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) return;
  const vorbis_info* info = ov_info(&file, -1);
  if (!info || info->channels <= 0 || info->rate <= 0 || info->rate > INT32_MAX ||
      !record->channels.setSize(info->channels)) {
    ov_clear(&file);
    return;
  }
  record->sampleRate = static_cast<int32_t>(info->rate);
  const int channels = info->channels;
  const long rate = info->rate;
  const int64_t maxFrames = kMaxDecodedSamples / channels;
  // The record has one rate and one channel count: the links of a chained
  // stream that have others are left out, or they would play at the wrong
  // speed.
  auto fits = [&](int link) {
    const vorbis_info* i = ov_info(&file, link);
    return i && i->channels == channels && i->rate == rate;
  };
  // Room for the length the stream claims, so the arrays are sized once; a
  // lying claim is held to what such a file could plausibly hold, and a
  // true one beyond that just grows by doubling.
  int64_t claimed = 0;
  for (int link = 0; link < ov_streams(&file) && claimed >= 0; ++link) {
    const int64_t n = ov_pcm_total(&file, link);
    claimed = n < 0 ? -1 : fits(link) ? claimed + n : claimed;
  }
  const int64_t plausible = static_cast<int64_t>(size) * 64;
  if (claimed > plausible) claimed = plausible;
  if (claimed > maxFrames) claimed = maxFrames;
  for (int32_t c = 0; claimed > 0 && c < channels; ++c)
    record->channels[c].reserveExactly(static_cast<int32_t>(claimed));
  // Opened on a chain whose first link is short, vorbisfile may stand at
  // the second link already: decoding starts from the first sample.
  if (ov_streams(&file) > 1) ov_pcm_seek(&file, 0);
  int64_t frames = 0;
  int link = 0, reported = -1;
  for (;;) {
    float** pcm = nullptr;
    // At most 4096 frames a call, fewer near the ceiling: the loop ends there.
    const int64_t room = maxFrames - frames;
    if (room <= 0) break;
    const long n = ov_read_float(&file, &pcm, room < 4096 ? static_cast<int>(room) : 4096, &link);
    if (n <= 0) break;  // end of stream, or an error ends it the same way
    if (!fits(link)) {
      if (link != reported) {
        const vorbis_info* other = ov_info(&file, link);
        debugPrintf(
            "Sound %s: link %d of the chain (%ld Hz, %d channels) left out: the sound plays at %ld Hz with %d "
            "channels",
            record->name ? record->name : "", link, other ? other->rate : 0L, other ? other->channels : 0, rate,
            channels);
        reported = link;
      }
      // On to the next link's first sample; without one, the sound ends.
      const int64_t next = linkStart(&file, link + 1);
      if (next <= ov_pcm_tell(&file) - n || ov_pcm_seek(&file, next) != 0) break;
      continue;
    }
    if (!appendBlock(record->channels, pcm, static_cast<int32_t>(n))) break;
    frames += n;
  }
  ov_clear(&file);
}

SoundRecord* CTRL_Generic::loadSound(const char* name) {
  uint8_t* bytes = nullptr;
  int32_t size = 0;
  const bool mustFree = readFile(name, &bytes, &size, false);
  if (!bytes) return nullptr;
  SoundRecord* record = new (std::nothrow) SoundRecord;
  if (record) {
    record->name = MDL_copyString(name);
    CTRL_decodeVorbis(record, bytes, size);
  }
  if (mustFree) std::free(bytes);
  if (record && !resources.soundRecords.append(record)) {
    delete record;
    record = nullptr;
  }
  return record;
}
