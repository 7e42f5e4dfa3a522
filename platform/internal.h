// Shared state of the platform layer's implementation files. Not for the
// player's code: that uses platform/win32.h only.
#pragma once

#ifndef _WIN32
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace vsplat {

struct Window {
  uint32_t handle = 0;
  std::string className;
  WNDPROC proc = nullptr;
  UINT classStyle = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string title;
  RECT client = {0, 0, 0, 0};  // the client area in screen coordinates
  HMENU menu = nullptr;
  LONG_PTR userData = 0;
  SDL_Window* sdl = nullptr;
  bool visible = false;
  bool invalid = false;
  bool destroying = false;
  bool dialog = false;  // a dialog box: no SDL window of its own
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  bool topmost = false;
};

struct MenuItem {
  WORD id = 0;
  std::string text;
  UINT flags = 0;  // MF_CHECKED, MF_POPUP, MF_RIGHTJUSTIFY
  HMENU sub = nullptr;
};

struct Menu {
  std::vector<MenuItem> items;
};

// A window handle for a dialog box (no SDL window of its own).
HWND newDialogWindow(const char* title);
void destroyDialogWindow(HWND dialog);

// Windows by handle; null when the handle is stale or unknown.
Window* findWindow(HWND hwnd);
Window* findWindowBySdl(uint32_t sdlId);
HWND handleOf(const Window* w);
Menu* findMenu(HMENU menu);

// SDL's video subsystem, started on first use (X11 driver, for GLX).
bool ensureVideo(const char* className = nullptr);

// Keyboard translation (input.cpp).
int virtualKeyOf(const SDL_Keysym& key);
// Turns one SDL event into window messages (sent or queued).
void processSdlEvent(const SDL_Event& ev);
void postInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The key state as of the last message removed from the queue.
void noteKeyMessage(const MSG& msg);
bool keyDown(int vk);
// Whether the Alt key just released was pressed with no other key or button.
bool altPressedAlone();
void forgetAltAlone();
HWND focusWindow();
HWND captureWindow();
void handleWindowEvent(const SDL_WindowEvent& e);

// The menu loop DefWindowProcA runs on SC_KEYMENU (menu.cpp).
void runMenuLoop(HWND hwnd);

// GTK side (gtk_shell.cpp): the chosen command, 0 for none.
WORD gtkPopupMenu(SDL_Window* window, HMENU menu);
// Runs a modal dialog, calling proc as the dialog's window procedure.
void gtkRunDialog(HWND dialog, HWND owner, const struct DialogDef& def, DLGPROC proc, LPARAM param);

// Raw input: pending HID reads become WM_INPUT for the focused window.
void pollRawInput();

// Kernel objects behind a HANDLE (threads, device files); CloseHandle
// deletes them.
struct KernelObject {
  virtual ~KernelObject() = default;
};
HANDLE newHandle(KernelObject* object);
KernelObject* findHandle(HANDLE handle);

// Test hooks (testing.cpp): null when not testing.
extern std::function<WORD(HMENU)> g_menuChooser;
extern std::function<INT_PTR(HWND, DLGPROC)> g_dialogRunner;
extern bool g_offscreen;                       // windows shown to the layer but never mapped on screen
extern std::function<uint64_t()> g_testClock;  // milliseconds, instead of SDL's ticks

}  // namespace vsplat
#endif
