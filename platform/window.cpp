// Window classes, windows and the message queue over SDL2.
#ifndef _WIN32
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/internal.h"

namespace vsplat {

namespace {

struct WindowClass {
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  std::string menuName;  // "#104" for an integer resource
  bool hasMenu = false;
  WORD menuId = 0;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT period;
  uint64_t due;
  TIMERPROC proc;
};

std::map<std::string, WindowClass> g_classes;
std::map<uint32_t, std::unique_ptr<Window>> g_windows;
uint32_t g_nextHandle = 0x100;
std::vector<Timer> g_timers;
UINT_PTR g_nextTimerId = 0x7000;

// Other threads may post: they see the queue and which windows live only
// under this lock, never the window table itself.
std::mutex g_postMutex;
std::deque<MSG> g_posted;
std::set<uint32_t> g_live;
bool g_quit = false;
int g_quitCode = 0;

HWND g_capture = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;
std::atomic<uint32_t> g_wakeEvent{0};

uint64_t nowMs() { return g_testClock ? g_testClock() : SDL_GetTicks64(); }

bool inRange(UINT msg, UINT first, UINT last) {
  if (first == 0 && last == 0) return true;
  return msg >= first && msg <= last;
}

bool matches(const MSG& m, HWND hwnd, UINT first, UINT last) {
  if (hwnd && m.hwnd != hwnd) return false;
  return inRange(m.message, first, last);
}

int clientWidth(const Window* w) { return w->client.right - w->client.left; }
int clientHeight(const Window* w) { return w->client.bottom - w->client.top; }

// The deepest depth buffer the driver offers, always with 8 stencil bits.
SDL_Window* createSdlWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
  static const int depths[] = {32, 24, 16};
  for (int depth : depths) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_Window* win = SDL_CreateWindow(title, x, y, w, h, flags | SDL_WINDOW_OPENGL);
    if (win) return win;
  }
  // No OpenGL visual at all: a plain window; contexts on it will fail, and
  // only this knows why.
  std::string why = std::string("CreateWindowEx: no OpenGL visual for the window: ") + SDL_GetError() + "\n";
  OutputDebugStringA(why.c_str());
  return SDL_CreateWindow(title, x, y, w, h, flags);
}

HWND addWindow(std::unique_ptr<Window> w) {
  HWND hwnd = handleOf(w.get());
  uint32_t handle = w->handle;
  g_windows[handle] = std::move(w);
  std::lock_guard<std::mutex> lock(g_postMutex);
  g_live.insert(handle);
  return hwnd;
}

// Forgets the window and what was posted to it.
void removeWindow(uint32_t handle) {
  {
    std::lock_guard<std::mutex> lock(g_postMutex);
    g_live.erase(handle);
    HWND hwnd = (HWND)(uintptr_t)handle;
    g_posted.erase(std::remove_if(g_posted.begin(), g_posted.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                   g_posted.end());
  }
  g_windows.erase(handle);
}

// Queues a message; false when it names a window that does not exist.
bool queueMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m = {};
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = (DWORD)nowMs();
  std::lock_guard<std::mutex> lock(g_postMutex);
  if (hwnd && !g_live.count((uint32_t)(uintptr_t)hwnd)) return false;
  g_posted.push_back(m);
  return true;
}

void activate(HWND hwnd) {
  if (g_active == hwnd) return;
  HWND old = g_active;
  g_active = hwnd;
  if (old && findWindow(old)) SendMessageA(old, WM_ACTIVATE, WA_INACTIVE, (LPARAM)hwnd);
  g_focus = hwnd;
  SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, (LPARAM)old);
}

