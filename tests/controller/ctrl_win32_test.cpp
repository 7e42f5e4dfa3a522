// The Windows controller on a hidden window: message handling, the frame
// timer, fullscreen, raw-input devices and the platform operations.
#include "controller/win32/ctrl_win32.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "controller/event.h"
#include "controller/script_engine.h"
#include "null_engine.h"
#include "platform/testing.h"
#include "program/main_window.h"
#include "view/sound.h"
#include "view/view_generic.h"

namespace {

// An engine that records the events it is offered and can consume some.
class EventEngine : public ctrltest::NullEngine {
 public:
  bool onEvent(const Event& e) override {
    events.push_back(e);
    if (e.type == EVENT_DEVICE && e.data) reports.emplace_back(e.data, e.data + e.length);
    return e.type == consume;
  }
  bool start() override { return true; }

  int32_t consume = 0;  // an event type the scripts handle
  std::vector<Event> events;
  std::vector<std::vector<uint8_t>> reports;
  int count(int32_t type) const {
    int n = 0;
    for (const Event& e : events) n += e.type == type;
    return n;
  }
};

class CountingView : public VIEW_Generic {
 public:
  void beginFrame(HDC, bool) override { ++frames; }
  int frames = 0;
};

class FakeSound : public VIEW_Sound {
 public:
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>&) override { return 0; }
  void pause() override { log += "p"; }
  void resume() override { log += "r"; }
  std::string log;
};

// A main window with its controller, engine, renderer and sound replaced by
// recording fakes. The window procedure is the program's own.
struct Shell {
  Shell() {
    vsplat::setOffscreen(true);
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWndProc;
    wc.lpszMenuName = MAKEINTRESOURCEA(104);
    wc.lpszClassName = "vKorplayer";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, "vKorplayer", nullptr, WS_OVERLAPPEDWINDOW, 40, 50, 640, 480, nullptr, nullptr, nullptr,
                             nullptr);
    // Without the window the test stops, failed: its messages would wait forever.
    if (!window) throw std::runtime_error(std::string("no test window: ") + SDL_GetError());
    engine = new EventEngine;
    view = new CountingView;
    sound = new FakeSound;
    ctrl = new CTRL_Win32(std::unique_ptr<CTRL_ScriptEngine>(engine), window, std::unique_ptr<VIEW_Generic>(view),
                          std::unique_ptr<VIEW_Sound>(sound));
  }
  ~Shell() {
    if (IsWindow(window)) DestroyWindow(window);
  }
  LRESULT send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageA(window, msg, wParam, lParam); }
  int queued(UINT msg) {
    MSG m;
    int n = 0;
    while (PeekMessageA(&m, window, msg, msg, PM_REMOVE)) ++n;
    return n;
  }
  HWND window;
  EventEngine* engine;
  CTRL_Win32* ctrl;
  CountingView* view;
  FakeSound* sound;
};

LPARAM point(int x, int y) { return MAKELPARAM((WORD)(int16_t)x, (WORD)(int16_t)y); }

}  // namespace

TEST(CtrlWin32, ConstructionTakesTheWindow) {
  Shell s;
  EXPECT_EQ(GetWindowLongPtrA(s.window, GWLP_USERDATA), (LONG_PTR)s.ctrl);
  char title[64];
  GetWindowTextA(s.window, title, sizeof title);
  EXPECT_STREQ(title, "TrellismoPlayer");
}

TEST(CtrlWin32, ABurstOfTimerTicksRunsOneFrame) {
  Shell s;
  for (int i = 0; i < 5; ++i) PostMessageA(s.window, WM_TIMER, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, s.window, WM_TIMER, WM_TIMER, PM_REMOVE));
  ASSERT_FALSE(s.ctrl->clock.timerRunning);
  DispatchMessageA(&m);
  EXPECT_EQ(s.view->frames, 1);
  EXPECT_EQ(s.queued(WM_TIMER), 0);
  EXPECT_TRUE(s.ctrl->clock.timerRunning);  // the next frame measures its time
}

