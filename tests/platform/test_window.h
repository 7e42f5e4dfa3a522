// A hidden test window whose procedure records what it receives.
#pragma once

#include <SDL.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32.h"

namespace testwin {

struct Received {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

inline std::vector<Received>& log() {
  static std::vector<Received> l;
  return l;
}

// Lets a test answer some messages itself; return true when handled.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>& handler() {
  static std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> h;
  return h;
}

inline LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  log().push_back({hwnd, msg, wParam, lParam});
  LRESULT r = 0;
  if (handler() && handler()(hwnd, msg, wParam, lParam, &r)) return r;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

inline size_t count(UINT msg) {
  size_t n = 0;
  for (auto& r : log()) n += r.msg == msg;
  return n;
}

// Every window made since the last clean-up.
inline std::vector<HWND>& made() {
  static std::vector<HWND> m;
  return m;
}

// Registers the class (once per process) and makes a window that is shown
// to the layer but never on screen. Without one the test stops there,
// failed with SDL's reason: nothing after it could mean anything.
inline HWND make(DWORD style = WS_OVERLAPPEDWINDOW, const char* menu = nullptr) {
  vsplat::setOffscreen(true);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = menu ? "vsTestMenu" : "vsTest";
  wc.lpszMenuName = menu;
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "test", style, 10, 20, 320, 240, nullptr, nullptr, nullptr, nullptr);
  if (!hwnd)
    throw std::runtime_error(std::string("testwin: no window on DISPLAY=") +
                             (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") + ": " + SDL_GetError());
  made().push_back(hwnd);
  return hwnd;
}

// Removes and dispatches everything queued now (timers and paint included).
inline int drain(HWND hwnd = nullptr) {
  MSG m;
  int n = 0;
  while (PeekMessageA(&m, hwnd, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&m);
    if (++n > 10000) break;
  }
  return n;
}

inline void pushKey(HWND hwnd, SDL_Scancode scan, SDL_Keycode sym, bool down, Uint16 mod = 0, bool repeat = false) {
  SDL_Event ev = {};
  ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  ev.key.windowID = vsplat::sdlWindowId(hwnd);
  ev.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  ev.key.repeat = repeat;
  ev.key.keysym.scancode = scan;
  ev.key.keysym.sym = sym;
  ev.key.keysym.mod = mod;
  SDL_PushEvent(&ev);
}

// What a test made with these helpers, gone whatever the test did or where
// it stopped: its windows (and with them their timers, queued messages,
// focus and activation) and its handler, which may hold references into a
// test that has returned. Runs after every test, before the layer's own
// state is forgotten.
inline void cleanUp() {
  handler() = nullptr;
  for (HWND hwnd : made()) DestroyWindow(hwnd);  // those already gone are refused
  made().clear();
  log().clear();
}

}  // namespace testwin