// The smallest client size the window procedure accepts: Windows asks it
// through WM_SIZING while the user drags; SDL only knows a minimum size.
void probeMinimumSize(HWND hwnd, Window* w) {
  if (!w->sdl || !(w->style & WS_THICKFRAME)) return;
  RECT r = {0, 0, 1, 1};
  SendMessageA(hwnd, WM_SIZING, WMSZ_BOTTOMRIGHT, (LPARAM)&r);
  w = findWindow(hwnd);
  if (!w || !w->sdl) return;
  int minW = std::max(1, (int)(r.right - r.left)), minH = std::max(1, (int)(r.bottom - r.top));
  if (minW > 1 || minH > 1) SDL_SetWindowMinimumSize(w->sdl, minW, minH);
}

void applyGeometry(Window* w) {
  if (!w->sdl) return;
  SDL_SetWindowPosition(w->sdl, w->client.left, w->client.top);
  SDL_SetWindowSize(w->sdl, std::max(1, clientWidth(w)), std::max(1, clientHeight(w)));
}

}  // namespace

Window* findWindow(HWND hwnd) {
  auto it = g_windows.find((uint32_t)(uintptr_t)hwnd);
  return it == g_windows.end() ? nullptr : it->second.get();
}

Window* findWindowBySdl(uint32_t sdlId) {
  for (auto& kv : g_windows)
    if (kv.second->sdl && SDL_GetWindowID(kv.second->sdl) == sdlId) return kv.second.get();
  return nullptr;
}

HWND handleOf(const Window* w) { return w ? (HWND)(uintptr_t)w->handle : nullptr; }

bool ensureVideo(const char* className) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // The X11 class of every window is the first window class's name.
  if (className) setenv("SDL_VIDEO_X11_WMCLASS", className, 0);
  // GLEW needs a GLX context, which SDL's X11 driver gives.
  if (!getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    // As a window that Windows cannot make: no window, and the reason said.
    std::string reason = std::string("No window can be opened: ") + SDL_GetError();
    const char* display = getenv("DISPLAY");
    if (!display || !*display) reason += " (no display: DISPLAY is not set)";
    OutputDebugStringA(reason.c_str());
    OutputDebugStringA("\n");
    return false;
  }
  g_wakeEvent = SDL_RegisterEvents(1);
  return true;
}

HWND newDialogWindow(const char* title) {
  auto w = std::make_unique<Window>();
  w->handle = g_nextHandle++;
  w->dialog = true;
  w->title = title ? title : "";
  return addWindow(std::move(w));
}

void destroyDialogWindow(HWND dialog) {
  Window* w = findWindow(dialog);
  if (w && w->dialog) removeWindow(w->handle);
}

HWND focusWindow() { return g_focus; }
HWND captureWindow() { return g_capture; }

void postInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { queueMessage(hwnd, msg, wParam, lParam); }

// SDL window events that Windows sends synchronously.
void handleWindowEvent(const SDL_WindowEvent& e) {
  Window* w = findWindowBySdl(e.windowID);
  if (!w || w->destroying) return;
  HWND hwnd = handleOf(w);
  switch (e.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (e.data1 != clientWidth(w) || e.data2 != clientHeight(w)) {
        w->client.right = w->client.left + e.data1;
        w->client.bottom = w->client.top + e.data2;
        w->invalid = true;
        SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.data1, e.data2));
      }
      break;
    case SDL_WINDOWEVENT_MOVED: {
      int cw = clientWidth(w), ch = clientHeight(w);
      w->client.left = e.data1;
      w->client.top = e.data2;
      w->client.right = e.data1 + cw;
      w->client.bottom = e.data2 + ch;
      break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
      w->invalid = true;
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      activate(hwnd);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // Alt+Tab in the window manager: that Alt was not pressed alone.
      forgetAltAlone();
      if (g_active == hwnd) {
        g_active = nullptr;
        SendMessageA(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
      }
      break;
    case SDL_WINDOWEVENT_CLOSE:
      // The close button: as Windows does, a system command first.
      postInput(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    default:
      break;
  }
}

namespace {

void pumpSdl() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_PumpEvents();
  pollRawInput();
  SDL_Event ev;
  while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) processSdlEvent(ev);
}

