// The real player binary carrying a test package, run under an X server of
// its own and observed from outside: its files, its exit status, screenshots.
//
// A driver is a bash script run in the run's folder. Its lines never sleep
// and hope: they wait for what they need (a log line, a window, a picture)
// with the helpers of kDriverHelpers, each with a ceiling, after which the
// test's own checks report what is missing.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_package.h"
#include "support/test_process.h"

namespace e2e {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A shell command line; paths in it need quoting (testproc::run needs none).
inline int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file of the demo's content, to build test packages from.
inline std::string demoFile(const std::string& name) { return slurp(fs::path(VS_SOURCE_DIR) / "content/demo" / name); }

// Whether a private X server can be started and driven with xdotool, and
// screenshots taken.
inline bool canDriveX() {
  return run("command -v xdotool >/dev/null && command -v Xvfb >/dev/null && command -v import >/dev/null") == 0;
}

// Driver lines that wait, up to about twenty seconds, until the log holds text.
inline std::string waitForLog(const std::string& text) {
  return "for i in $(seq 100); do grep -qF -- '" + text + "' log 2>/dev/null && break; sleep 0.2; done\n";
}

// Driver lines that wait, up to about twenty seconds, for the player's window
// and write its id to "wid". A search that meets a window going away dies of
// an X error, so it is simply tried again.
inline const char kAwaitWindow[] =
    "for i in $(seq 100); do xdotool search --class vKorplayer >wid 2>/dev/null && [ -s wid ] && break; "
    "sleep 0.2; done\n"
    "[ -s wid ] || exit 1\n";

// Driver lines that find the player's window: $w, with $WIDTH and $HEIGHT.
// The content takes the window's shape at the start, so a full-width
// viewport of aspect 0.75 maps window pixel (px, py) to (px, py) / WIDTH.
inline const char kFindWindow[] =
    "w=$(xdotool search --pid $pid | tail -1); eval $(xdotool getwindowgeometry --shell $w)\n";

// Shell functions every driver run by PlayerRun may use.
inline const char kDriverHelpers[] = R"sh(
# await SECONDS COMMAND...: runs COMMAND until it succeeds; false when it has
# not within about SECONDS (counted in tries, so a slow machine gets longer).
await() {
  local tries=$(($1 * 20)); shift
  until "$@"; do tries=$((tries - 1)); [ $tries -gt 0 ] || return 1; sleep 0.05; done
}
# logged TEXT [N]: the log holds TEXT on at least N lines (1).
logged() { [ "$(grep -cF -- "$1" log 2>/dev/null)" -ge "${2:-1}" ]; }
# logged_after FIRST THEN: a line holding THEN comes after the last holding FIRST.
logged_after() {
  awk -v a="$1" -v b="$2" 'index($0, a) { f = NR } index($0, b) { t = NR } END { exit !(f && t > f) }' log
}
# start_player [NAME=value...]: runs ./player, by default without sound, its
# standard output in "out" and its log in "log"; $pid is its process.
start_player() {
  env SDL_AUDIODRIVER=dummy "$@" ./player >out 2>log &
  pid=$!
  trap 'kill $pid 2>/dev/null' EXIT  # a driver that gives up leaves no player behind
}
ended() { ! kill -0 $pid 2>/dev/null; }
# stop_player: gives the player fifteen seconds to end, then ends it; its
# exit status goes to "status".
stop_player() { await 15 ended || kill $pid 2>/dev/null; wait $pid; echo $? >status; }
# windows_of_player: the player's visible windows, one id a line.
windows_of_player() { xdotool search --onlyvisible --pid $pid 2>/dev/null; }
# popups N: the player shows N menu popups.
popups() {
  local n=0 w
  for w in $(windows_of_player); do
    xprop -id $w _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q POPUP_MENU && n=$((n + 1))
  done
  [ $n -eq $1 ]
}
# window_named TITLE: the player shows a window of that title.
window_named() {
  local w
  for w in $(windows_of_player); do [ "$(xdotool getwindowname $w 2>/dev/null)" = "$1" ] && return 0; done
  return 1
}
no_window_named() { ! window_named "$1"; }
# focus_named TITLE: the keyboard focus is in a window of that title.
focus_named() { [ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" = "$1" ]; }
# width_is N: the player's window (wid) is N pixels wide; its xwininfo in "geometry".
width_is() { xwininfo -id "$(head -1 wid)" >geometry 2>/dev/null && grep -q "Width: $1\$" geometry; }
# shows X Y R,G,B [FILE]: a screenshot of the player's window, in FILE
# (shot.png), has exactly that colour at (X, Y).
shows() {
  import -window "$(head -1 wid)" "${4:-shot.png}" 2>/dev/null &&
    [ "$(convert "${4:-shot.png}" -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' \
         -crop 1x1+$1+$2 info: 2>/dev/null)" = "$3" ]
}
# shows_near X Y R,G,B TOLERANCE [FILE]: as shows, each channel within TOLERANCE.
shows_near() {
  import -window "$(head -1 wid)" "${5:-shot.png}" 2>/dev/null &&
    convert "${5:-shot.png}" -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' \
      -crop 1x1+$1+$2 info: 2>/dev/null |
    awk -v want="$3" -v t="$4" 'BEGIN { split(want, w, ",") }
      { for (i = 1; i <= 3; i++) if ($i - w[i] > t || w[i] - $i > t) exit 1; ok = 1 } END { exit !ok }'
}
# bigger FILE BYTES: FILE holds more than BYTES bytes.
bigger() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$2" ]; }
)sh";

// An X server of its own display number (Xvfb picks a free one itself, so
// players of tests that run at the same time never meet). Gone with the object.
class PrivateDisplay {
 public:
  PrivateDisplay(const fs::path& logFile, const std::string& screen, const std::vector<std::string>& options = {}) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // Kept off 3, the number the server writes its display number to.
    const int writeEnd = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    close(fds[1]);
    testproc::Options o;
    o.out = o.err = logFile;
    o.fds = {{writeEnd, 3}};
    // -noreset: a server that resets when its last client goes drops the
    // connections that meet the reset, and driver tools come and go.
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "3", "-noreset", "-screen", "0", screen, "-nolisten", "tcp"};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = testproc::start(argv, o);
    close(writeEnd);
    std::string number;
    char c = 0;
    pollfd p = {fds[0], POLLIN, 0};
    // The server answers once it takes clients; a minute covers a busy machine.
    while (pid_ > 0 && poll(&p, 1, 60000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (c == '\n' && !number.empty()) name_ = ":" + number;
  }
  ~PrivateDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    testproc::finish(pid_);
  }
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;
  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// A player carrying the test package, and a folder for what the run leaves.
struct PlayerRun {
  explicit PlayerRun(const std::string& name, const char* initLua)
      : PlayerRun(name, std::map<std::string, std::string>{{"init.lua", initLua}}) {}
  // A package of these members and an accepted config.xml.
  PlayerRun(const std::string& name, std::map<std::string, std::string> members)
      : dir(fs::path(VS_BINARY_DIR) / ("e2e_" + name)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    members.emplace("config.xml", testpkg::kConfigXml);
    std::vector<uint8_t> pkg = testpkg::makePackage(members);
    std::ofstream(dir / "test.pkg", std::ios::binary).write((const char*)pkg.data(), (std::streamsize)pkg.size());
    embedded = testproc::run({std::string(VS_BINARY_DIR) + "/vpack", "embed", std::string(VS_BINARY_DIR) + "/vostrelle",
                              dir / "test.pkg", dir / "player"}) == 0;
  }
  // Runs the driver's lines (kDriverHelpers defined) in the run's folder
  // under an X server of its own; answers their exit status.
  int drive(const std::string& lines, const std::string& screen = "1280x1024x24") const {
    std::ofstream(dir / "driver.sh") << kDriverHelpers << lines << "\n";
    PrivateDisplay display(dir / "xvfb.log", screen, serverOptions);
    if (display.name().empty()) {
      ADD_FAILURE() << "no X server for the player: " << slurp(dir / "xvfb.log");
      return -1;
    }
    testproc::Options o;
    o.cwd = dir;
    o.set = {"DISPLAY=" + display.name()};
    o.unset = {"XAUTHORITY"};
    return testproc::run({"bash", "driver.sh"}, o);
  }
  // Starts the player (environment playerEnv), waits for its window and for
  // the log to hold `ready`, runs the driver's commands, then gives the
  // player fifteen seconds to end; its exit status lands in "status".
  void play(const std::string& driver) {
    std::string lines = "start_player " + playerEnv + "\n" + kAwaitWindow;
    if (!ready.empty()) lines += "await 20 logged '" + ready + "'\n";
    drive(lines + driver + "\nstop_player\n");
  }
  std::string file(const char* name) const { return slurp(dir / name); }
  // The colour of one screenshot pixel as "r,g,b".
  std::string pixel(const char* shot, int x, int y) const {
    return testproc::output({"convert", dir / shot, "-format",
                             "%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]", "-crop",
                             "1x1+" + std::to_string(x) + "+" + std::to_string(y), "info:"});
  }
  fs::path dir;
  bool embedded = false;
  // What play() waits for in the log before the driver's commands: by
  // default the end of a content start that worked.
  std::string ready = " loaded in ";
  // The player's environment in play() ("NAME=value ..."), besides its display.
  std::string playerEnv;
  // More options for the X server, e.g. {"-extension", "GLX"} for one without OpenGL.
  std::vector<std::string> serverOptions;
};

// Lua for the end of a startup function: logs "e2e frame N" in each of the
// first three updates, so a driver that has seen "e2e frame 3" knows at
// least two frames of the started content have been drawn.
inline const char kLogFramesLua[] =
    "  local e2eFrames = 0\n"
    "  setCallback(CB_UPDATE, function()\n"
    "    e2eFrames = e2eFrames + 1\n"
    "    if e2eFrames <= 3 then io.write('e2e frame ' .. e2eFrames .. '\\n') end\n"
    "  end)\n";

// Driver lines that wait until the content has drawn frames (kLogFramesLua).
inline std::string waitForFrames() { return "await 20 logged 'e2e frame 3'\n"; }

// Expects one screenshot pixel within `tolerance` of a colour on each channel.
inline void expectPixelNear(const PlayerRun& r, int x, int y, int red, int green, int blue, int tolerance,
                            const char* what) {
  int got[3] = {-1, -1, -1};
  std::sscanf(r.pixel("shot.png", x, y).c_str(), "%d,%d,%d", &got[0], &got[1], &got[2]);
  EXPECT_NEAR(got[0], red, tolerance) << what;
  EXPECT_NEAR(got[1], green, tolerance) << what;
  EXPECT_NEAR(got[2], blue, tolerance) << what;
}

// Where a point of the floor z = 0 shows in the 1024 x 768 window, seen by a
// camera of 50 degrees standing 10 above the origin and looking down.
inline void floorPixel(double x, double y, int* px, int* py) {
  const double perUnit = 512 / (10 * std::tan(25 * 3.141592653589793 / 180));
  *px = static_cast<int>(512 + x * perUnit);
  *py = static_cast<int>(384 - y * perUnit);
}

}  // namespace e2e