// A frame of W ms of work, on a clock that the frames themselves move: the
// next frame starts as soon as the timer's next tick is due, so a slow frame
// costs only its own time.
TEST(CtrlWin32, ASlowFrameIsFollowedAtOnceByTheNext) {
  uint64_t now = 1000;
  vsplat::setTestClock([&now] { return now; });
  Shell s;
  struct WorkingView : public VIEW_Generic {
    explicit WorkingView(uint64_t* clock) : clock(clock) {}
    void beginFrame(HDC, bool) override {
      ++frames;
      *clock += work;
    }
    uint64_t* clock;
    uint64_t work = 0;
    int frames = 0;
  };
  auto* view = new WorkingView(&now);
  s.ctrl->setRenderer(std::unique_ptr<VIEW_Generic>(view));
  for (uint64_t work : {20, 27, 40}) {
    SCOPED_TRACE(work);
    view->work = work;
    view->frames = 0;
    s.send(WM_ACTIVATE, WA_ACTIVE, 0);  // (re)starts the timer
    const uint64_t end = now + 2000;
    MSG m;
    while (now < end) {
      if (PeekMessageA(&m, s.window, WM_TIMER, WM_TIMER, PM_REMOVE))
        DispatchMessageA(&m);
      else
        ++now;
    }
    EXPECT_NEAR(view->frames, 2000.0 / work, 1.5);
  }
}

TEST(CtrlWin32, ABurstOfMovesIsOneMoveToTheLastPositionNegativeOnesIncluded) {
  Shell s;
  PostMessageA(s.window, WM_MOUSEMOVE, 0, point(20, 30));
  PostMessageA(s.window, WM_MOUSEMOVE, 0, point(-5, -7));  // during capture
  PostMessageA(s.window, WM_KEYDOWN, 'A', 0);
  s.send(WM_MOUSEMOVE, 0, point(10, 10));
  EXPECT_EQ(s.ctrl->mouse.windowMouse[0], -5);
  EXPECT_EQ(s.ctrl->mouse.windowMouse[1], -7);
  EXPECT_EQ(s.queued(WM_MOUSEMOVE), 0);
  EXPECT_EQ(s.queued(WM_KEYDOWN), 1);  // other messages stay queued
  s.send(WM_LBUTTONDOWN, 0, point(-300, 40000 - 65536));
  EXPECT_EQ(GetCapture(), s.window);
  EXPECT_TRUE(s.ctrl->mouse.leftButton);
  EXPECT_EQ(s.ctrl->mouse.pressPosition[0], -300);
  EXPECT_EQ(s.ctrl->mouse.pressPosition[1], 40000 - 65536);
  s.send(WM_LBUTTONUP, 0, point(1, 1));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(s.ctrl->mouse.leftButton);
}

TEST(CtrlWin32, SizingKeepsTheMinimumClientSizeAndTheOppositeEdge) {
  Shell s;
  RECT outer, client;
  GetWindowRect(s.window, &outer);
  GetClientRect(s.window, &client);
  const LONG fw = (outer.right - outer.left) - client.right, fh = (outer.bottom - outer.top) - client.bottom;
  // The height minimum is 187.5: the window height is floor(frame + 187.5 + 0.5).
  const LONG minW = fw + 250, minH = (LONG)std::floor(fh + 187.5 + 0.5);
  struct Case {
    WPARAM edge;
    RECT proposed;
    RECT expected;
  } cases[] = {
      {WMSZ_LEFT, {900, 100, 1000, 700}, {1000 - minW, 100, 1000, 100 + 600}},
      {WMSZ_RIGHT, {100, 100, 120, 140}, {100, 100, 100 + minW, 100 + minH}},
      {WMSZ_TOPLEFT, {500, 500, 600, 550}, {600 - minW, 550 - minH, 600, 550}},
      {WMSZ_TOPRIGHT, {500, 500, 600, 550}, {500, 550 - minH, 500 + minW, 550}},
      {WMSZ_BOTTOMLEFT, {500, 500, 600, 550}, {600 - minW, 500, 600, 500 + minH}},
      {WMSZ_BOTTOM, {0, 0, 800, 600}, {0, 0, 800, 600}},
      {0, {0, 0, 10, 10}, {0, 0, 10, 10}},
      {9, {0, 0, 10, 10}, {0, 0, 10, 10}},
  };
  for (const Case& c : cases) {
    RECT r = c.proposed;
    EXPECT_EQ(s.send(WM_SIZING, c.edge, (LPARAM)&r), 1);
    EXPECT_EQ(r.left, c.expected.left) << "edge " << c.edge;
    EXPECT_EQ(r.top, c.expected.top) << "edge " << c.edge;
    EXPECT_EQ(r.right, c.expected.right) << "edge " << c.edge;
    EXPECT_EQ(r.bottom, c.expected.bottom) << "edge " << c.edge;
  }
}

