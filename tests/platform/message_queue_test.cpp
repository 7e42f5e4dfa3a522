#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>

#include "platform/testing.h"
#include "test_window.h"

using testwin::drain;
using testwin::log;

namespace {

std::vector<UINT> takeAll(HWND hwnd) {
  std::vector<UINT> got;
  MSG m;
  while (PeekMessageA(&m, hwnd, 0, 0, PM_REMOVE)) {
    got.push_back(m.message);
    if (m.message == WM_PAINT) DispatchMessageA(&m);  // validates, or it comes back
    if (got.size() > 100) break;
  }
  return got;
}

}  // namespace

TEST(MessageQueue, PostedMessagesComeInOrderBeforePaintAndTimer) {
  HWND w = testwin::make();
  ASSERT_TRUE(w);
  ShowWindow(w, SW_SHOW);  // shown windows need painting
  SetTimer(w, 0, 10, nullptr);
  SDL_Delay(30);
  PostMessageA(w, WM_USER + 1, 0, 0);
  PostMessageA(w, WM_USER + 2, 0, 0);
  std::vector<UINT> got = takeAll(w);
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got[0], (UINT)WM_USER + 1);
  EXPECT_EQ(got[1], (UINT)WM_USER + 2);
  EXPECT_EQ(got[2], (UINT)WM_PAINT);
  EXPECT_EQ(got[3], (UINT)WM_TIMER);
}

TEST(MessageQueue, AtMostOneTimerTickIsPendingPerTimer) {
  HWND w = testwin::make();
  SetTimer(w, 0, 10, nullptr);
  SDL_Delay(60);  // six periods
  MSG m;
  int ticks = 0;
  while (PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE)) ++ticks;
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(KillTimer(w, 0));
  SDL_Delay(25);
  EXPECT_FALSE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(KillTimer(w, 0));
}

// Frames of W ms of work on a 16 ms timer, on a clock that moves only when
// the work or the wait says so. A frame begins as soon as a tick is taken,
// and the wait wakes up to 2 ms after a tick is due, as a real one does: the
// ticks still come at the timer's own times.
TEST(MessageQueue, TimerTicksKeepTheirScheduleWhateverAFrameTakes) {
  uint64_t now = 0;
  vsplat::setTestClock([&now] { return now; });
  HWND w = testwin::make();
  struct Case {
    uint64_t work;
    int frames;  // in the two seconds after the first tick
  };
  const Case cases[] = {{1, 125}, {10, 125}, {16, 125}, {20, 100}, {27, 74}, {40, 50}, {100, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.work);
    now = 1000;
    ASSERT_TRUE(SetTimer(w, 0, 16, nullptr));
    int frames = 0;
    uint64_t first = 0;
    MSG m;
    while (first == 0 || now < first + 2000) {
      if (!PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        now += 3;  // idle until the next tick
        continue;
      }
      if (first == 0) first = now;
      ++frames;
      now += c.work;
    }
    EXPECT_NEAR(frames, c.frames, 1);
    EXPECT_TRUE(KillTimer(w, 0));
  }
}

// However late a tick is taken, it is the only one pending, and the next
// comes at the timer's own time after it.
TEST(MessageQueue, ALateTickIsTakenAtOnceAndMissedOnesDoNotPileUp) {
  uint64_t now = 500;
  vsplat::setTestClock([&now] { return now; });
  HWND w = testwin::make();
  ASSERT_TRUE(SetTimer(w, 0, 16, nullptr));  // ticks at 516, 532, 548, ...
  MSG m;
  now = 600;  // five ticks late
  ASSERT_TRUE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE));
  now = 611;
  EXPECT_FALSE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE));
  now = 612;  // 500 + 7 x 16
  EXPECT_TRUE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_TRUE(KillTimer(w, 0));
}

