// The DirectSound stand-in: creation, formats and the looping ring's cursors.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/dsound_testing.h"
#include "platform/win32.h"

namespace {

HWND fakeWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

WAVEFORMATEX pcm(DWORD rate = 44100, WORD channels = 2, WORD bits = 16) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

const DWORD kRing = 16384;

// A device at priority level with one secondary ring of kRing bytes.
struct Ring {
  LPDIRECTSOUND ds = nullptr;
  LPDIRECTSOUNDBUFFER buf = nullptr;

  explicit Ring(DWORD bytes = kRing) {
    if (FAILED(DirectSoundCreate(nullptr, &ds, nullptr))) return;
    ds->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY);
    WAVEFORMATEX f = pcm();
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME;
    d.dwBufferBytes = bytes;
    d.lpwfxFormat = &f;
    ds->CreateSoundBuffer(&d, &buf, nullptr);
  }
  ~Ring() {
    if (buf) buf->Release();
    if (ds) ds->Release();
  }
  void cursors(DWORD& p, DWORD& w) const { ASSERT_EQ(DS_OK, buf->GetCurrentPosition(&p, &w)); }
  // Fills the whole ring with frame numbers: left = index, right = -index.
  void fillWithFrameNumbers() {
    LPVOID p1, p2;
    DWORD n1, n2;
    ASSERT_EQ(DS_OK, buf->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER));
    int16_t* s = static_cast<int16_t*>(p1);
    for (DWORD i = 0; i < n1 / 4; ++i) {
      s[2 * i] = static_cast<int16_t>(i);
      s[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(i));
    }
    ASSERT_EQ(DS_OK, buf->Unlock(p1, n1, p2, n2));
  }
};

TEST(DirectSoundDevice, CreatesThePlayersBuffersAndRefusesWhatItCannotPlay) {
  LPDIRECTSOUND ds = nullptr;
  ASSERT_EQ(DS_OK, DirectSoundCreate(nullptr, &ds, nullptr));
  ASSERT_NE(nullptr, ds);
  EXPECT_EQ(96u, sizeof(DSCAPS));
  EXPECT_EQ(18u, sizeof(WAVEFORMATEX));

  DSCAPS caps{};
  EXPECT_EQ(DSERR_INVALIDPARAM, ds->GetCaps(&caps)) << "size field not set";
  caps.dwSize = sizeof caps;
  EXPECT_EQ(DS_OK, ds->GetCaps(&caps));

  EXPECT_TRUE(FAILED(ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY)));
  EXPECT_EQ(DS_OK, ds->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY));

  DSBUFFERDESC pd{};
  pd.dwSize = sizeof pd;
  pd.dwFlags = 0x10001;
  LPDIRECTSOUNDBUFFER primary = nullptr;
  ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&pd, &primary, nullptr));
  WAVEFORMATEX want = pcm();
  EXPECT_EQ(DS_OK, primary->SetFormat(&want));
  WAVEFORMATEX got{};
  DWORD written = 0;
  EXPECT_EQ(DS_OK, primary->GetFormat(&got, sizeof got, &written));
  EXPECT_EQ(18u, written);
  EXPECT_EQ(0, std::memcmp(&want, &got, sizeof got));
  WAVEFORMATEX mono = pcm(44100, 1);
  EXPECT_EQ(DSERR_BADFORMAT, primary->SetFormat(&mono));

  struct Case {
    DWORD flags, bytes;
    WAVEFORMATEX format;
    bool ok;
  } cases[] = {
      {0x18080, 16384, pcm(), true},
      {0x18080, 16386, pcm(), true},  // rounded down to whole frames
      {0x18080, 16384, pcm(22050), false},
      {0x18080, 16384, pcm(44100, 1), false},
      {0x18080, 16384, pcm(44100, 2, 8), false},
      {0x18080, 0, pcm(), false},
      {0x18080, 2, pcm(), false},
  };
  for (const Case& c : cases) {
    WAVEFORMATEX f = c.format;
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = c.flags;
    d.dwBufferBytes = c.bytes;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDBUFFER b = reinterpret_cast<LPDIRECTSOUNDBUFFER>(1);
    HRESULT hr = ds->CreateSoundBuffer(&d, &b, nullptr);
    EXPECT_EQ(c.ok, SUCCEEDED(hr)) << c.bytes << " bytes, " << f.nSamplesPerSec << " Hz, " << f.nChannels << " ch, "
                                   << f.wBitsPerSample << " bits";
    if (SUCCEEDED(hr)) {
      LPVOID p1, p2;
      DWORD n1, n2;
      ASSERT_EQ(DS_OK, b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER));
      EXPECT_EQ(16384u, n1);
      b->Unlock(p1, n1, p2, n2);
      b->Release();
    } else {
      EXPECT_EQ(nullptr, b);
    }
  }
  primary->Release();
  // The device object lives on while a buffer holds it.
  EXPECT_TRUE(vsplat::soundDeviceOpen());
  ds->Release();
  EXPECT_FALSE(vsplat::soundDeviceOpen());
}

