// DirectSound over one SDL audio device (see platform/dsound.h).
//
// The SDL device thread pulls fixed-size chunks from every playing secondary
// ring. Each buffer keeps two cursors, both guarded by SDL's audio lock:
//   play  - the first byte the device has not taken yet;
//   write - play plus the chunk the device has claimed for its next pull.
// The span [play, write) is the device's: the next pull reads exactly those
// bytes, so an application that writes only outside it never races the
// device. After each pull the next chunk is claimed, so while a buffer plays
// the write cursor is always strictly ahead of the play cursor.
#ifndef _WIN32
#include "platform/dsound.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/dsound_seam.h"

namespace {

const DWORD kRate = 44100;
const WORD kChannels = 2;
const WORD kBits = 16;
const WORD kBlock = 4;
const Uint16 kDeviceFrames = 512;  // about 11.6 ms per device pull

WAVEFORMATEX deviceFormat() {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = kChannels;
  f.nSamplesPerSec = kRate;
  f.nAvgBytesPerSec = kRate * kBlock;
  f.nBlockAlign = kBlock;
  f.wBitsPerSample = kBits;
  f.cbSize = 0;
  return f;
}

// Only the format the device plays is accepted: there is no resampler.
bool isDeviceFormat(const WAVEFORMATEX* f) {
  return f && f->wFormatTag == WAVE_FORMAT_PCM && f->nChannels == kChannels && f->nSamplesPerSec == kRate &&
         f->wBitsPerSample == kBits && f->nBlockAlign == kBlock && f->nAvgBytesPerSec == kRate * kBlock;
}

// GetFormat of either buffer kind: without a record, only the size it needs.
HRESULT copyFormat(const WAVEFORMATEX& have, LPWAVEFORMATEX format, DWORD size, LPDWORD written) {
  if (!format) {
    if (!written) return DSERR_INVALIDPARAM;
    *written = sizeof(WAVEFORMATEX);
    return DS_OK;
  }
  if (size < sizeof(WAVEFORMATEX)) return DSERR_INVALIDPARAM;
  std::memcpy(format, &have, sizeof(WAVEFORMATEX));
  if (written) *written = sizeof(WAVEFORMATEX);
  return DS_OK;
}

class Device;
class Secondary;

// Process-wide state of the one SDL device. Open while any Device lives.
struct Shared {
  std::mutex mutex;  // guards opening and closing (UI side only)
  int devices = 0;
  SDL_AudioDeviceID id = 0;
  DWORD chunk = 0;  // bytes of one device pull, as SDL obtained it
  // Guarded by the SDL audio lock once the device is open.
  std::vector<Secondary*> rings;
  const vsplat::SoundDeviceSeam* seam = nullptr;
  // A process that ends with the device open (exit() from a script) must
  // stop the audio thread before the rings it mixes from go.
  ~Shared() {
    if (id) SDL_CloseAudioDevice(id);
  }
};
Shared g;

bool fails(const char* call) { return g.seam && g.seam->fails(call); }
DWORD cursorShift() { return g.seam ? g.seam->cursorShift() : 0; }

void lockDevice() {
  if (g.id) SDL_LockAudioDevice(g.id);
}
void unlockDevice() {
  if (g.id) SDL_UnlockAudioDevice(g.id);
}
struct DeviceLock {
  DeviceLock() { lockDevice(); }
  ~DeviceLock() { unlockDevice(); }
};

DWORD wholeFrames(DWORD bytes) { return bytes - bytes % kBlock; }

class Secondary final : public IDirectSoundBuffer {
 public:
  Secondary(Device* device, DWORD bytes, const WAVEFORMATEX& format);
  ~Secondary();

  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override;
  HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) override {
    if (fails("GetCurrentPosition")) return DSERR_GENERIC;
    DeviceLock lock;
    if (play) *play = (play_ + cursorShift()) % size_;
    if (write) *write = ((playing_ ? write_ : play_) + cursorShift()) % size_;
    return DS_OK;
  }
  HRESULT GetFormat(LPWAVEFORMATEX format, DWORD size, LPDWORD written) override {
    return copyFormat(format_, format, size, written);
  }
  HRESULT GetStatus(LPDWORD status) override {
    if (!status) return DSERR_INVALIDPARAM;
    DeviceLock lock;
    *status = (playing_ ? DSBSTATUS_PLAYING : 0) | (playing_ && looping_ ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
  }
  HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
               DWORD flags) override;
  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    if (fails("Play")) return DSERR_GENERIC;
    DeviceLock lock;
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    if (!playing_) {
      playing_ = true;
      claim();
    }
    return DS_OK;
  }
  HRESULT SetFormat(LPCWAVEFORMATEX) override { return DSERR_INVALIDCALL; }
  HRESULT Stop() override {
    // The claimed chunk was never taken: the position stays at the play cursor.
    DeviceLock lock;
    playing_ = false;
    write_ = play_;
    return DS_OK;
  }
  HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override;

  bool hasRing() const { return data_ != nullptr; }

  // Device side, under the audio lock: adds the next len bytes of the ring
  // into out (saturating) and claims the following chunk.
  void pull(Sint16* out, DWORD len);

 private:
  bool inRing(const void* p, DWORD bytes) const {
    const Uint8* b = static_cast<const Uint8*>(p);
    return b >= data_.get() && bytes <= size_ && b - data_.get() <= static_cast<long>(size_ - bytes);
  }
  void claim() {
    DWORD ahead = std::min(lastPull_, wholeFrames(size_ - 1));
    write_ = (play_ + ahead) % size_;
  }

  Device* device_;
  DWORD refs_ = 1;
  DWORD size_;
  WAVEFORMATEX format_;
  std::unique_ptr<Uint8[]> data_;  // null when the ring could not be had
  bool playing_ = false;
  bool looping_ = false;
  DWORD play_ = 0;
  DWORD write_ = 0;
  DWORD lastPull_;
};