// The next message for the filter, in Windows' order: posted and input
// messages, then WM_QUIT, then WM_PAINT, then WM_TIMER.
bool findMessage(MSG* out, HWND hwnd, UINT first, UINT last, bool remove) {
  pumpSdl();
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(g_postMutex);
    for (auto it = g_posted.begin(); it != g_posted.end(); ++it) {
      if (!matches(*it, hwnd, first, last)) continue;
      *out = *it;
      found = true;
      if (remove) g_posted.erase(it);
      break;
    }
  }
  if (found) {
    if (remove) noteKeyMessage(*out);
    return true;
  }
  // As on Windows, a message range never holds WM_QUIT back.
  if (g_quit && !hwnd) {
    out->message = WM_QUIT;
    out->wParam = (WPARAM)g_quitCode;
    if (remove) g_quit = false;
    return true;
  }
  if (inRange(WM_PAINT, first, last)) {
    for (auto& kv : g_windows) {
      Window* w = kv.second.get();
      if (!w->invalid || !w->visible || w->destroying || w->dialog) continue;
      if (hwnd && handleOf(w) != hwnd) continue;
      out->hwnd = handleOf(w);
      out->message = WM_PAINT;
      return true;
    }
  }
  if (inRange(WM_TIMER, first, last)) {
    uint64_t now = nowMs();
    for (auto& t : g_timers) {
      if (t.due > now || (hwnd && t.hwnd != hwnd)) continue;
      out->hwnd = t.hwnd;
      out->message = WM_TIMER;
      out->wParam = t.id;
      out->lParam = (LPARAM)t.proc;
      out->time = (DWORD)now;
      // Ticks keep the times set out when the timer started: the next is
      // the first of them after now. So at most one is ever pending, missed
      // ones never pile up, and a tick that came due during a slow frame is
      // taken at once after it.
      if (remove) t.due += t.period * ((now - t.due) / t.period + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

}  // namespace vsplat

using namespace vsplat;

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
  std::string name = wc->lpszClassName;
  if (g_classes.count(name)) return 0;
  WindowClass c;
  c.style = wc->style;
  c.proc = wc->lpfnWndProc;
  c.instance = wc->hInstance;
  if (wc->lpszMenuName) {
    c.hasMenu = true;
    if (IS_INTRESOURCE(wc->lpszMenuName))
      c.menuId = LOWORD((uintptr_t)wc->lpszMenuName);
    else
      c.menuName = wc->lpszMenuName;
  }
  g_classes[name] = c;
  return (ATOM)g_classes.size();
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (!className) return FALSE;
  return g_classes.erase(className) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
                     HWND, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!className) return nullptr;
  auto cls = g_classes.find(className);
  if (cls == g_classes.end()) return nullptr;
  if (!ensureVideo(className)) return nullptr;
  if (width == CW_USEDEFAULT) width = 640, height = 480;
  if (height == CW_USEDEFAULT) height = 480;
  bool defaultPos = x == CW_USEDEFAULT;
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  if (!(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
  if (defaultPos) {
    // As Windows places new windows: cascading from the primary display's
    // top left, so a window grown afterwards stays on screen.
    static int cascade = 0;
    SDL_Rect b = {0, 0, 0, 0};
    SDL_GetDisplayUsableBounds(0, &b);
    x = b.x + 24 + 24 * (cascade % 8);
    y = b.y + 24 + 24 * (cascade % 8);
    ++cascade;
  }
  SDL_Window* sdl = createSdlWindow(title ? title : "", x, y, std::max(1, width), std::max(1, height), flags);
  if (!sdl) {
    OutputDebugStringA((std::string("No window can be opened: ") + SDL_GetError()).c_str());
    OutputDebugStringA("\n");
    return nullptr;
  }
  auto w = std::make_unique<Window>();
  w->handle = g_nextHandle++;
  w->className = className;
  w->proc = cls->second.proc;
  w->classStyle = cls->second.style;
  w->style = style & ~(DWORD)WS_VISIBLE;
  w->exStyle = exStyle;
  w->title = title ? title : "";
  w->sdl = sdl;
  int px = 0, py = 0;
  SDL_GetWindowPosition(sdl, &px, &py);
  w->client = {px, py, px + width, py + height};
  if (!menu && cls->second.hasMenu)
    menu = LoadMenuA(instance ? instance : cls->second.instance,
                     cls->second.menuId ? MAKEINTRESOURCEA(cls->second.menuId) : cls->second.menuName.c_str());
  w->menu = menu;
  HWND hwnd = addWindow(std::move(w));
  if (SendMessageA(hwnd, WM_CREATE, 0, (LPARAM)param) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL IsWindow(HWND hwnd) { return findWindow(hwnd) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND hwnd) {
  Window* w = findWindow(hwnd);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;
  if (w->sdl) SDL_HideWindow(w->sdl);
  w->visible = false;
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  w = findWindow(hwnd);
  if (!w) return TRUE;
  g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(), [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
                 g_timers.end());
  if (g_capture == hwnd) {
    g_capture = nullptr;
    SDL_CaptureMouse(SDL_FALSE);
  }
  if (g_focus == hwnd) g_focus = nullptr;
  if (g_active == hwnd) g_active = nullptr;
  if (w->menu) DestroyMenu(w->menu);
  if (w->sdl) SDL_DestroyWindow(w->sdl);
  removeWindow(w->handle);
  return TRUE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = findWindow(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) g_focus = hwnd;
      return 0;
    case WM_SYSKEYDOWN: {
      bool alt = (lParam & (1 << 29)) != 0;
      bool repeat = (lParam & (1 << 30)) != 0;
      if (alt && !repeat && wParam == VK_RETURN) return SendMessageA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, VK_RETURN);
      if (alt && !repeat && wParam == VK_F4) return SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    }
    case WM_SYSKEYUP:
      // F10, or Alt pressed and released alone, opens the menu bar.
      if (wParam == VK_F10 || (wParam == VK_MENU && altPressedAlone()))
        return SendMessageA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          return SendMessageA(hwnd, WM_CLOSE, 0, 0);
        case SC_KEYMENU:
          if (lParam == 0) runMenuLoop(hwnd);
          return 0;
        default:
          return 0;
      }
    case WM_ERASEBKGND:
      return 0;
    default:
      return 0;
  }
}

BOOL ShowWindow(HWND hwnd, int show) {
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  BOOL was = w->visible ? TRUE : FALSE;
  if (show == SW_HIDE) {
    w->visible = false;
    if (w->sdl) SDL_HideWindow(w->sdl);
    return was;
  }
  bool first = !w->visible;
  w->visible = true;
  w->invalid = true;
  if (w->sdl && !g_offscreen) SDL_ShowWindow(w->sdl);
  if (first) {
    probeMinimumSize(hwnd, w);
    activate(hwnd);
  }
  return was;
}

BOOL SetForegroundWindow(HWND hwnd) {
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  if (w->sdl && w->visible && !g_offscreen) {
    SDL_RaiseWindow(w->sdl);
    // Without a window manager nobody else gives the window the keyboard.
    SDL_SetWindowInputFocus(w->sdl);
  }
  activate(hwnd);
  return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  w->title = text ? text : "";
  if (w->sdl) SDL_SetWindowTitle(w->sdl, w->title.c_str());
  return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR out, int max) {
  Window* w = findWindow(hwnd);
  if (!w || !out || max <= 0) return 0;
  int n = std::min((int)w->title.size(), max - 1);
  memcpy(out, w->title.data(), n);
  out[n] = '\0';
  return n;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  Window* w = findWindow(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWL_STYLE:
      return (LONG)(w->style | (w->visible ? WS_VISIBLE : 0));
    case GWL_EXSTYLE:
      return (LONG)w->exStyle;
    case GWLP_USERDATA:
      return w->userData;
    default:
      return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window* w = findWindow(hwnd);
  if (!w) return 0;
  LONG_PTR old = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWL_STYLE: {
      w->style = (DWORD)value & ~(DWORD)WS_VISIBLE;
      if (w->sdl) {
        SDL_SetWindowBordered(w->sdl, (w->style & WS_CAPTION) ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowResizable(w->sdl, (w->style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
      }
      if (((DWORD)value & WS_VISIBLE) && !w->visible) ShowWindow(hwnd, SW_SHOW);
      break;
    }
    case GWL_EXSTYLE:
      w->exStyle = (DWORD)value;
      break;
    case GWLP_USERDATA:
      w->userData = value;
      break;
    default:
      return 0;
  }
  return old;
}

LONG GetWindowLongA(HWND hwnd, int index) { return (LONG)GetWindowLongPtrA(hwnd, index); }
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  // A style word is 32 bits: keep its high bits as bits, not as a sign.
  LONG_PTR v = index == GWL_STYLE || index == GWL_EXSTYLE ? (LONG_PTR)(DWORD)value : value;
  return (LONG)SetWindowLongPtrA(hwnd, index, v);
}

// Windows here have no frame of their own: the window manager draws it
// outside what SDL reports, so the window rectangle is the client area.
BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  Window* w = findWindow(hwnd);
  if (!w || !rect) return FALSE;
  *rect = w->client;
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  Window* w = findWindow(hwnd);
  if (!w || !rect) return FALSE;
  *rect = {0, 0, clientWidth(w), clientHeight(w)};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  int oldW = clientWidth(w), oldH = clientHeight(w);
  RECT r = w->client;
  if (!(flags & SWP_NOMOVE)) {
    r.right = x + (r.right - r.left);
    r.bottom = y + (r.bottom - r.top);
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(0, cx);
    r.bottom = r.top + std::max(0, cy);
  }
  w->client = r;
  if (!(flags & SWP_NOZORDER)) {
    if (after == HWND_TOPMOST) w->topmost = true;
    if (after == HWND_NOTOPMOST) w->topmost = false;
  }
  if (w->sdl) {
    // A captionless window that covers a display is that display's
    // fullscreen window; the window manager will only honour it that way.
    bool covers = false;
    if (!(w->style & WS_CAPTION)) {
      for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect b;
        if (SDL_GetDisplayBounds(i, &b) == 0 && b.x == r.left && b.y == r.top && b.w == r.right - r.left &&
            b.h == r.bottom - r.top)
          covers = true;
      }
    }
    if (covers) {
      // Without a window manager only the geometry itself takes effect.
      applyGeometry(w);
      SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
      if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP) SDL_SetWindowFullscreen(w->sdl, 0);
      applyGeometry(w);
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  w = findWindow(hwnd);
  if (w && (clientWidth(w) != oldW || clientHeight(w) != oldH)) {
    w->invalid = true;
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth(w), clientHeight(w)));
  }
  return TRUE;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* p) {
  Window* w = findWindow(hwnd);
  if (!w || !p) return FALSE;
  p->length = sizeof *p;
  p->flags = 0;
  p->showCmd = w->visible ? SW_SHOWNORMAL : SW_HIDE;
  p->ptMinPosition = {-1, -1};
  p->ptMaxPosition = {-1, -1};
  p->rcNormalPosition = w->client;
  return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* p) {
  Window* w = findWindow(hwnd);
  if (!w || !p) return FALSE;
  const RECT& r = p->rcNormalPosition;
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
  if (p->showCmd == SW_HIDE) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  Window* w = findWindow(hwnd);
  if (!w) return FALSE;
  w->invalid = true;
  return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  Window* w = findWindow(hwnd);
  if (!w) return nullptr;
  bool erase = w->invalid;
  w->invalid = false;
  HDC dc = GetDC(hwnd);
  if (ps) {
    memset(ps, 0, sizeof *ps);
    ps->hdc = dc;
    GetClientRect(hwnd, &ps->rcPaint);
    ps->fErase = erase ? TRUE : FALSE;
  }
  if (erase) SendMessageA(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0);
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT*) { return findWindow(hwnd) ? TRUE : FALSE; }