TEST(MessageQueue, RangeFilterWithRemoveDrainsOnlyThatRange) {
  HWND w = testwin::make();
  for (int i = 0; i < 5; ++i) {
    PostMessageA(w, WM_MOUSEMOVE, 0, MAKELPARAM(i, 2 * i));
    PostMessageA(w, WM_KEYDOWN, 'A' + i, 0);
  }
  MSG m, last = {};
  int moves = 0;
  while (PeekMessageA(&m, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) last = m, ++moves;
  EXPECT_EQ(moves, 5);
  EXPECT_EQ(LOWORD(last.lParam), 4);
  EXPECT_EQ(HIWORD(last.lParam), 8);
  // The keys are still there, in order; a look without removing keeps them.
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, (WPARAM)'A');
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, (WPARAM)'A');
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, (WPARAM)'B');
}

TEST(MessageQueue, WindowFilterLeavesOtherWindowsMessages) {
  HWND a = testwin::make(), b = testwin::make();
  PostMessageA(a, WM_TIMER, 0, 0);
  PostMessageA(b, WM_TIMER, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, b, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(m.hwnd, b);
  EXPECT_FALSE(PeekMessageA(&m, b, WM_TIMER, WM_TIMER, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(m.hwnd, a);
}

TEST(MessageQueue, PaintComesUntilValidatedAndNotForHiddenWindows) {
  HWND w = testwin::make();
  MSG m;
  InvalidateRect(w, nullptr, FALSE);
  EXPECT_FALSE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_REMOVE));  // not shown yet
  ShowWindow(w, SW_SHOW);
  ASSERT_TRUE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_REMOVE));
  // Removing it does not validate: only painting does.
  ASSERT_TRUE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_REMOVE));
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  EXPECT_EQ(WindowFromDC(dc), w);
  EndPaint(w, &ps);
  EXPECT_FALSE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST(MessageQueue, GetMessageEndsOnQuitAndFailsOnABadWindow) {
  HWND w = testwin::make();
  PostMessageA(w, WM_USER, 7, 0);
  PostQuitMessage(3);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, (UINT)WM_USER);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(GetMessageA(&m, (HWND)(uintptr_t)0xdead, 0, 0), -1);
  // A message range does not hold the quit back.
  PostQuitMessage(4);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 99, WM_USER + 99, PM_REMOVE));
  EXPECT_EQ(m.message, (UINT)WM_QUIT);
  EXPECT_EQ(m.wParam, 4u);
}

TEST(MessageQueue, GetMessageWaitsForTheTimer) {
  HWND w = testwin::make();
  SetTimer(w, 0, 20, nullptr);
  MSG m;
  ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, (UINT)WM_TIMER);
  EXPECT_EQ(m.hwnd, w);
}

TEST(Windows, DestroySendsDestroyAndDropsQueuedMessages) {
  HWND w = testwin::make();
  PostMessageA(w, WM_USER, 0, 0);
  SetTimer(w, 0, 10, nullptr);
  log().clear();
  EXPECT_EQ(SendMessageA(w, WM_CLOSE, 0, 0), 0);  // the default closes
  ASSERT_EQ(testwin::count(WM_DESTROY), 1u);
  EXPECT_FALSE(IsWindow(w));
  SDL_Delay(20);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(DestroyWindow(w));
}

TEST(Windows, GeometryAndUserData) {
  HWND w = testwin::make();
  RECT r;
  ASSERT_TRUE(GetClientRect(w, &r));
  EXPECT_EQ(r.right, 320);
  EXPECT_EQ(r.bottom, 240);
  log().clear();
  SetWindowPos(w, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, 500);
  ASSERT_EQ(testwin::count(WM_SIZE), 1u);
  EXPECT_EQ(log().back().lParam, MAKELPARAM(500, 400));
  GetWindowRect(w, &r);
  POINT p = {5, 6};
  ClientToScreen(w, &p);
  EXPECT_EQ(p.x, r.left + 5);
  EXPECT_EQ(p.y, r.top + 6);
  int anything = 0;
  SetWindowLongPtrA(w, GWLP_USERDATA, (LONG_PTR)&anything);
  EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), (LONG_PTR)&anything);
  SetWindowLongA(w, GWL_STYLE, (LONG)(WS_POPUP | WS_SYSMENU));
  EXPECT_EQ((DWORD)GetWindowLongA(w, GWL_STYLE) & WS_POPUP, (DWORD)WS_POPUP);
  WINDOWPLACEMENT wp = {};
  ASSERT_TRUE(GetWindowPlacement(w, &wp));
  SetWindowPos(w, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  SetWindowPlacement(w, &wp);
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, 500);
}