TEST(CtrlWin32, TimerPeriodFollowsTheRefreshRate) {
  struct Case {
    bool have;
    DWORD rate;
    UINT period;
  } cases[] = {{true, 60, 15},   {true, 144, 10}, {true, 75, 12}, {true, 30, 32},
               {true, 2000, 10}, {true, 0, 16},   {true, 1, 16},  {false, 60, 16}};
  for (const Case& c : cases) EXPECT_EQ(CTRL_Win32::framePeriod(c.have, c.rate), c.period) << c.rate;
}

TEST(CtrlWin32, EveryTimerRestartMakesTheNextFrameStartAtZero) {
  Shell s;
  s.ctrl->clock.timerRunning = true;
  s.send(WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_FALSE(s.ctrl->clock.timerRunning);
  EXPECT_EQ(s.sound->log, "r");
  s.send(WM_ACTIVATE, WA_INACTIVE, 0);  // deactivation changes nothing
  EXPECT_EQ(s.sound->log, "r");
  MSG m;
  ASSERT_EQ(GetMessageA(&m, s.window, WM_TIMER, WM_TIMER), 1);  // the timer runs
  DispatchMessageA(&m);
  EXPECT_TRUE(s.ctrl->clock.timerRunning);

  s.send(WM_ENTERMENULOOP);
  EXPECT_FALSE(s.ctrl->clock.timerRunning);
  EXPECT_EQ(s.sound->log, "rp");
  SDL_Delay(40);
  EXPECT_EQ(s.queued(WM_TIMER), 0);  // stopped while the menu is open
  s.send(WM_EXITMENULOOP);
  EXPECT_EQ(s.sound->log, "rpr");
  ASSERT_EQ(GetMessageA(&m, s.window, WM_TIMER, WM_TIMER), 1);

  s.ctrl->clock.timerRunning = true;
  s.send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(100, 100));
  EXPECT_FALSE(s.ctrl->clock.timerRunning);
}

TEST(CtrlWin32, MenuLoopWithoutSoundOutputAndTheFullscreenCheckMark) {
  Shell s;
  s.ctrl->dropSoundOutput();  // as after a failure
  HMENU menu = GetMenu(s.window);
  s.send(WM_ENTERMENULOOP);
  EXPECT_EQ(CheckMenuItem(menu, 32779, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_UNCHECKED);
  s.send(WM_EXITMENULOOP);
  s.ctrl->fullscreen = true;
  s.send(WM_ENTERMENULOOP);
  EXPECT_EQ(CheckMenuItem(menu, 32779, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_CHECKED);
  s.ctrl->fullscreen = false;
}

TEST(CtrlWin32, CloseOffersTheScriptsFirst) {
  int before = CTRL_Generic::liveControllers();
  Shell s;
  s.engine->consume = EVENT_CLOSE;
  EXPECT_EQ(s.send(WM_CLOSE), 1);
  EXPECT_TRUE(IsWindow(s.window));
  EXPECT_TRUE(s.ctrl->renderer);
  s.engine->consume = 0;
  EXPECT_EQ(s.send(WM_CLOSE), 0);
  EXPECT_FALSE(IsWindow(s.window));  // destroyed, and its controller deleted
  EXPECT_EQ(CTRL_Generic::liveControllers(), before);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);  // the last controller quits the loop
}

TEST(CtrlWin32, CtrlQAndFileExitDestroyWithoutOfferingClose) {
  for (int way = 0; way < 2; ++way) {
    Shell s;
    EventEngine* engine = s.engine;
    std::vector<Event>* events = &engine->events;
    size_t closes = 0;
    if (way == 0) {
      HACCEL acc = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(104));
      PostMessageA(s.window, WM_KEYDOWN, VK_CONTROL, 0);
      PostMessageA(s.window, WM_KEYDOWN, 'Q', 0);
      MSG m;
      while (IsWindow(s.window) && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (!TranslateAcceleratorA(s.window, acc, &m)) DispatchMessageA(&m);
        if (!IsWindow(s.window)) break;
        for (const Event& e : *events) closes += e.type == EVENT_CLOSE;
      }
    } else {
      s.send(WM_COMMAND, MAKEWPARAM(101, 0));
    }
    EXPECT_FALSE(IsWindow(s.window)) << way;
    EXPECT_EQ(closes, 0u);
  }
}

