// End to end: content that places a looping Ogg tone beside a viewport's
// mike is heard through SDL's disk driver with the gains the mixer gives
// each side for that place, the mike's gain and the sound's volume.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_package.h"

namespace fs = std::filesystem;

namespace {

int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  const fs::path dir = fs::path(VS_BINARY_DIR) / "e2e_sound";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = VS_BINARY_DIR;
  ASSERT_EQ(run("'" + bin + "/oggtone' '" + (dir / "tone.ogg").string() + "' 44100 1 1 441 0.5"), 0);
  std::vector<uint8_t> pkg = testpkg::makePackage(
      {{"config.xml", testpkg::kConfigXml}, {"init.lua", kInitLua}, {"tone.ogg", slurp(dir / "tone.ogg")}});
  std::ofstream(dir / "test.pkg", std::ios::binary).write((const char*)pkg.data(), (std::streamsize)pkg.size());
  ASSERT_EQ(run("'" + bin + "/vpack' embed '" + bin + "/vostrelle' '" + (dir / "test.pkg").string() + "' '" +
                (dir / "player").string() + "'"),
            0);
  std::ofstream(dir / "driver.sh")
      << "cd '" << dir.string() << "'\n"
      << "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw ./player 2>log & pid=$!\n"
      << "for i in $(seq 100); do grep -q playing log 2>/dev/null && break; sleep 0.1; done\n"
      << "sleep 3\n"
      << "kill $pid; wait $pid\n";
  run("cd '" + dir.string() + "' && env -u DISPLAY xvfb-run -a bash driver.sh");
  const std::string log = slurp(dir / "log");
  ASSERT_NE(log.find("playing"), std::string::npos) << log;

  const std::string raw = slurp(dir / "out.raw");
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
