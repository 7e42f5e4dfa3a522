// End to end: content that places a looping Ogg tone beside a viewport's
// mike is heard through SDL's disk driver with the gains the mixer gives
// each side for that place, the mike's gain and the sound's volume.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/player_run.h"

namespace {

// A 441 Hz tone of amplitude 0.5 that loops without a seam (441 whole
// periods a second), a mike of gain 2 at the origin looking along +y, and the
// sound at (1, 1, 0) at volume 0.5.
const char kInitLua[] = R"(
function startup()
  local scene = newScene()
  local ear = newMike(scene)
  ear:setGain(2)
  local view = newViewport(0, 0, 1, 0.75)
  view:setMike(ear)
  local tone = newSample("tone.ogg")
  local s = newSound(scene, tone)
  s:setPosition(v3(1, 1, 0))
  s:setVolume(0.5)
  s:setLooping(true)
  io.write("tone playing")
end
)";

// The mixer's side gains for that place, as it computes them.
void expectedGains(double* left, double* right) {
  const double d2 = 2.0, gain = 2.0, volume = 0.5;
  const double att = 1 + 0.10000000149011612 * d2;
  const double p = 1.0 / std::sqrt(2.0);
  const float g = static_cast<float>(gain / att);
  auto side = [&](double q) {
    float s = static_cast<float>(0.5 * q) * g;
    s = s < 0 ? 0 : (s > 1 ? 1 : s);
    return static_cast<double>(static_cast<float>(s * volume));
  };
  *left = side(1 - p);
  *right = side(1 + p);
}

TEST(SoundEndToEnd, APlacedLoopingOggToneIsHeardWithTheMixersGainsPerSide) {
  const std::string bin = VS_BINARY_DIR;
  const e2e::fs::path toneFile = e2e::fs::path(VS_BINARY_DIR) / "e2e_sound_tone.ogg";
  ASSERT_EQ(testproc::run({bin + "/oggtone", toneFile, "44100", "1", "1", "441", "0.5"}), 0);
  e2e::PlayerRun r("sound", {{"init.lua", kInitLua}, {"tone.ogg", e2e::slurp(toneFile)}});
  e2e::fs::remove(toneFile);
  ASSERT_TRUE(r.embedded);
  // Two seconds of sound after the start (176400 bytes each), heard at the
  // pace of SDL's disk driver.
  r.drive(std::string("start_player SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw\n") + e2e::kAwaitWindow +
          "await 20 logged playing; heard=$(stat -c %s out.raw)\n"
          "await 30 bigger out.raw $((heard + 2 * 176400))\n"
          "kill $pid; wait $pid\n");
  const std::string log = r.file("log");
  ASSERT_NE(log.find("playing"), std::string::npos) << log;

  const std::string raw = r.file("out.raw");
  std::vector<int16_t> pcm(raw.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  const size_t frames = pcm.size() / 2;
  size_t start = 0;
  while (start < frames && pcm[2 * start] == 0 && pcm[2 * start + 1] == 0) ++start;
  // Past the start-up, one second of whole periods; the last ring's worth may
  // be what the device took after the last fill, so it stays out.
  start += 4410;
  ASSERT_GT(frames, start + 44100 + 4096) << "captured " << frames << " frames, sound from " << start;
  double sumL = 0, sumR = 0;
  for (size_t i = start; i < start + 44100; ++i) {
    sumL += double(pcm[2 * i]) * pcm[2 * i];
    sumR += double(pcm[2 * i + 1]) * pcm[2 * i + 1];
  }
  const double rmsL = std::sqrt(sumL / 44100), rmsR = std::sqrt(sumR / 44100);
  double left = 0, right = 0;
  expectedGains(&left, &right);
  // A sine of amplitude 0.5 has an RMS of 0.5 / sqrt(2); Vorbis keeps a pure
  // tone's level within a few tenths of a percent.
  const double tone = 0.5 / std::sqrt(2.0) * 32767;
  EXPECT_NEAR(rmsL, tone * left, tone * left * 0.02) << "left";
  EXPECT_NEAR(rmsR, tone * right, tone * right * 0.02) << "right";
  // Both sides carry the same decoded samples: their ratio is the gains'.
  EXPECT_NEAR(rmsL / rmsR, left / right, 0.005);
  EXPECT_EQ(right, 0.5f);  // the right side is held at 1 before the volume
}

}  // namespace