TEST(CtrlWin32, KeysBecomeEventsAndAltEnterOrEscapeToggleFullscreen) {
  Shell s;
  s.send(WM_KEYDOWN, 'W');
  s.send(WM_KEYUP, 'W');
  ASSERT_EQ(s.engine->events.size(), 2u);
  EXPECT_EQ(s.engine->events[0].type, EVENT_KEY_DOWN);
  EXPECT_EQ(s.engine->events[0].code, 'W');
  EXPECT_EQ(s.engine->events[1].type, EVENT_KEY_UP);
  // Alt+Enter through the default handling of the system key.
  s.send(WM_SYSKEYDOWN, VK_RETURN, 1 | (1 << 29));
  EXPECT_TRUE(s.ctrl->fullscreen);
  HACCEL acc = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(104));
  MSG esc = {s.window, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
  EXPECT_EQ(TranslateAcceleratorA(s.window, acc, &esc), 1);
  EXPECT_FALSE(s.ctrl->fullscreen);
  s.send(WM_COMMAND, MAKEWPARAM(32779, 0));  // View, Fullscreen
  EXPECT_TRUE(s.ctrl->fullscreen);
}

TEST(CtrlWin32, FullscreenCoversTheDisplayAndComesBackToThePlacement) {
  Shell s;
  RECT before;
  GetWindowRect(s.window, &before);
  HMENU menu = GetMenu(s.window);
  DWORD style = (DWORD)GetWindowLongA(s.window, GWL_STYLE);
  s.ctrl->toggleFullscreen(s.window);
  ASSERT_TRUE(s.ctrl->fullscreen);
  EXPECT_EQ(GetMenu(s.window), nullptr);
  EXPECT_EQ((DWORD)GetWindowLongA(s.window, GWL_STYLE), (DWORD)(WS_POPUP | WS_VISIBLE | WS_SYSMENU));
  SDL_Rect b;
  SDL_GetDisplayBounds(0, &b);
  RECT r;
  GetWindowRect(s.window, &r);
  EXPECT_EQ(r.left, b.x);
  EXPECT_EQ(r.top, b.y);
  EXPECT_EQ(r.right - r.left, b.w);
  EXPECT_EQ(r.bottom - r.top, b.h);
  s.ctrl->toggleFullscreen(s.window);
  EXPECT_FALSE(s.ctrl->fullscreen);
  EXPECT_EQ(GetMenu(s.window), menu);
  EXPECT_EQ((DWORD)GetWindowLongA(s.window, GWL_STYLE) & ~(DWORD)WS_VISIBLE, style & ~(DWORD)WS_VISIBLE);
  GetWindowRect(s.window, &r);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.top, before.top);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
  s.ctrl->platform = 2;  // only the Windows player goes fullscreen
  s.ctrl->toggleFullscreen(s.window);
  EXPECT_FALSE(s.ctrl->fullscreen);
}

