// Keyboard and mouse: SDL events become Windows input messages.
#ifndef _WIN32
#include <SDL.h>

#include "platform/internal.h"

namespace vsplat {

namespace {

uint8_t g_keys[256];
bool g_altAlone = false;

struct ScanMap {
  SDL_Scancode scan;
  int vk;
};

const ScanMap kScanMap[] = {
    {SDL_SCANCODE_RETURN, VK_RETURN},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE},
    {SDL_SCANCODE_BACKSPACE, VK_BACK},
    {SDL_SCANCODE_TAB, VK_TAB},
    {SDL_SCANCODE_SPACE, VK_SPACE},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT},
    {SDL_SCANCODE_LCTRL, VK_CONTROL},
    {SDL_SCANCODE_RCTRL, VK_CONTROL},
    {SDL_SCANCODE_LALT, VK_MENU},
    {SDL_SCANCODE_RALT, VK_MENU},
    {SDL_SCANCODE_PAUSE, VK_PAUSE},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_END, VK_END},
    {SDL_SCANCODE_HOME, VK_HOME},
    {SDL_SCANCODE_LEFT, VK_LEFT},
    {SDL_SCANCODE_UP, VK_UP},
    {SDL_SCANCODE_RIGHT, VK_RIGHT},
    {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT},
    {SDL_SCANCODE_INSERT, VK_INSERT},
    {SDL_SCANCODE_DELETE, VK_DELETE},
    {SDL_SCANCODE_LGUI, VK_LWIN},
    {SDL_SCANCODE_RGUI, VK_RWIN},
    {SDL_SCANCODE_APPLICATION, VK_APPS},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY},
    {SDL_SCANCODE_KP_PLUS, VK_ADD},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD},
    {SDL_SCANCODE_SLASH, VK_OEM_2},
    {SDL_SCANCODE_GRAVE, VK_OEM_3},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7},
};

WPARAM mouseFlags(Uint32 buttons) {
  WPARAM mk = 0;
  if (buttons & SDL_BUTTON_LMASK) mk |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) mk |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) mk |= MK_MBUTTON;
  SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_SHIFT) mk |= MK_SHIFT;
  if (mod & KMOD_CTRL) mk |= MK_CONTROL;
  return mk;
}

// Coordinates travel as two 16-bit words: a point left of or above the
// client area (during capture) keeps its sign in two's complement.
LPARAM pointParam(int x, int y) { return MAKELPARAM((WORD)(int16_t)x, (WORD)(int16_t)y); }

HWND mouseTarget(uint32_t sdlId) {
  if (HWND c = captureWindow()) return c;
  return handleOf(findWindowBySdl(sdlId));
}

void keyEvent(const SDL_KeyboardEvent& e) {
  int vk = virtualKeyOf(e.keysym);
  if (!vk) return;
  HWND hwnd = focusWindow();
  if (!hwnd) hwnd = handleOf(findWindowBySdl(e.windowID));
  if (!hwnd) return;
  bool down = e.type == SDL_KEYDOWN;
  bool alt = (e.keysym.mod & KMOD_ALT) != 0;
  bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
  // Windows' system keys: anything with Alt (but not AltGr-like Ctrl+Alt), F10, Alt itself.
  bool sys = vk == VK_F10 || vk == VK_MENU || (alt && !ctrl);
  LPARAM lp = 1 | ((LPARAM)(e.keysym.scancode & 0xFF) << 16);
  if (alt) lp |= (LPARAM)1 << 29;
  if (down && e.repeat) lp |= (LPARAM)1 << 30;
  if (!down) lp |= ((LPARAM)1 << 30) | ((LPARAM)1 << 31);
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  postInput(hwnd, msg, (WPARAM)vk, lp);
}

}  // namespace

int virtualKeyOf(const SDL_Keysym& key) {
  if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
  SDL_Scancode s = key.scancode;
  if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return 'A' + (s - SDL_SCANCODE_A);
  if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return '1' + (s - SDL_SCANCODE_1);
  if (s == SDL_SCANCODE_0) return '0';
  if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12) return VK_F1 + (s - SDL_SCANCODE_F1);
  if (s >= SDL_SCANCODE_F13 && s <= SDL_SCANCODE_F24) return VK_F1 + 12 + (s - SDL_SCANCODE_F13);
  if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_9) return VK_NUMPAD0 + 1 + (s - SDL_SCANCODE_KP_1);
  if (s == SDL_SCANCODE_KP_0) return VK_NUMPAD0;
  for (const auto& m : kScanMap)
    if (m.scan == s) return m.vk;
  return 0;
}

void processSdlEvent(const SDL_Event& ev) {
  switch (ev.type) {
    case SDL_WINDOWEVENT:
      handleWindowEvent(ev.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      keyEvent(ev.key);
      break;
    case SDL_MOUSEMOTION: {
      HWND hwnd = mouseTarget(ev.motion.windowID);
      if (hwnd) postInput(hwnd, WM_MOUSEMOVE, mouseFlags(ev.motion.state), pointParam(ev.motion.x, ev.motion.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      HWND hwnd = mouseTarget(ev.button.windowID);
      Window* w = findWindow(hwnd);
      if (!w) break;
      bool down = ev.type == SDL_MOUSEBUTTONDOWN;
      bool dbl = down && ev.button.clicks == 2 && (w->classStyle & CS_DBLCLKS);
      UINT msg;
      switch (ev.button.button) {
        case SDL_BUTTON_LEFT:
          msg = down ? (dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
          break;
        case SDL_BUTTON_RIGHT:
          msg = down ? (dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_RBUTTONUP;
          break;
        case SDL_BUTTON_MIDDLE:
          msg = down ? (dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN) : WM_MBUTTONUP;
          break;
        default:
          return;
      }
      postInput(hwnd, msg, mouseFlags(SDL_GetMouseState(nullptr, nullptr)), pointParam(ev.button.x, ev.button.y));
      break;
    }
    case SDL_MOUSEWHEEL: {
      HWND hwnd = focusWindow();
      if (!hwnd) hwnd = handleOf(findWindowBySdl(ev.wheel.windowID));
      Window* w = findWindow(hwnd);
      if (!w || ev.wheel.y == 0) break;
      int notches = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -ev.wheel.y : ev.wheel.y;
      int x = 0, y = 0;
      Uint32 buttons = SDL_GetMouseState(&x, &y);
      WPARAM wp = MAKEWPARAM(mouseFlags(buttons), (WORD)(int16_t)(notches * WHEEL_DELTA));
      postInput(hwnd, WM_MOUSEWHEEL, wp, pointParam(x, y));
      break;
    }
    default:
      break;
  }
}

void noteKeyMessage(const MSG& m) {
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (m.wParam < 256) g_keys[m.wParam] = 0x80;
      if (m.wParam == VK_MENU) {
        if (!(m.lParam & (1 << 30))) g_altAlone = true;
      } else {
        g_altAlone = false;
      }
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (m.wParam < 256) g_keys[m.wParam] = 0;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL:
      g_altAlone = false;
      break;
    default:
      break;
  }
}

bool keyDown(int vk) { return vk >= 0 && vk < 256 && (g_keys[vk] & 0x80); }

void forgetAltAlone() { g_altAlone = false; }

bool altPressedAlone() {
  bool alone = g_altAlone;
  g_altAlone = false;
  return alone;
}

}  // namespace vsplat

extern "C" short GetKeyState(int vk) { return vsplat::keyDown(vk) ? (short)0x8000 : 0; }

#endif
