// The DirectSound output: construction failures, and refilling the ring up
// to the play cursor, with the device stepped by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/viewport.h"
#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "platform/dsound_testing.h"
#include "view/sound_win32.h"

namespace {

HWND fakeWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4321)); }

const int32_t kChunk = 2048;  // bytes per test pull
const int32_t kRing = VIEW_SoundWin32::kRingBytes;

// Fails unless the output opened; every ring test needs the device.
#define REQUIRE_OUTPUT(out) ASSERT_TRUE((out).hasBuffer()) << "no SDL audio device"

TEST(SoundOutput, AnyFailedStepLeavesASilentOutput) {
  const char* steps[] = {"DirectSoundCreate", "GetCaps",   "SetCooperativeLevel",
                         "CreatePrimary",     "SetFormat", "GetFormat",
                         "CreateSecondary",   "Lock",      "Play"};
  PtrArray<Viewport> none;
  for (const char* step : steps) {
    {
      vsplat::SoundDeviceFault fault(step);
      VIEW_SoundWin32 out(fakeWindow());
      EXPECT_FALSE(out.hasBuffer()) << step;
      EXPECT_EQ(2147483647, out.update(none)) << step;
      out.pause();
      out.resume();
      EXPECT_EQ(2147483647, out.update(none)) << step;
      EXPECT_EQ(44100, out.getSampleRate());
    }
    EXPECT_FALSE(vsplat::soundDeviceOpen()) << "device left open after " << step;
  }
  VIEW_SoundWin32 noWindow(nullptr);
  EXPECT_FALSE(noWindow.hasBuffer());
  EXPECT_EQ(2147483647, noWindow.update(none));
}

TEST(SoundOutput, WithoutAnAudioDriverTheOutputIsSilent) {
  const char* before = std::getenv("SDL_AUDIODRIVER");
  const std::string saved = before ? before : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  bool opened;
  int32_t frames;
  {
    VIEW_SoundWin32 out(fakeWindow());
    PtrArray<Viewport> none;
    opened = out.hasBuffer();
    frames = out.update(none);
  }
  if (before)
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
  EXPECT_FALSE(opened);
  EXPECT_EQ(2147483647, frames);
}

// One looping ramp sound at +X of one listener: everything on the right
// channel, frame k of the sound giving a known value.
class Ring : public ::testing::Test {
 protected:
  Scene scene;
  SoundRecord ramp;
  Viewport viewport;
  PtrArray<Viewport> viewports;
  MDL_Sound* sound = nullptr;
  vsplat::SoundDeviceHold hold;  // before the output: the device stays put
  std::unique_ptr<VIEW_SoundWin32> out;

  void SetUp() override {
    ramp.sampleRate = 44100;
    ASSERT_TRUE(ramp.channels.setSize(1));
    ASSERT_TRUE(ramp.channels[0].resize(30000));
    for (int32_t i = 0; i < 30000; ++i) ramp.channels[0][i] = value(i);
    sound = new MDL_Sound();
    sound->sample = &ramp;
    sound->looping = true;
    sound->editWorld().position = Vec3(1e-3, 0, 0);
    ASSERT_TRUE(scene.registerObject(sound));
    MDL_Mike* mike = new MDL_Mike();
    ASSERT_TRUE(scene.registerObject(mike));
    viewport.mike = mike;
    viewports.append(&viewport);
    out = std::make_unique<VIEW_SoundWin32>(fakeWindow());
  }
  void TearDown() override {
    out.reset();
    viewport.mike = nullptr;
  }

  static float value(int32_t frame) { return static_cast<float>(1 + frame % 20000) / 20001.0f; }
  // What the right channel holds for sound frame k.
  static int16_t expected(int32_t frame) {
    float gain = static_cast<float>(1.0 / (1.0 + 0.10000000149011612 * 1e-6));
    return static_cast<int16_t>(value(frame) * gain * 32767.0f);
  }

  // The pump: what the controller does with the answer.
  int32_t pump() {
    int32_t frames = out->update(viewports);
    sound->position += frames;
    return frames;
  }
};

TEST_F(Ring, NothingIsMixedUntilTheDeviceMoves) {
  REQUIRE_OUTPUT(*out);
  EXPECT_EQ(0, pump()) << "the play cursor is still at the write offset";
  EXPECT_EQ(0, out->writeOffset());
  EXPECT_EQ(0, sound->position);
  hold.pull(kChunk);
  EXPECT_EQ(kChunk / 4, pump());
  EXPECT_EQ(kChunk, out->writeOffset());
  EXPECT_EQ(0, pump()) << "a second fill without device progress mixes nothing";
  EXPECT_EQ(kChunk, out->writeOffset());
}

