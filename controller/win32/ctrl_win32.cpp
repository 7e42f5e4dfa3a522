#include "controller/win32/ctrl_win32.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "assets/resource_ids.h"
#include "controller/event.h"
#include "core/debug_log.h"
#include "view/opengl_win32.h"
#include "view/sound_win32.h"

namespace {

using res::kCmdExit;
using res::kCmdFullscreen;
const int32_t kEnvWindows = 1;
const double kMinClientWidth = 250.0;
const double kMinClientHeight = 187.5;
const double kFarPixel = 1 << 20;

// Client coordinates travel as 16-bit words; during capture they can be
// negative.
double signedWord(WORD w) { return w >= 32768 ? (double)w - 65536.0 : (double)w; }

DWORD WINAPI openUrlThread(LPVOID param) {
  char* text = static_cast<char*>(param);
  // As on Windows, an answer of 32 or less is a failure.
  const uintptr_t answer = (uintptr_t)ShellExecuteA(nullptr, "open", text, nullptr, nullptr, SW_SHOWNORMAL);
  if (answer <= 32) debugPrintf("openURL could not open %s (the shell answered %u).", text, (unsigned)answer);
  free(text);
  return 0;
}

// The OpenGL renderer on the window's device context; none without one.
std::unique_ptr<VIEW_Generic> makeRenderer(HWND window) {
  std::unique_ptr<VIEW_Generic> view;
  if (HDC dc = GetDC(window)) {
    view = std::make_unique<VIEW_OpenGLWin32>(dc, 1);
    ReleaseDC(window, dc);
  }
  return view;
}

}  // namespace

CTRL_Win32::CTRL_Win32(std::unique_ptr<CTRL_ScriptEngine> scriptEngine, HWND window)
    : CTRL_Win32(std::move(scriptEngine), window, makeRenderer(window), std::make_unique<VIEW_SoundWin32>(window)) {}

CTRL_Win32::CTRL_Win32(std::unique_ptr<CTRL_ScriptEngine> scriptEngine, HWND window, std::unique_ptr<VIEW_Generic> view,
                       std::unique_ptr<VIEW_Sound> output)
    : CTRL_Generic(std::move(scriptEngine), std::move(view), std::move(output)) {
  fullscreen = false;
  clock.timerRunning = false;
  savedMenu = nullptr;
  SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
  SetWindowTextA(window, "TrellismoPlayer");
}

UINT CTRL_Win32::framePeriod(bool haveRate, DWORD refreshRate) {
  if (!haveRate || refreshRate <= 1) return 16;
  int period = (int)(1000 / refreshRate) - 1;
  return (UINT)std::max(period, 10);
}

void CTRL_Win32::startFrameTimer(HWND window) {
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  bool have = EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) != FALSE;
  SetTimer(window, 0, framePeriod(have, mode.dmDisplayFrequency), nullptr);
  clock.timerRunning = false;
}

void CTRL_Win32::paint(HWND window) {
  PAINTSTRUCT ps;
  BeginPaint(window, &ps);
  if (HDC dc = GetDC(window)) {
    frame(dc, renderer.get());
    ReleaseDC(window, dc);
  }
  EndPaint(window, &ps);
}

