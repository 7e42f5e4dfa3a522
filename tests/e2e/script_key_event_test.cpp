// End to end: a key sent to the real player's window with xdotool reaches
// the content script's CB_EVENT callback as (EVENT_KEY_DOWN, code, 0).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int sh(const std::string& command) { return std::system(command.c_str()); }

TEST(ScriptEvents, KeyFromTheWindowReachesTheScript) {
  if (!std::getenv("DISPLAY") || sh("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "needs X and xdotool";
  const std::string dir = std::string(VS_BINARY_DIR) + "/e2e_script_key_" + std::to_string(getpid());
  ASSERT_EQ(sh("rm -rf '" + dir + "' && mkdir -p '" + dir + "/content'"), 0);
  std::ofstream(dir + "/content/config.xml") << "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n";
  std::ofstream(dir + "/content/init.lua") << R"(
function startup()
  io.write("script ready\n")
  setCallback(CB_EVENT, function(kind, code, extra)
    io.write(string.format("event %d %d %s\n", kind, code, tostring(extra)))
    return false
  end)
end
)";
  const std::string bin = VS_BINARY_DIR;
  ASSERT_EQ(sh("cd '" + dir + "' && '" + bin + "/vpack' pack content test.pkg >/dev/null && '" + bin +
               "/vpack' embed '" + bin + "/vostrelle' test.pkg player >/dev/null"),
            0);
  ASSERT_EQ(sh("cd '" + dir + "' && (SDL_AUDIODRIVER=dummy ./player 2> log.txt & echo $! > pid)"), 0);
  const std::string pid = readAll(dir + "/pid").substr(0, readAll(dir + "/pid").find('\n'));
  ASSERT_FALSE(pid.empty());
  // The player's own window, found by its process (other tests may have windows open).
  // Another test's window closing while xdotool walks the tree is an X error
  // for the whole search: ask again until the window is found.
  ASSERT_EQ(sh("cd '" + dir + "' && for i in $(seq 40); do xdotool search --pid " + pid +
               " > wid 2>/dev/null && [ -s wid ] && exit 0; sleep 0.5; done; exit 1"),
            0);
  const std::string wid = readAll(dir + "/wid").substr(0, readAll(dir + "/wid").find('\n'));

  bool seen = false;
  for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
    if (readAll(dir + "/log.txt").find("script ready") != std::string::npos) {
      sh("timeout 5 xdotool windowfocus --sync " + wid + " >/dev/null 2>&1; xdotool key a");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    seen = readAll(dir + "/log.txt").find("event 1 65 0") != std::string::npos;
  }
  sh("kill " + pid + " 2>/dev/null; sleep 0.2; kill -9 " + pid + " 2>/dev/null");
  std::string log = readAll(dir + "/log.txt");
  EXPECT_TRUE(seen) << log;
  EXPECT_NE(log.find("script ready"), std::string::npos) << log;
  sh("rm -rf '" + dir + "'");
}

}  // namespace