TEST(DirectSoundRing, LockHandsOutTwoSpansWhenTheRangeWraps) {
  Ring r;
  ASSERT_NE(nullptr, r.buf);
  struct Case {
    DWORD offset, bytes, n1, n2;
  } cases[] = {
      {0, 16384, 16384, 0},
      {16000, 1000, 384, 616},
      {16380, 8, 4, 4},
      {100, 16284, 16284, 0},
  };
  LPVOID base, unused;
  DWORD all, none;
  ASSERT_EQ(DS_OK, r.buf->Lock(0, 0, &base, &all, &unused, &none, DSBLOCK_ENTIREBUFFER));
  r.buf->Unlock(base, all, unused, none);
  for (const Case& c : cases) {
    LPVOID p1, p2;
    DWORD n1, n2;
    ASSERT_EQ(DS_OK, r.buf->Lock(c.offset, c.bytes, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(static_cast<uint8_t*>(base) + c.offset, p1);
    EXPECT_EQ(c.n1, n1);
    EXPECT_EQ(c.n2, n2);
    EXPECT_EQ(c.n2 ? base : nullptr, p2);
    EXPECT_EQ(DS_OK, r.buf->Unlock(p1, n1, p2, n2));
  }
  LPVOID p1, p2;
  DWORD n1, n2;
  EXPECT_EQ(DSERR_INVALIDPARAM, r.buf->Lock(16384, 4, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(DSERR_INVALIDPARAM, r.buf->Lock(0, 16388, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(DSERR_INVALIDPARAM, r.buf->Unlock(static_cast<uint8_t*>(base) + 16000, 1000, 0, 0))
      << "a span running past the ring's end";
}

TEST(DirectSoundRing, TheDeviceOwnsTheSpanFromPlayToWriteCursorAndPlaysItInOrder) {
  Ring r;
  ASSERT_NE(nullptr, r.buf);
  r.fillWithFrameNumbers();
  vsplat::SoundDeviceHold hold;
  const DWORD chunk = 2048;

  DWORD p, w;
  r.cursors(p, w);
  EXPECT_EQ(0u, p);
  EXPECT_EQ(0u, w) << "a stopped buffer has no span of the device's";

  ASSERT_EQ(DS_OK, r.buf->Play(0, 0, DSBPLAY_LOOPING));
  DWORD status = 0;
  r.buf->GetStatus(&status);
  EXPECT_EQ(static_cast<DWORD>(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING), status);
  r.cursors(p, w);
  EXPECT_EQ(0u, p);
  EXPECT_GT(w, p) << "the write cursor is strictly ahead while playing";
  EXPECT_EQ(0u, w % 4);

  // Pull past the ring's end: the output is the ring in order, wrapping.
  int expected = 0;
  for (int k = 0; k < 10; ++k) {
    std::vector<int16_t> out = hold.pull(chunk);
    ASSERT_EQ(chunk / 2, out.size());
    for (size_t i = 0; i < out.size() / 2; ++i, ++expected) {
      int frame = expected % 4096;
      ASSERT_EQ(frame, out[2 * i]) << "pull " << k;
      ASSERT_EQ(-frame, out[2 * i + 1]) << "pull " << k;
    }
    r.cursors(p, w);
    EXPECT_EQ((k + 1) * chunk % kRing, p);
    EXPECT_EQ((p + chunk) % kRing, w) << "the next pull is claimed";
  }

  // Stop keeps the position; playing again resumes from it.
  ASSERT_EQ(DS_OK, r.buf->Stop());
  std::vector<int16_t> silent = hold.pull(chunk);
  EXPECT_EQ(std::vector<int16_t>(chunk / 2, 0), silent);
  DWORD p2, w2;
  r.cursors(p2, w2);
  EXPECT_EQ(p, p2);
  EXPECT_EQ(p, w2);
  r.buf->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = hold.pull(4);
  EXPECT_EQ(static_cast<int>(p / 4), out[0]);
}

TEST(DirectSoundRing, ANonLoopingBufferStopsAtItsEnd) {
  Ring r(4096);
  ASSERT_NE(nullptr, r.buf);
  r.fillWithFrameNumbers();
  vsplat::SoundDeviceHold hold;
  r.buf->Play(0, 0, 0);
  std::vector<int16_t> out = hold.pull(6000);
  EXPECT_EQ(1023, out[2 * 1023]);
  EXPECT_EQ(0, out[2 * 1024]) << "nothing after the end";
  EXPECT_EQ(0, out[2 * 1499]);
  DWORD status = 1;
  r.buf->GetStatus(&status);
  EXPECT_EQ(0u, status);
}

TEST(DirectSoundRing, TwoDeviceObjectsShareTheOutputAndSaturate) {
  // The language switch opens a second player before the first is gone.
  Ring a, b;
  ASSERT_NE(nullptr, a.buf);
  ASSERT_NE(nullptr, b.buf);
  for (Ring* r : {&a, &b}) {
    LPVOID p1, p2;
    DWORD n1, n2;
    ASSERT_EQ(DS_OK, r->buf->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER));
    int16_t* s = static_cast<int16_t*>(p1);
    for (DWORD i = 0; i < n1 / 2; ++i) s[i] = (i % 2) ? -30000 : 20000;
    r->buf->Unlock(p1, n1, p2, n2);
  }
  vsplat::SoundDeviceHold hold;
  a.buf->Play(0, 0, DSBPLAY_LOOPING);
  b.buf->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = hold.pull(8);
  EXPECT_EQ(32767, out[0]);
  EXPECT_EQ(-32768, out[1]);
  b.buf->Stop();
  out = hold.pull(8);
  EXPECT_EQ(20000, out[0]);
  EXPECT_EQ(-30000, out[1]);
}

TEST(DirectSoundRing, TheDeviceThreadMovesTheCursorsInWholeFrames) {
  Ring r;
  ASSERT_NE(nullptr, r.buf);
  ASSERT_EQ(DS_OK, r.buf->Play(0, 0, DSBPLAY_LOOPING));
  DWORD p0, w0;
  r.cursors(p0, w0);
  DWORD p = p0;
  EXPECT_NE(p0, w0);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int moves = 0;
  while (moves < 3 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    DWORD np, nw;
    r.cursors(np, nw);
    ASSERT_EQ(0u, np % 4);
    ASSERT_EQ(0u, nw % 4);
    ASSERT_NE(np, nw) << "write cursor ahead while playing";
    if (np != p) ++moves;
    p = np;
  }
  EXPECT_EQ(3, moves) << "the SDL device never pulled from the ring";
}

}  // namespace