TEST(CtrlWin32, RegisterDevicePicksTheIndexthMatchAndItsInputBecomesEvents) {
  Shell s;
  SetFocus(s.window);
  vsplat::addFakeHidDevice(0x0AAA, 0x0001, 1, 4);
  HANDLE first = vsplat::addFakeHidDevice(0x0BBB, 0x0002, 1, 5);
  vsplat::addFakeHidDevice(0x0AAA, 0x0001, 1, 6);
  HANDLE second = vsplat::addFakeHidDevice(0x0BBB, 0x0002, 0xFF00, 7);
  EXPECT_EQ(s.ctrl->registerDevice(0x0BBB, 0x0002, 0), (int32_t)(intptr_t)first);
  EXPECT_EQ(s.ctrl->registerDevice(0x0BBB, 0x0002, 1), (int32_t)(intptr_t)second);
  EXPECT_EQ(s.ctrl->registerDevice(0x0BBB, 0x0002, 2), 0);
  EXPECT_EQ(s.ctrl->registerDevice(0x0CCC, 0x0002, 0), 0);
  vsplat::queueFakeHidInput(second, {1, 2, 3, 4});
  MSG m;
  while (PeekMessageA(&m, s.window, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  ASSERT_EQ(s.engine->count(EVENT_DEVICE), 1);
  EXPECT_EQ(s.engine->events.back().code, (int32_t)(intptr_t)second);
  EXPECT_EQ(s.engine->reports.back(), std::vector<uint8_t>({1, 2, 3, 4}));
}

TEST(CtrlWin32, RawInputIsPassedOnlyWhenItsReportsLieInsideWhatWasRead) {
  Shell s;
  const size_t offset = offsetof(RAWINPUT, data.hid.bRawData);
  auto record = [&](DWORD type, DWORD sizeHid, DWORD count, size_t bytes) {
    std::vector<uint8_t> r(offset + bytes, 0x5A);
    RAWINPUT* ri = reinterpret_cast<RAWINPUT*>(r.data());
    ri->header.dwType = type;
    ri->header.dwSize = (DWORD)r.size();
    ri->header.hDevice = (HANDLE)(uintptr_t)0x77;
    ri->data.hid.dwSizeHid = sizeHid;
    ri->data.hid.dwCount = count;
    return r;
  };
  struct Case {
    std::vector<uint8_t> bytes;
    int events;
  } cases[] = {
      {record(RIM_TYPEHID, 4, 2, 8), 1},
      {record(RIM_TYPEHID, 4, 3, 8), 0},                     // reports past the data
      {record(RIM_TYPEHID, 0x10000, 0x10000, 8), 0},         // a product past 32 bits
      {record(RIM_TYPEKEYBOARD, 1, 1, 8), 0},                // not HID input
      {std::vector<uint8_t>(sizeof(RAWINPUTHEADER), 0), 0},  // no room for the HID header
  };
  for (const Case& c : cases) {
    s.engine->events.clear();
    vsplat::postRawInputRecord(s.window, c.bytes);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, s.window, WM_INPUT, WM_INPUT, PM_REMOVE));
    DispatchMessageA(&m);
    EXPECT_EQ(s.engine->count(EVENT_DEVICE), c.events);
  }
  EXPECT_EQ(s.engine->reports.back().size(), 8u);
  s.ctrl->load.stopped = true;  // nothing reaches stopped content
  s.engine->events.clear();
  vsplat::postRawInputRecord(s.window, record(RIM_TYPEHID, 4, 1, 4));
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, s.window, WM_INPUT, WM_INPUT, PM_REMOVE));
  DispatchMessageA(&m);
  EXPECT_EQ(s.engine->count(EVENT_DEVICE), 0);
}

TEST(CtrlWin32, SendToDeviceWritesThroughTheDeviceNameAndRefusesUnknownHandles) {
  Shell s;
  HANDLE dev = vsplat::addFakeHidDevice(5, 6, 1, 1);
  const uint8_t report[] = {0, 9, 8, 7};
  EXPECT_EQ(s.ctrl->sendToDevice((int32_t)(intptr_t)dev, report, 4), 4);
  auto writes = vsplat::fakeHidWrites(dev);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], std::vector<uint8_t>(report, report + 4));
  EXPECT_EQ(s.ctrl->sendToDevice(12345, report, 4), 0);  // the name query fails
  EXPECT_EQ(s.ctrl->sendToDevice((int32_t)(intptr_t)dev, report, -1), 0);
}

