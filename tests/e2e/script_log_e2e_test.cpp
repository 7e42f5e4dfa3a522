// End to end: what the content's init.lua writes with io.write, and why its
// start failed, show in the real player's debug log (its standard error).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int run(const std::string& command) { return std::system(command.c_str()); }

// Packs init.lua into a player of its own, runs it until the log holds
// `until` (or a few seconds pass), and answers the log.
std::string playInit(const std::string& tag, const std::string& init, const std::string& until) {
  const std::string dir = std::string(VS_BINARY_DIR) + "/e2e_script_log_" + tag + "_" + std::to_string(getpid());
  const std::string bin = VS_BINARY_DIR;
  if (run("rm -rf '" + dir + "' && mkdir -p '" + dir + "/content'") != 0) return "(no directory)";
  std::ofstream(dir + "/content/config.xml") << "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n";
  std::ofstream(dir + "/content/init.lua") << init;
  if (run("cd '" + dir + "' && '" + bin + "/vpack' pack content test.pkg >/dev/null && '" + bin + "/vpack' embed '" +
          bin + "/vostrelle' test.pkg player >/dev/null") != 0)
    return "(packing failed)";
  if (run("cd '" + dir + "' && (SDL_AUDIODRIVER=dummy ./player 2> log.txt & echo $! > pid)") != 0) return "(no player)";
  std::string log;
  for (int i = 0; i < 50 && log.find(until) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    log = fileText(dir + "/log.txt");
  }
  std::string pid = fileText(dir + "/pid");
  pid = pid.substr(0, pid.find('\n'));
  if (!pid.empty()) run("kill " + pid + " 2>/dev/null; sleep 0.2; kill -9 " + pid + " 2>/dev/null");
  log = fileText(dir + "/log.txt");
  run("rm -rf '" + dir + "'");
  return log;
}

bool canRun() { return std::getenv("DISPLAY") != nullptr; }

TEST(ScriptLog, IoWriteDuringTheStartReachesTheLog) {
  if (!canRun()) GTEST_SKIP() << "needs X";
  std::string log = playInit(
      "write", "io.write('hello from init', 42)\nfunction startup() io.stderr:write('started') end\n", "loaded in");
  EXPECT_NE(log.find("hello from init\n42\n"), std::string::npos) << log;
  EXPECT_NE(log.find("started\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" loaded in "), std::string::npos) << log;
}

TEST(ScriptLog, AFailedStartLogsItsReasonAndNoLoadTime) {
  if (!canRun()) GTEST_SKIP() << "needs X";
  std::string log = playInit("error", "x = 1\nfunction startup() end end\n", "init.lua:");
  EXPECT_NE(log.find("init.lua:2:"), std::string::npos) << log;
  EXPECT_EQ(log.find("loaded in"), std::string::npos) << log;
}

}  // namespace