// Every window keeps one device context, named by the window's handle.
HDC GetDC(HWND hwnd) { return findWindow(hwnd) ? (HDC)hwnd : nullptr; }
int ReleaseDC(HWND hwnd, HDC dc) { return findWindow(hwnd) && dc == (HDC)hwnd ? 1 : 0; }
HWND WindowFromDC(HDC dc) { return findWindow((HWND)dc) ? (HWND)dc : nullptr; }

BOOL ClientToScreen(HWND hwnd, LPPOINT pt) {
  Window* w = findWindow(hwnd);
  if (!w || !pt) return FALSE;
  pt->x += w->client.left;
  pt->y += w->client.top;
  return TRUE;
}

HWND SetCapture(HWND hwnd) {
  HWND old = g_capture;
  if (!findWindow(hwnd)) return old;
  g_capture = hwnd;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_CaptureMouse(SDL_TRUE);
  return old;
}

BOOL ReleaseCapture(void) {
  g_capture = nullptr;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_CaptureMouse(SDL_FALSE);
  return TRUE;
}

HWND GetCapture(void) { return g_capture; }

HWND SetFocus(HWND hwnd) {
  HWND old = g_focus;
  Window* w = findWindow(hwnd);
  if (!w) return old;
  g_focus = hwnd;
  if (w->sdl && w->visible && !g_offscreen) SDL_SetWindowInputFocus(w->sdl);
  return old;
}

