#include <gtest/gtest.h>

#include <SDL.h>

#include "test_window.h"

using testwin::log;

namespace {

bool next(HWND w, MSG* m) { return PeekMessageA(m, w, 0, 0, PM_REMOVE) != 0; }

MSG nextInput(HWND w) {
  MSG m = {};
  for (int i = 0; i < 100; ++i) {
    if (next(w, &m) && m.message != WM_PAINT && m.message != WM_TIMER) return m;
  }
  return MSG{};
}

void pushMotion(HWND w, int x, int y) {
  SDL_Event ev = {};
  ev.type = SDL_MOUSEMOTION;
  ev.motion.windowID = vsplat::sdlWindowId(w);
  ev.motion.x = x;
  ev.motion.y = y;
  SDL_PushEvent(&ev);
}

}  // namespace

TEST(Input, KeysBecomeVirtualKeysWithGenericModifiersAndRepeat) {
  HWND w = testwin::make();
  struct Case {
    SDL_Scancode scan;
    SDL_Keycode sym;
    WPARAM vk;
  } cases[] = {
      {SDL_SCANCODE_A, SDLK_a, 'A'},
      {SDL_SCANCODE_7, SDLK_7, '7'},
      {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, VK_SHIFT},
      {SDL_SCANCODE_RCTRL, SDLK_RCTRL, VK_CONTROL},
      {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, VK_ESCAPE},
      {SDL_SCANCODE_F1, SDLK_F1, VK_F1},
      {SDL_SCANCODE_LEFT, SDLK_LEFT, VK_LEFT},
      {SDL_SCANCODE_KP_5, SDLK_KP_5, VK_NUMPAD0 + 5},
  };
  for (const Case& c : cases) {
    testwin::pushKey(w, c.scan, c.sym, true);
    MSG m = nextInput(w);
    EXPECT_EQ(m.message, (UINT)WM_KEYDOWN) << c.vk;
    EXPECT_EQ(m.wParam, c.vk);
    EXPECT_EQ(m.lParam & (1 << 30), 0);
    testwin::pushKey(w, c.scan, c.sym, false);
    m = nextInput(w);
    EXPECT_EQ(m.message, (UINT)WM_KEYUP);
    EXPECT_EQ(m.wParam, c.vk);
  }
  // Holding a key repeats WM_KEYDOWN, marked as already down.
  testwin::pushKey(w, SDL_SCANCODE_B, SDLK_b, true);
  testwin::pushKey(w, SDL_SCANCODE_B, SDLK_b, true, 0, true);
  MSG first = nextInput(w), again = nextInput(w);
  EXPECT_EQ(again.message, (UINT)WM_KEYDOWN);
  EXPECT_EQ(again.wParam, (WPARAM)'B');
  EXPECT_EQ(first.lParam & (1 << 30), 0);
  EXPECT_NE(again.lParam & (1 << 30), 0);
}

TEST(Input, MovesDuringCaptureKeepTheirSignInSixteenBits) {
  HWND w = testwin::make();
  SetCapture(w);
  pushMotion(w, -5, -300);
  MSG m = nextInput(w);
  ASSERT_EQ(m.message, (UINT)WM_MOUSEMOVE);
  EXPECT_EQ((short)LOWORD(m.lParam), -5);
  EXPECT_EQ((short)HIWORD(m.lParam), -300);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST(Input, WheelIsSigned120PerNotchWithModifierFlags) {
  HWND w = testwin::make();
  SDL_SetModState(KMOD_LSHIFT);
  SDL_Event ev = {};
  ev.type = SDL_MOUSEWHEEL;
  ev.wheel.windowID = vsplat::sdlWindowId(w);
  ev.wheel.y = -2;
  SDL_PushEvent(&ev);
  MSG m = nextInput(w);
  SDL_SetModState(KMOD_NONE);
  ASSERT_EQ(m.message, (UINT)WM_MOUSEWHEEL);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wParam), -240);
  EXPECT_TRUE(LOWORD(m.wParam) & MK_SHIFT);
  EXPECT_FALSE(LOWORD(m.wParam) & MK_CONTROL);
}

