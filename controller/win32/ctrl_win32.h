// The controller of the Windows player: CTRL_Generic bound to one top-level
// window. It owns the OpenGL renderer and the sound output made on that
// window, turns window messages into frames and input, and implements the
// platform operations (HID devices, URLs, language, cursor, fullscreen).
#pragma once

#include <cstdint>
#include <memory>

#include "controller/ctrl_generic.h"
#include "platform/win32.h"

class CTRL_Win32 : public CTRL_Generic {
 public:
  // Makes the OpenGL renderer and the sound output on the window.
  CTRL_Win32(std::unique_ptr<CTRL_ScriptEngine> engine, HWND window);
  // With the outputs given instead.
  CTRL_Win32(std::unique_ptr<CTRL_ScriptEngine> engine, HWND window, std::unique_ptr<VIEW_Generic> renderer,
             std::unique_ptr<VIEW_Sound> soundOutput);

  int32_t registerDevice(int32_t vendorId, int32_t productId, int32_t index) override;
  int32_t sendToDevice(int32_t device, const uint8_t* bytes, int32_t length) override;
  void setCursor(int32_t shape) override;
  void warpCursor(void* deviceContext, const double point[2]) override;
  void openURL(const char* text) override;
  void getLanguage(char* out) override;

  LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // One frame inside BeginPaint/EndPaint.
  void paint(HWND window);
  // (Re)starts the frame timer; the next frame then has dt = 0.
  void startFrameTimer(HWND window);
  void setFullscreen(HWND window, bool on);
  void toggleFullscreen(HWND window);

  // The timer period in ms for a display mode's refresh rate (rate unread:
  // haveRate false). Rates of 0 and 1 mean "the hardware's default" and
  // take the fallback.
  static UINT framePeriod(bool haveRate, DWORD refreshRate);

  HMENU savedMenu = nullptr;  // the window's menu while fullscreen
  bool fullscreen = false;
  WINDOWPLACEMENT savedPlacement = {};
  int32_t savedStyle = 0;

 private:
  void onSizing(HWND window, WPARAM edge, RECT* proposed);
  void onRawInput(LPARAM input);
  LRESULT onClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