HWND GetFocus(void) { return g_focus; }

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove) {
  if (!msg) return FALSE;
  MSG m = {};
  if (!findMessage(&m, hwnd, first, last, (remove & PM_REMOVE) != 0)) return FALSE;
  *msg = m;
  return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last) {
  if (!msg || (hwnd && !findWindow(hwnd))) return -1;
  for (;;) {
    MSG m = {};
    if (findMessage(&m, hwnd, first, last, true)) {
      *msg = m;
      return m.message == WM_QUIT ? 0 : 1;
    }
    // Nothing to do: sleep until an event arrives or the next timer this
    // call could return is due (a due one outside the filter waits).
    uint64_t now = nowMs();
    uint64_t wait = 100;
    if (inRange(WM_TIMER, first, last))
      for (auto& t : g_timers)
        if (!hwnd || t.hwnd == hwnd) wait = std::min(wait, t.due > now ? t.due - now : 0);
    if (wait == 0) continue;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
      SDL_Delay((Uint32)wait);
      continue;
    }
    SDL_Event ev;
    if (SDL_WaitEventTimeout(&ev, (int)wait)) processSdlEvent(ev);
  }
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  return msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    ((TIMERPROC)msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, (DWORD)nowMs());
    return 0;
  }
  Window* w = findWindow(msg->hwnd);
  if (!w || !w->proc) return 0;
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// Safe from any thread: it touches only the locked queue and SDL's.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!queueMessage(hwnd, msg, wParam, lParam)) return FALSE;
  uint32_t wake = g_wakeEvent;
  if (wake && wake != (uint32_t)-1) {
    SDL_Event ev = {};
    ev.type = wake;
    SDL_PushEvent(&ev);
  }
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = findWindow(hwnd);
  if (!w || !w->proc) return 0;
  return w->proc(hwnd, msg, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  g_quit = true;
  g_quitCode = exitCode;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (hwnd && !findWindow(hwnd)) return 0;
  if (elapse < 10) elapse = 10;
  if (!hwnd) id = g_nextTimerId++;
  uint64_t due = nowMs() + elapse;
  for (auto& t : g_timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t.period = elapse;
      t.due = due;
      t.proc = proc;
      return hwnd ? 1 : id;
    }
  }
  g_timers.push_back({hwnd, id, elapse, due, proc});
  return hwnd ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it =
      std::find_if(g_timers.begin(), g_timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == g_timers.end()) return FALSE;
  g_timers.erase(it);
  return TRUE;
}

}  // extern "C"
#endif