class Primary final : public IDirectSoundBuffer {
 public:
  explicit Primary(Device* device) : device_(device), format_(deviceFormat()) {}
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override;
  HRESULT GetCurrentPosition(LPDWORD, LPDWORD) override { return DSERR_UNSUPPORTED; }
  HRESULT GetFormat(LPWAVEFORMATEX format, DWORD size, LPDWORD written) override {
    if (fails("GetFormat")) return DSERR_GENERIC;
    return copyFormat(format_, format, size, written);
  }
  HRESULT GetStatus(LPDWORD status) override {
    if (!status) return DSERR_INVALIDPARAM;
    *status = DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
    return DS_OK;
  }
  // Writing the primary buffer directly needs DSSCL_WRITEPRIMARY, which this
  // device does not offer.
  HRESULT Lock(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) override { return DSERR_PRIOLEVELNEEDED; }
  HRESULT Play(DWORD, DWORD, DWORD) override { return DS_OK; }
  HRESULT SetFormat(LPCWAVEFORMATEX format) override;
  HRESULT Stop() override { return DS_OK; }
  HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return DSERR_INVALIDCALL; }

 private:
  Device* device_;
  DWORD refs_ = 1;
  WAVEFORMATEX format_;
};

class Device final : public IDirectSound {
 public:
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override;
  HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
  HRESULT GetCaps(LPDSCAPS caps) override {
    if (fails("GetCaps")) return DSERR_GENERIC;
    if (!caps || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    std::memset(caps, 0, sizeof(DSCAPS));
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags =
        DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT | DSCAPS_EMULDRIVER | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY16BIT;
    caps->dwMinSecondarySampleRate = kRate;
    caps->dwMaxSecondarySampleRate = kRate;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
  }
  HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
    if (fails("SetCooperativeLevel")) return DSERR_GENERIC;
    if (!window || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    level_ = level;
    return DS_OK;
  }

  DWORD level() const { return level_; }
  void primaryGone() { primary_ = nullptr; }

 private:
  DWORD refs_ = 1;
  DWORD level_ = 0;
  Primary* primary_ = nullptr;
};

// ---- the SDL side ----------------------------------------------------------

void mixAll(Uint8* stream, int len) {
  std::memset(stream, 0, len);
  DWORD bytes = wholeFrames(static_cast<DWORD>(len));
  for (Secondary* ring : g.rings) ring->pull(reinterpret_cast<Sint16*>(stream), bytes);
}

void SDLCALL deviceCallback(void*, Uint8* stream, int len) {
  if (g.seam && g.seam->holdsDevice()) {
    std::memset(stream, 0, len);  // the seam drives the rings meanwhile
    return;
  }
  mixAll(stream, len);
}

bool openShared() {
  std::lock_guard<std::mutex> guard(g.mutex);
  if (g.devices > 0) {
    ++g.devices;
    return true;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = kRate;
  want.format = AUDIO_S16LSB;
  want.channels = kChannels;
  want.samples = kDeviceFrames;
  want.callback = deviceCallback;
  SDL_AudioSpec have;
  // No changes allowed: SDL converts to whatever the hardware wants.
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  g.id = id;
  g.chunk = wholeFrames(have.size ? have.size : have.samples * kBlock);
  if (g.chunk == 0) g.chunk = kDeviceFrames * kBlock;
  g.devices = 1;
  SDL_PauseAudioDevice(id, 0);
  return true;
}

void closeShared() {
  std::lock_guard<std::mutex> guard(g.mutex);
  if (--g.devices > 0) return;
  SDL_CloseAudioDevice(g.id);
  g.id = 0;
  g.rings.clear();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// ---- buffers ----------------------------------------------------------------

Secondary::Secondary(Device* device, DWORD bytes, const WAVEFORMATEX& format)
    : device_(device), size_(bytes), format_(format), data_(new (std::nothrow) Uint8[bytes]()), lastPull_(g.chunk) {
  device_->AddRef();
  if (!data_) return;
  DeviceLock lock;
  g.rings.push_back(this);
}

Secondary::~Secondary() {
  {
    DeviceLock lock;
    g.rings.erase(std::remove(g.rings.begin(), g.rings.end(), this), g.rings.end());
  }
  device_->Release();
}

DWORD Secondary::Release() {
  DWORD left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Secondary::Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                        DWORD flags) {
  if (fails("Lock")) return DSERR_GENERIC;
  if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
  if (flags & DSBLOCK_ENTIREBUFFER) {
    offset = 0;
    bytes = size_;
  } else if (flags & DSBLOCK_FROMWRITECURSOR) {
    DeviceLock lock;
    offset = playing_ ? write_ : play_;
  }
  if (offset >= size_ || bytes == 0 || bytes > size_) return DSERR_INVALIDPARAM;
  DWORD first = std::min(bytes, size_ - offset);
  *part1 = data_.get() + offset;
  *bytes1 = first;
  DWORD rest = bytes - first;
  if (part2) *part2 = rest ? data_.get() : nullptr;
  if (bytes2) *bytes2 = part2 ? rest : 0;
  return DS_OK;
}

HRESULT Secondary::Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) {
  if (!part1 || !inRing(part1, bytes1)) return DSERR_INVALIDPARAM;
  if (bytes2 && (!part2 || !inRing(part2, bytes2))) return DSERR_INVALIDPARAM;
  // Taking the audio lock publishes the written bytes to the device thread.
  DeviceLock lock;
  return DS_OK;
}

void Secondary::pull(Sint16* out, DWORD len) {
  if (!playing_) return;
  DWORD done = 0;
  while (done < len) {
    DWORD span = std::min(len - done, size_ - play_);
    const Sint16* src = reinterpret_cast<const Sint16*>(data_.get() + play_);
    Sint16* dst = out + done / 2;
    for (DWORD i = 0; i < span / 2; ++i) {
      int v = dst[i] + src[i];
      dst[i] = static_cast<Sint16>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
    done += span;
    play_ += span;
    if (play_ == size_) {
      play_ = 0;
      if (!looping_) {
        playing_ = false;
        write_ = 0;
        return;
      }
    }
  }
  lastPull_ = len;
  claim();
}

DWORD Primary::Release() {
  DWORD left = --refs_;
  if (left == 0) {
    device_->primaryGone();
    device_->Release();
    delete this;
  }
  return left;
}

HRESULT Primary::SetFormat(LPCWAVEFORMATEX format) {
  if (fails("SetFormat")) return DSERR_GENERIC;
  if (!format) return DSERR_INVALIDPARAM;
  if (device_->level() < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
  if (!isDeviceFormat(format)) return DSERR_BADFORMAT;
  format_ = *format;
  format_.cbSize = 0;
  return DS_OK;
}

DWORD Device::Release() {
  DWORD left = --refs_;
  if (left == 0) {
    closeShared();
    delete this;
  }
  return left;
}

HRESULT Device::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) {
  if (!buffer) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (!desc || desc->dwSize != sizeof(DSBUFFERDESC) || outer) return DSERR_INVALIDPARAM;
  if (level_ == 0) return DSERR_PRIOLEVELNEEDED;  // no cooperative level set yet
  if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
    if (fails("CreatePrimary")) return DSERR_GENERIC;
    if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
    if (primary_) {
      primary_->AddRef();
    } else {
      primary_ = new (std::nothrow) Primary(this);
      if (!primary_) return DSERR_OUTOFMEMORY;
      AddRef();
    }
    *buffer = primary_;
    return DS_OK;
  }
  if (fails("CreateSecondary")) return DSERR_GENERIC;
  if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
  if (!isDeviceFormat(desc->lpwfxFormat)) return DSERR_BADFORMAT;
  DWORD bytes = wholeFrames(desc->dwBufferBytes);
  if (bytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
  WAVEFORMATEX format = *desc->lpwfxFormat;
  format.cbSize = 0;
  Secondary* ring = new (std::nothrow) Secondary(this, bytes, format);
  if (!ring) return DSERR_OUTOFMEMORY;
  if (!ring->hasRing()) {
    ring->Release();
    return DSERR_OUTOFMEMORY;
  }
  *buffer = ring;
  return DS_OK;
}

}  // namespace

extern "C" HRESULT DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* out, LPUNKNOWN outer) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (device || outer) return DSERR_INVALIDPARAM;
  if (fails("DirectSoundCreate")) return DSERR_GENERIC;
  if (!openShared()) return DSERR_NODRIVER;
  Device* d = new (std::nothrow) Device();
  if (!d) {
    closeShared();
    return DSERR_OUTOFMEMORY;
  }
  *out = d;
  return DS_OK;
}

namespace vsplat {

SoundDeviceLock::SoundDeviceLock() { lockDevice(); }
SoundDeviceLock::~SoundDeviceLock() { unlockDevice(); }

void setSoundDeviceSeam(const SoundDeviceSeam* seam) { g.seam = seam; }

void mixSoundDevice(uint8_t* out, size_t bytes) { mixAll(out, static_cast<int>(bytes)); }

size_t soundDeviceChunkBytes() { return g.chunk; }

bool soundDeviceOpen() { return g.id != 0; }

}  // namespace vsplat
#endif