LRESULT CTRL_Win32::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return 0;
  RECT client;
  if (GetClientRect(window, &client))
    setViewSize((double)(client.right - client.left), (double)(client.bottom - client.top));
  double x = signedWord(LOWORD(lParam)), y = signedWord(HIWORD(lParam));
  bool shift = (wParam & MK_SHIFT) != 0, control = (wParam & MK_CONTROL) != 0;
  MSG queued;

  switch (message) {
    case WM_SIZE:
      clock.timerRunning = false;
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) {
        startFrameTimer(window);
        if (soundOutput) soundOutput->resume();
      }
      return 0;
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_CLOSE:
      return onClose(window, message, wParam, lParam);
    case WM_ERASEBKGND:
      return 1;
    case WM_INPUT:
      onRawInput(lParam);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: {
      Event e;
      e.type = message == WM_KEYDOWN ? EVENT_KEY_DOWN : EVENT_KEY_UP;
      e.code = (int32_t)wParam;
      dispatchEvent(e);
      return 0;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kCmdExit:
          DestroyWindow(window);
          return 0;
        case kCmdFullscreen:
          toggleFullscreen(window);
          return 0;
        default:
          return DefWindowProcA(window, message, wParam, lParam);
      }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == VK_RETURN) {
        toggleFullscreen(window);
        return 0;
      }
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
      // A burst of ticks runs one frame. The burst is dropped before the
      // frame, not after it: a tick that comes due while a slow frame runs
      // starts the next frame at once instead of a whole period later.
      while (PeekMessageA(&queued, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      }
      paint(window);
      clock.timerRunning = true;
      return 0;
    case WM_MOUSEMOVE: {
      // A burst of moves is one move to where the mouse ended up.
      while (PeekMessageA(&queued, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {
        x = signedWord(LOWORD(queued.lParam));
        y = signedWord(HIWORD(queued.lParam));
      }
      onMouseMove(shift, control, x, y);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(window);
      SetFocus(window);
      onLeftButtonDown(x, y);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      onLeftButtonUp(x, y);
      return 0;
    case WM_RBUTTONDOWN:
      SetCapture(window);
      SetFocus(window);
      onRightButtonDown(x, y);
      return 0;
    case WM_RBUTTONUP:
      ReleaseCapture();
      onRightButtonUp(x, y);
      return 0;
    case WM_MOUSEWHEEL:
      SetFocus(window);
      onMouseWheel(shift, (double)GET_WHEEL_DELTA_WPARAM(wParam), mouse.windowMouse[0], mouse.windowMouse[1]);
      return 0;
    case WM_ENTERMENULOOP:
      CheckMenuItem(GetMenu(window), kCmdFullscreen, MF_BYCOMMAND | (fullscreen ? MF_CHECKED : MF_UNCHECKED));
      // The output is gone after a failure: pause only one that exists.
      if (soundOutput) soundOutput->pause();
      KillTimer(window, 0);
      clock.timerRunning = false;
      return 0;
    case WM_EXITMENULOOP:
      if (soundOutput) soundOutput->resume();
      startFrameTimer(window);
      return 0;
    case WM_SIZING:
      onSizing(window, wParam, reinterpret_cast<RECT*>(lParam));
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CTRL_Win32::onClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Event e;
  e.type = EVENT_CLOSE;
  if (dispatchEvent(e)) return 1;  // the scripts keep the window open
  if (renderer) {
    // Texture objects go while their context is current.
    if (HDC dc = GetDC(window)) {
      if (VIEW_OpenGL* gl = dynamic_cast<VIEW_OpenGL*>(renderer.get())) {
        if (gl->makeCurrent(dc)) {
          gl->flushTextureCache();
          gl->flushImagesRequested = 0;
          gl->doneCurrent(dc);
        }
        if (gl->makeCurrent(dc)) {
          gl->flushGlyphTextureCache();
          gl->flushGlyphsRequested = 0;
          gl->doneCurrent(dc);
        }
      }
      ReleaseDC(window, dc);
    }
    renderer.reset();
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void CTRL_Win32::onSizing(HWND window, WPARAM edge, RECT* r) {
  RECT outer, client;
  if (!r || !GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return;
  double frameW = (double)((outer.right - outer.left) - (client.right - client.left));
  double frameH = (double)((outer.bottom - outer.top) - (client.bottom - client.top));
  double clientW = std::max((double)(r->right - r->left) - frameW, kMinClientWidth);
  double clientH = std::max((double)(r->bottom - r->top) - frameH, kMinClientHeight);
  LONG width = (LONG)std::floor(frameW + clientW + 0.5);
  LONG height = (LONG)std::floor(frameH + clientH + 0.5);
  if (edge < WMSZ_LEFT || edge > WMSZ_BOTTOMRIGHT) return;
  if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
    r->left = r->right - width;
  else
    r->right = r->left + width;
  if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
    r->top = r->bottom - height;
  else
    r->bottom = r->top + height;
}

void CTRL_Win32::onRawInput(LPARAM input) {
  UINT size = 0;
  if (GetRawInputData((HRAWINPUT)input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0) return;
  if (size == 0) return;
  uint8_t* data = static_cast<uint8_t*>(malloc(size));
  if (!data) return;
  UINT got = GetRawInputData((HRAWINPUT)input, RID_INPUT, data, &size, sizeof(RAWINPUTHEADER));
  const size_t reportOffset = offsetof(RAWINPUT, data.hid.bRawData);
  if (got == size && !load.stopped && size >= reportOffset) {
    const RAWINPUT* raw = reinterpret_cast<const RAWINPUT*>(data);
    // Only HID input whose reports lie inside what was read is passed on.
    uint64_t bytes = (uint64_t)raw->data.hid.dwSizeHid * raw->data.hid.dwCount;
    if (raw->header.dwType == RIM_TYPEHID && bytes <= size - reportOffset && bytes <= INT32_MAX) {
      Event e;
      e.type = EVENT_DEVICE;
      e.code = (int32_t)(intptr_t)raw->header.hDevice;
      e.data = data + reportOffset;
      e.length = (int32_t)bytes;
      dispatchEvent(e);
    }
  }
  free(data);
}

int32_t CTRL_Win32::registerDevice(int32_t vendorId, int32_t productId, int32_t index) {
  UINT count = 0;
  if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0) return 0;
  if (count == 0) return 0;
  RAWINPUTDEVICELIST* list = static_cast<RAWINPUTDEVICELIST*>(malloc(count * sizeof(RAWINPUTDEVICELIST)));
  if (!list) return 0;
  UINT got = GetRawInputDeviceList(list, &count, sizeof(RAWINPUTDEVICELIST));
  if (got == (UINT)-1 || got == 0) {
    free(list);
    return 0;
  }
  int32_t match = 0;
  for (UINT i = 0; i < got; ++i) {
    RID_DEVICE_INFO info = {};
    info.cbSize = sizeof info;
    UINT size = sizeof info;
    if (GetRawInputDeviceInfoA(list[i].hDevice, RIDI_DEVICEINFO, &info, &size) == (UINT)-1) continue;
    if (info.dwType != RIM_TYPEHID || info.hid.dwVendorId != (DWORD)vendorId ||
        info.hid.dwProductId != (DWORD)productId)
      continue;
    if (match++ != index) continue;
    RAWINPUTDEVICE rid = {info.hid.usUsagePage, info.hid.usUsage, 0, nullptr};
    RegisterRawInputDevices(&rid, 1, sizeof rid);
    HANDLE device = list[i].hDevice;
    free(list);
    return (int32_t)(intptr_t)device;
  }
  free(list);
  return 0;
}

int32_t CTRL_Win32::sendToDevice(int32_t device, const uint8_t* bytes, int32_t length) {
  if (length < 0 || (!bytes && length > 0)) return 0;
  char name[1024];
  UINT size = sizeof name;
  UINT got = GetRawInputDeviceInfoA((HANDLE)(intptr_t)device, RIDI_DEVICENAME, name, &size);
  // A failed query leaves the buffer as it was: never open whatever is there.
  if (got == (UINT)-1 || got < 2) return 0;
  name[sizeof name - 1] = '\0';
  if (strlen(name) < 2) return 0;
  name[1] = '\\';
  HANDLE file =
      CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  WriteFile(file, bytes, (DWORD)length, &written, nullptr);
  CloseHandle(file);
  return (int32_t)written;
}

void CTRL_Win32::setCursor(int32_t shape) {
  LPCSTR name;
  switch (shape) {
    case 0:
      name = IDC_ARROW;
      break;
    case 1:
      name = IDC_SIZEALL;
      break;
    case 2:
    case 3:
      name = IDC_HAND;
      break;
    default:
      return;
  }
  SetCursor(LoadCursorA(nullptr, name));
}

void CTRL_Win32::warpCursor(void* deviceContext, const double point[2]) {
  HWND window = WindowFromDC((HDC)deviceContext);
  if (!window || !point) return;
  // The point comes from content positions: one that is no number is not
  // warped to, and a far one is held where truncating it stays defined
  // (no screen reaches that far, so the cursor lands on the edge anyway).
  if (!std::isfinite(point[0]) || !std::isfinite(point[1])) return;
  POINT p = {(LONG)std::min(std::max(point[0], -kFarPixel), kFarPixel),
             (LONG)std::min(std::max(point[1], -kFarPixel), kFarPixel)};
  ClientToScreen(window, &p);
  SetCursorPos(p.x, p.y);
  // The warp must not come back as a move.
  MSG queued;
  while (PeekMessageA(&queued, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {
  }
}

void CTRL_Win32::openURL(const char* text) {
  if (!text) return;
  // The thread reads the text after this returns: it gets its own copy.
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(n));
  if (!copy) return;
  memcpy(copy, text, n);
  HANDLE thread = CreateThread(nullptr, 0, openUrlThread, copy, 0, nullptr);
  if (!thread) {
    free(copy);
    return;
  }
  CloseHandle(thread);
}

void CTRL_Win32::getLanguage(char* out) {
  if (language[0] == '\0') {
    char country[64] = {};
    if (GetLocaleInfoA(GetUserDefaultUILanguage(), LOCALE_SISO3166CTRYNAME, country, sizeof country) > 0) {
      country[sizeof country - 1] = '\0';
      if (strlen(country) < 7) strcpy(language, country);
    }
  }
  if (out) strcpy(out, language);
}

void CTRL_Win32::setFullscreen(HWND window, bool on) {
  if (on == fullscreen) return;
  if (!on) {
    SetMenu(window, savedMenu);
    SetWindowLongA(window, GWL_STYLE, savedStyle);
    SetWindowPlacement(window, &savedPlacement);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    fullscreen = false;
    return;
  }
  savedPlacement.length = sizeof savedPlacement;
  GetWindowPlacement(window, &savedPlacement);
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  LONG cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  DISPLAY_DEVICEA device = {};
  device.cb = sizeof device;
  for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &device, 0); ++i) {
    if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) continue;
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) continue;
    LONG left = mode.dmPosition.x, top = mode.dmPosition.y;
    LONG right = left + (LONG)mode.dmPelsWidth, bottom = top + (LONG)mode.dmPelsHeight;
    if (cx < left || cx >= right || cy < top || cy >= bottom) continue;
    savedStyle = GetWindowLongA(window, GWL_STYLE);
    savedMenu = GetMenu(window);
    SetMenu(window, nullptr);
    SetWindowLongA(window, GWL_STYLE, (LONG)(WS_POPUP | WS_VISIBLE | WS_SYSMENU));
    SetWindowPos(window, HWND_TOPMOST, left, top, right - left, bottom - top, SWP_SHOWWINDOW);
    fullscreen = true;
    return;
  }
}

void CTRL_Win32::toggleFullscreen(HWND window) {
  if (platform != kEnvWindows) return;
  clock.timerRunning = false;
  setFullscreen(window, !fullscreen);
}
