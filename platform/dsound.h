// DirectSound for builds other than Windows: the device, the primary buffer
// and looping secondary buffers, played through one SDL audio device at
// 44100 Hz, 16-bit stereo. Only the calls the player makes are here, with the
// semantics it relies on (cursors as DSBCAPS_GETCURRENTPOSITION2 reports them).
// Included by platform/win32.h; on Windows that header takes <dsound.h> instead.
#pragma once

#ifndef _WIN32

#include <cstdint>

// The basic types (BYTE, WORD, DWORD, LONG, LPVOID, HWND...) are the
// platform header's, which includes this one at its end.
#include "platform/win32.h"

typedef int32_t HRESULT;

#ifndef VSPLAT_GUID_DEFINED
#define VSPLAT_GUID_DEFINED
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
typedef const GUID* LPCGUID;
#endif

#ifndef SUCCEEDED
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#endif
#ifndef FAILED
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif

// The wave format record is 18 bytes, without padding.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

// Result codes.
#define DS_OK ((HRESULT)0)
#define DSERR_GENERIC ((HRESULT)0x80004005u)
#define DSERR_UNSUPPORTED ((HRESULT)0x80004001u)
#define DSERR_INVALIDPARAM ((HRESULT)0x80070057u)
#define DSERR_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define DSERR_ALLOCATED ((HRESULT)0x8878000Au)
#define DSERR_INVALIDCALL ((HRESULT)0x88780032u)
#define DSERR_PRIOLEVELNEEDED ((HRESULT)0x88780046u)
#define DSERR_BADFORMAT ((HRESULT)0x88780064u)
#define DSERR_NODRIVER ((HRESULT)0x88780078u)
#define DSERR_UNINITIALIZED ((HRESULT)0x887800AAu)

// Cooperative levels.
#define DSSCL_NORMAL 0x00000001
#define DSSCL_PRIORITY 0x00000002
#define DSSCL_EXCLUSIVE 0x00000003
#define DSSCL_WRITEPRIMARY 0x00000004

// Buffer capability flags.
#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_STATIC 0x00000002
#define DSBCAPS_LOCHARDWARE 0x00000004
#define DSBCAPS_LOCSOFTWARE 0x00000008
#define DSBCAPS_CTRLFREQUENCY 0x00000020
#define DSBCAPS_CTRLPAN 0x00000040
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000

// Play, lock and status flags.
#define DSBPLAY_LOOPING 0x00000001
#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002
#define DSBSTATUS_PLAYING 0x00000001
#define DSBSTATUS_LOOPING 0x00000004

#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF

// Device capabilities: 96 bytes, dwSize first.
struct DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwOther[19];  // hardware mixing counts and memory, all 0 here
};
typedef DSCAPS* LPDSCAPS;

#define DSCAPS_PRIMARYMONO 0x00000001
#define DSCAPS_PRIMARYSTEREO 0x00000002
#define DSCAPS_PRIMARY16BIT 0x00000008
#define DSCAPS_EMULDRIVER 0x00000020
#define DSCAPS_CONTINUOUSRATE 0x00000010
#define DSCAPS_SECONDARYSTEREO 0x00000200
#define DSCAPS_SECONDARY16BIT 0x00000800

struct DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;
  GUID guid3DAlgorithm;
};
typedef DSBUFFERDESC* LPDSBUFFERDESC;
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

struct IUnknown;
typedef IUnknown* LPUNKNOWN;

// A sound buffer: the primary buffer (the device's format only) or a
// secondary buffer (a ring of PCM the device plays).
struct IDirectSoundBuffer {
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // Play cursor: the first byte the device has not finished with. Write
  // cursor: the first byte the application may change. Both whole frames.
  virtual HRESULT GetCurrentPosition(LPDWORD play, LPDWORD write) = 0;
  virtual HRESULT GetFormat(LPWAVEFORMATEX format, DWORD size, LPDWORD written) = 0;
  virtual HRESULT GetStatus(LPDWORD status) = 0;
  // Hands out the ring from offset for bytes as one or two spans (two when
  // the range wraps past the end).
  virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                       DWORD flags) = 0;
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) = 0;

 protected:
  ~IDirectSoundBuffer() = default;
};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;

struct IDirectSound {
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) = 0;
  virtual HRESULT GetCaps(LPDSCAPS caps) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;

 protected:
  ~IDirectSound() = default;
};
typedef IDirectSound* LPDIRECTSOUND;

extern "C" {
// Opens the default output device (device must be null). DSERR_NODRIVER when
// SDL has no audio driver or device. Device objects opened while another lives
// share the one SDL device, their rings mixed together.
HRESULT DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* out, LPUNKNOWN outer);
}

#endif  // !_WIN32