TEST(Input, ButtonsAndCloseButton) {
  HWND w = testwin::make();
  SDL_Event ev = {};
  ev.type = SDL_MOUSEBUTTONDOWN;
  ev.button.windowID = vsplat::sdlWindowId(w);
  ev.button.button = SDL_BUTTON_RIGHT;
  ev.button.clicks = 2;  // no double clicks: the class does not ask for them
  ev.button.x = 12;
  ev.button.y = 34;
  SDL_PushEvent(&ev);
  MSG m = nextInput(w);
  EXPECT_EQ(m.message, (UINT)WM_RBUTTONDOWN);
  EXPECT_EQ(m.lParam, MAKELPARAM(12, 34));
  // The close button arrives as the system command, which closes by default.
  SDL_Event close = {};
  close.type = SDL_WINDOWEVENT;
  close.window.windowID = vsplat::sdlWindowId(w);
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&close);
  log().clear();
  testwin::drain();
  EXPECT_EQ(testwin::count(WM_CLOSE), 1u);
  EXPECT_FALSE(IsWindow(w));
}

TEST(Input, AltEnterBecomesTheKeyMenuCommandAndF10OrALoneAltOpensTheMenu) {
  HWND w = testwin::make(WS_OVERLAPPEDWINDOW, MAKEINTRESOURCEA(104));
  ASSERT_TRUE(GetMenu(w));
  int opened = 0;
  vsplat::setMenuChooser([&](HMENU menu) {
    EXPECT_EQ(menu, GetMenu(w));
    ++opened;
    return (WORD)32779;
  });
  log().clear();
  testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
  testwin::pushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, true, KMOD_LALT);
  testwin::pushKey(w, SDL_SCANCODE_RETURN, SDLK_RETURN, false, KMOD_LALT);
  testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
  testwin::drain();
  bool keyMenu13 = false;
  for (auto& r : log()) keyMenu13 |= r.msg == WM_SYSCOMMAND && r.wParam == SC_KEYMENU && r.lParam == 13;
  EXPECT_TRUE(keyMenu13);
  EXPECT_EQ(opened, 0);  // Alt was not alone

  for (int way = 0; way < 2; ++way) {
    log().clear();
    if (way == 0) {
      testwin::pushKey(w, SDL_SCANCODE_F10, SDLK_F10, true);
      testwin::pushKey(w, SDL_SCANCODE_F10, SDLK_F10, false);
    } else {
      testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
      testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
    }
    testwin::drain();
    EXPECT_EQ(opened, way + 1);
    std::vector<UINT> order;
    for (auto& r : log())
      if (r.msg == WM_ENTERMENULOOP || r.msg == WM_EXITMENULOOP || r.msg == WM_COMMAND) order.push_back(r.msg);
    ASSERT_EQ(order.size(), 3u) << way;
    EXPECT_EQ(order[0], (UINT)WM_ENTERMENULOOP);
    EXPECT_EQ(order[1], (UINT)WM_EXITMENULOOP);
    EXPECT_EQ(order[2], (UINT)WM_COMMAND);
    EXPECT_EQ(LOWORD(log().back().wParam), 32779);
  }
  vsplat::setMenuChooser(nullptr);
}

TEST(Input, AltLeftForAnotherWindowDoesNotOpenTheMenu) {
  HWND w = testwin::make(WS_OVERLAPPEDWINDOW, MAKEINTRESOURCEA(104));
  int opened = 0;
  vsplat::setMenuChooser([&](HMENU) {
    ++opened;
    return (WORD)0;
  });
  testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, true, KMOD_LALT);
  testwin::drain();
  SDL_Event lost = {};  // Alt+Tab: the window manager takes the Tab
  lost.type = SDL_WINDOWEVENT;
  lost.window.windowID = vsplat::sdlWindowId(w);
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&lost);
  testwin::pushKey(w, SDL_SCANCODE_LALT, SDLK_LALT, false);
  testwin::drain();
  EXPECT_EQ(opened, 0);
  vsplat::setMenuChooser(nullptr);
}