TEST_F(Ring, TheStreamIsTheSoundInOrderAndAFillEndingAtTheRingEndWrapsToZero) {
  REQUIRE_OUTPUT(*out);
  // Eight pulls bring the play cursor back to 0: the last fill ends at the
  // ring's end exactly.
  for (int k = 0; k < kRing / kChunk; ++k) {
    hold.pull(kChunk);
    ASSERT_EQ(kChunk / 4, pump());
  }
  EXPECT_EQ(0, out->writeOffset());
  // The first lap was the silence of construction; the second plays the
  // sound from its first frame on, with no gap at the ring's end.
  int32_t frame = 0;
  for (int k = 0; k < 2 * kRing / kChunk; ++k) {
    std::vector<int16_t> heard = hold.pull(kChunk);
    for (size_t i = 0; i < heard.size() / 2; ++i, ++frame) {
      ASSERT_EQ(0, heard[2 * i]) << "left of a sound on +X";
      ASSERT_EQ(expected(frame), heard[2 * i + 1]) << "frame " << frame;
    }
    ASSERT_EQ(kChunk / 4, pump());
  }
}

TEST_F(Ring, AnOvertakenWriteOffsetContinuesAtTheWriteCursor) {
  REQUIRE_OUTPUT(*out);
  hold.pull(kChunk);
  ASSERT_EQ(kChunk / 4, pump());  // offset 2048
  // A long stall: the device runs almost a whole lap, its claimed span
  // covering the offset (play 1024, write 3072).
  hold.pull(13312);
  hold.pull(kChunk);
  const int32_t before = sound->position;
  EXPECT_EQ((kRing - kChunk) / 4, pump()) << "from the write cursor up to the play cursor";
  EXPECT_EQ(1024, out->writeOffset());
  hold.pull(kChunk);  // plays [1024, 3072): the device's own span
  // Then the whole fill, [3072, 16384) and on past the ring's end to 1024,
  // as one run of the sound.
  std::vector<int16_t> heard = hold.pull(kRing - kChunk);
  for (size_t i = 0; i < heard.size() / 2; ++i)
    ASSERT_EQ(expected(before + static_cast<int32_t>(i)), heard[2 * i + 1]) << "frame " << i;
}

TEST_F(Ring, CursorsInsideAFrameAreRoundedDown) {
  REQUIRE_OUTPUT(*out);
  hold.pull(kChunk);
  {
    vsplat::SoundDeviceFault skew("GetCurrentPosition", 2);
    EXPECT_EQ(kChunk / 4, pump());
    EXPECT_EQ(kChunk, out->writeOffset());
  }
  for (int k = 0; k < kRing / kChunk - 1; ++k) {
    hold.pull(kChunk);
    pump();
  }
  std::vector<int16_t> heard = hold.pull(kChunk);  // the first fill, a lap later
  for (size_t i = 0; i < heard.size() / 2; ++i) {
    ASSERT_EQ(0, heard[2 * i]) << "channels swapped at frame " << i;
    ASSERT_EQ(expected(static_cast<int32_t>(i)), heard[2 * i + 1]) << "frame " << i;
  }
}

TEST_F(Ring, AFailedReadOrLockMixesNothing) {
  REQUIRE_OUTPUT(*out);
  hold.pull(kChunk);
  for (const char* call : {"GetCurrentPosition", "Lock"}) {
    vsplat::SoundDeviceFault fault(call);
    EXPECT_EQ(0, pump()) << call;
    EXPECT_EQ(0, out->writeOffset()) << call;
  }
  EXPECT_EQ(kChunk / 4, pump());
}

TEST_F(Ring, PauseHoldsThePositionAndResumeContinues) {
  REQUIRE_OUTPUT(*out);
  hold.pull(kChunk);
  ASSERT_EQ(kChunk / 4, pump());
  out->pause();
  EXPECT_EQ(std::vector<int16_t>(kChunk / 2, 0), hold.pull(kChunk)) << "a paused ring is not played";
  EXPECT_EQ(0, pump());
  out->resume();
  hold.pull(kChunk);
  EXPECT_EQ(kChunk / 4, pump());
  EXPECT_EQ(2 * kChunk, out->writeOffset());
}

}  // namespace