TEST(CtrlWin32, OpenUrlHandsItsOwnCopyToTheShell) {
  std::string dir = std::string(VS_BINARY_DIR) + "/openurl_scratch";
  std::string out = dir + "/opened";
  mkdir(dir.c_str(), 0755);
  remove(out.c_str());
  {
    std::ofstream script(dir + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << out << ".tmp\" && mv \"" << out << ".tmp\" \"" << out << "\"\n";
  }
  chmod((dir + "/xdg-open").c_str(), 0755);
  setenv("PATH", (dir + ":" + getenv("PATH")).c_str(), 1);
  Shell s;
  {
    char text[] = "https://example.org/a b;$(true)";
    s.ctrl->openURL(text);
    memset(text, 'x', sizeof text - 1);  // the caller's text is gone at once
  }
  std::string got;
  for (int i = 0; i < 400 && got.empty(); ++i) {
    SDL_Delay(10);
    std::ifstream in(out);
    std::getline(in, got);
  }
  EXPECT_EQ(got, "https://example.org/a b;$(true)");  // one argument, no shell
}

// A shell that cannot open the text, or no xdg-open at all: the log says so.
TEST(CtrlWin32, AnOpenUrlThatFailsIsLogged) {
  const std::string dir = std::string(VS_BINARY_DIR) + "/openurl_failing";
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/xdg-open") << "#!/bin/sh\nexit 4\n";
  chmod((dir + "/xdg-open").c_str(), 0755);
  const std::string path = getenv("PATH");
  struct Case {
    std::string path;
    const char* line;
  };
  const Case cases[] = {{dir + ":" + path, "openURL could not open https://example.org/x"},
                        {dir + "/absent", "xdg-open could not be started"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    setenv("PATH", c.path.c_str(), 1);
    vsplat::DebugCapture log;
    Shell s;
    s.ctrl->openURL("https://example.org/x");
    // The shell runs on a thread of its own: wait for its line.
    for (int i = 0; i < 500 && log.text().find("openURL could not open") == std::string::npos; ++i) SDL_Delay(10);
    EXPECT_NE(log.text().find(c.line), std::string::npos) << log.text();
  }
  setenv("PATH", path.c_str(), 1);
}

TEST(CtrlWin32, LanguageIsTheMenuChoiceOrTheUsersCountry) {
  setenv("LANG", "fr_FR.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  Shell s;
  char out[8] = "zz";
  s.ctrl->getLanguage(out);
  EXPECT_STREQ(out, "FR");
  strcpy(s.ctrl->language, "US");
  s.ctrl->getLanguage(out);
  EXPECT_STREQ(out, "US");
}

TEST(CtrlWin32, CursorShapesAndWarpDropsQueuedMoves) {
  Shell s;
  for (int shape : {0, 1, 2, 3, 4, -1}) s.ctrl->setCursor(shape);
  PostMessageA(s.window, WM_MOUSEMOVE, 0, point(3, 3));
  double p[2] = {10.7, 20.2};
  s.ctrl->warpCursor(GetDC(s.window), p);
  EXPECT_EQ(s.queued(WM_MOUSEMOVE), 0);
  // A point of a content position that is no number is not warped to (the
  // queued move stays); a far one is held at a pixel (the sanitizer build
  // catches an out-of-range truncation).
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {std::nan(""), inf, -inf}) {
    PostMessageA(s.window, WM_MOUSEMOVE, 0, point(3, 3));
    double q[2] = {10, bad};
    s.ctrl->warpCursor(GetDC(s.window), q);
    EXPECT_EQ(s.queued(WM_MOUSEMOVE), 1) << bad;
  }
  double far[2] = {1e300, -1e18};
  s.ctrl->warpCursor(GetDC(s.window), far);
}
