#include "controller/sound_source.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "controller/ctrl_generic.h"
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
  const int64_t maxFrames = kMaxDecodedSamples / channels;
  // Room for the length the stream claims, so the arrays do not grow while
  // decoding; a lying claim is held to what such a file could plausibly
  // hold, and a true one beyond that just grows by doubling.
  int64_t claimed = ov_pcm_total(&file, -1);
  const int64_t plausible = static_cast<int64_t>(size) * 64;
  if (claimed > plausible) claimed = plausible;
  if (claimed > maxFrames) claimed = maxFrames;
  for (int32_t c = 0; claimed > 0 && c < channels; ++c) record->channels[c].reserve(static_cast<int32_t>(claimed));
  int64_t frames = 0;
  int link = 0;
  for (;;) {
    float** pcm = nullptr;
    // At most 4096 frames a call, fewer near the ceiling: the loop ends there.
    const int64_t room = maxFrames - frames;
    if (room <= 0) break;
    const long n = ov_read_float(&file, &pcm, room < 4096 ? static_cast<int>(room) : 4096, &link);
    if (n <= 0) break;  // end of stream, or an error ends it the same way
    // A chained stream may change its channel count; the record keeps the
    // first link's layout, so decoding stops at such a link.
    const vorbis_info* now = ov_info(&file, link);
    if (!now || now->channels != channels) break;
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
