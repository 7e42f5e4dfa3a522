// Ogg Vorbis sounds decoded from bytes in memory into a sound record, through
// vorbisfile's callbacks over a memory stream.
#pragma once

#include <cstdint>

#include "model/sample.h"

// The data source vorbisfile reads from: the file bytes, a read position and
// the size.
struct MemoryStream {
  const uint8_t* bytes = nullptr;
  int64_t position = 0;
  int32_t size = 0;
};

// vorbisfile's callbacks, in its order (read, seek, close, tell).
size_t memRead(void* buffer, size_t elementSize, size_t count, void* stream);
int memSeek(void* stream, int64_t offset, int whence);
int memClose(void* stream);
long memTell(void* stream);

// Fills the record with the stream's rate and one float array per channel,
// sized once from the stream's length. Bytes that are no Vorbis stream leave
// it at rate 0 without channels; a decoding error or a stream past the size
// ceiling ends the decoding where it is, with every channel the same length.
// The links of a chained stream whose rate or channel count differ from the
// first link's are left out, with a log line.
void CTRL_decodeVorbis(SoundRecord* record, const uint8_t* bytes, int32_t size);

// The most samples (frames x channels) one sound holds: 1 GiB of floats,
// about 50 minutes of 44.1 kHz stereo.
constexpr int64_t kMaxDecodedSamples = int64_t{1} << 28;
