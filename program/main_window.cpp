#include "program/main_window.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "assets/resource_ids.h"
#include "controller/byte_buffer.h"
#include "controller/win32/ctrl_win32.h"
#include "core/debug_log.h"
#include "model/font_library.h"
#include "script/engine.h"

namespace {

const char kClassName[] = "vKorplayer";
using res::kAboutDialog;
using res::kAcceleratorsId;
using res::kClassIcon;
using res::kCmdAbout;
using res::kFirstLanguage;
using res::kLastLanguage;
using res::kMenuId;
using res::kPackageId;
const char* const kLanguageCodes[] = {"FR", "DE", "IT", "ES", "RU", "ZH", "US"};
const DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
const DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
char g_language[3] = {};

CTRL_Win32* setUpController(HWND window) {
  CTRL_Win32* controller = new CTRL_Win32(std::make_unique<LMP_Engine>(), window);
  controller->setViewSize(1024, 768);
  controller->setContentAspect(0.75);
  SetWindowTextA(window, "Vostrelle");
  return controller;
}

std::unique_ptr<ByteBuffer> copyPackage() { return copyEmbeddedPackage(g_instance); }

}  // namespace

// The resource's bytes are read once, straight into the buffer the package
// is unscrambled in; the resource itself is let go after.
std::unique_ptr<ByteBuffer> copyEmbeddedPackage(HINSTANCE instance) {
  auto buffer = std::make_unique<ByteBuffer>();
  HRSRC res = FindResourceA(instance, MAKEINTRESOURCEA(kPackageId), RT_RCDATA);
  DWORD size = res ? SizeofResource(instance, res) : 0;
  HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes && size > 0 && size <= (DWORD)INT32_MAX && buffer->resize((int32_t)size)) memcpy(buffer->data, bytes, size);
  if (loaded) FreeResource(loaded);
  return buffer;
}

HWND mainWindow() { return g_mainWindow; }
const char* chosenLanguage() { return g_language; }

bool createMainWindow(HINSTANCE instance, int show) {
  g_instance = instance;
  g_mainWindow = CreateWindowExA(kExStyle, kClassName, nullptr, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!g_mainWindow) {
    debugPrintf("The main window could not be created: nothing can be shown.");
    return false;
  }
  CTRL_Win32* controller = setUpController(g_mainWindow);
  controller->openPackage(copyPackage());

  // Client area 1024 x floor(0.75 x 1024 + 0.5), the frame added around it.
  RECT outer, client;
  GetWindowRect(g_mainWindow, &outer);
  GetClientRect(g_mainWindow, &client);
  int frameW = (outer.right - outer.left) - (client.right - client.left);
  int frameH = (outer.bottom - outer.top) - (client.bottom - client.top);
  int height = (int)std::floor(0.75 * 1024 + 0.5);
  SetWindowPos(g_mainWindow, nullptr, 0, 0, 1024 + frameW, height + frameH, SWP_NOMOVE | SWP_NOZORDER);

  ShowWindow(g_mainWindow, show);
  SetForegroundWindow(g_mainWindow);
  if (GetMenu(g_mainWindow)) DrawMenuBar(g_mainWindow);
  return true;
}

bool rebuildForLanguage() {
  std::unique_ptr<ByteBuffer> package = copyPackage();
  RECT r = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
  bool haveRect = g_mainWindow && GetWindowRect(g_mainWindow, &r);
  HWND window =
      CreateWindowExA(kExStyle, kClassName, nullptr, kStyle, r.left, r.top, haveRect ? r.right - r.left : CW_USEDEFAULT,
                      haveRect ? r.bottom - r.top : CW_USEDEFAULT, nullptr, nullptr, g_instance, nullptr);
  if (!window) return false;
  CTRL_Win32* controller = setUpController(window);
  if (g_language[0]) controller->setLanguage(g_language);
  controller->openPackage(std::move(package));
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  HWND old = g_mainWindow;
  g_mainWindow = window;
  if (old) DestroyWindow(old);
  if (GetMenu(window)) DrawMenuBar(window);
  return true;
}

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kCmdAbout) {
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(kAboutDialog), window, aboutDlgProc, 0);
    return 0;
  }
  if (message == WM_COMMAND && LOWORD(wParam) >= kFirstLanguage && LOWORD(wParam) <= kLastLanguage) {
    const char* code = kLanguageCodes[LOWORD(wParam) - kFirstLanguage];
    strncpy(g_language, code, sizeof g_language - 1);
    g_language[sizeof g_language - 1] = '\0';
    rebuildForLanguage();
    return 0;
  }
  CTRL_Win32* controller = reinterpret_cast<CTRL_Win32*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!controller) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    KillTimer(window, 0);
    controller->stopFrameClock();
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete controller;
    if (CTRL_Generic::liveControllers() <= 0) PostQuitMessage(0);
    return 0;
  }
  return controller->windowProc(window, message, wParam, lParam);
}

INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = mainWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kClassIcon));
  wc.lpszMenuName = MAKEINTRESOURCEA(kMenuId);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  MDL_createFontLibrary();
  createMainWindow(instance, show);
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(kAcceleratorsId));
  MSG msg;
  // GetMessageA gives -1 on error: only a real message keeps the loop going.
  while (CTRL_Generic::liveControllers() != 0 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(g_mainWindow, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  MDL_destroyFontLibrary();
  UnregisterClassA(kClassName, instance);
  return 0;
}