TEST(Windows, ShowingActivatesOnceAndAsksTheMinimumSize) {
  HWND w = testwin::make();
  testwin::handler() = [](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT* r) {
    if (msg != WM_SIZING) return false;
    RECT* rc = (RECT*)lParam;
    rc->right = rc->left + 250;
    rc->bottom = rc->top + 188;
    *r = 1;
    return true;
  };
  log().clear();
  ShowWindow(w, SW_SHOW);
  SetForegroundWindow(w);
  ASSERT_EQ(testwin::count(WM_ACTIVATE), 1u);
  for (auto& r : log()) {
    if (r.msg == WM_ACTIVATE) {
      EXPECT_EQ(LOWORD(r.wParam), WA_ACTIVE);
    }
  }
  SDL_Window* sdl = SDL_GetWindowFromID(vsplat::sdlWindowId(w));
  int mw = 0, mh = 0;
  SDL_GetWindowMinimumSize(sdl, &mw, &mh);
  EXPECT_EQ(mw, 250);
  EXPECT_EQ(mh, 188);
  testwin::handler() = nullptr;
}

namespace {

struct Poster {
  HWND target;
  std::atomic<int> refused{0};
  std::atomic<bool> go{false};
  std::atomic<bool> done{false};
};
const int kPosts = 20000;

DWORD WINAPI postMany(LPVOID p) {
  auto* poster = static_cast<Poster*>(p);
  while (!poster->go) {
  }
  for (int i = 0; i < kPosts; ++i)
    if (!PostMessageA(poster->target, WM_USER + 5, (WPARAM)i, 0)) ++poster->refused;
  poster->done = true;
  return 0;
}

}  // namespace

// Another thread posts while this one makes and ends windows (a dialog box
// is a window too): nothing is lost, refused or out of order.
TEST(MessageQueue, PostingFromAnotherThreadIsSafeWhileWindowsComeAndGo) {
  HWND w = testwin::make();
  ASSERT_TRUE(w);
  // Dialogs opened from dialogs: windows enough for the table to rebalance.
  static int depth = 0;
  vsplat::setDialogRunner([](HWND dlg, DLGPROC proc) {
    if (++depth < 12) DialogBoxParamA(nullptr, MAKEINTRESOURCEA(152), nullptr, proc, 0);
    --depth;
    EndDialog(dlg, 1);
    return (INT_PTR)1;
  });
  DLGPROC proc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; };
  static Poster poster;
  poster.target = w;
  HANDLE t = CreateThread(nullptr, 0, postMany, &poster, 0, nullptr);
  ASSERT_TRUE(t);
  int got = 0, rounds = 0;
  bool inOrder = true;
  MSG m;
  poster.go = true;
  while (!poster.done) {
    DialogBoxParamA(nullptr, MAKEINTRESOURCEA(152), nullptr, proc, 0);
    ++rounds;
  }
  while (PeekMessageA(&m, w, WM_USER + 5, WM_USER + 5, PM_REMOVE)) {
    inOrder = inOrder && m.wParam == (WPARAM)got;
    ++got;
  }
  EXPECT_EQ(got, kPosts) << rounds;
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(poster.refused, 0);
  vsplat::setDialogRunner(nullptr);
  CloseHandle(t);
}
