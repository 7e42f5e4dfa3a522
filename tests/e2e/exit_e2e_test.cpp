// Content that ends the process itself (os.exit) while the sound output
// mixes on SDL's audio thread: every run ends with the status it asked for,
// never a crash in the middle of the exit.
#include <gtest/gtest.h>

#include <string>

#include "e2e/player_run.h"

namespace {

const char kExitingLua[] =
    "local frames = 0\n"
    "function startup() end\n"
    "setCallback(CB_UPDATE, function()\n"
    "  frames = frames + 1\n"
    "  if frames == 3 then os.exit(3) end\n"
    "end)\n";

}  // namespace

TEST(PlayerExit, OsExitWhileSoundMixesEndsWithItsStatusEveryTime) {
  e2e::PlayerRun r("os_exit", kExitingLua);
  ASSERT_TRUE(r.embedded);
  const int runs = 30;
  r.drive("for i in $(seq " + std::to_string(runs) +
              "); do\n"
              "  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIODELAY=1 "
              "timeout 8 ./player >/dev/null 2>>log; echo $? >>statuses\n"
              "done\n",
          "1024x768x24");
  std::string expected;
  for (int i = 0; i < runs; ++i) expected += "3\n";
  EXPECT_EQ(r.file("statuses"), expected) << r.file("log").substr(0, 2000);
}
