// A hidden window of a given size with the OpenGL renderer on it, for the
// rendering benchmarks (run under Xvfb's llvmpipe).
#pragma once

#include <memory>

#include "platform/testing.h"
#include "view/opengl_win32.h"

class OffscreenView {
 public:
  OffscreenView(const char* className, int width, int height) {
    vsplat::setOffscreen(true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    window = CreateWindowExA(0, wc.lpszClassName, "bench", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                             nullptr, nullptr);
    dc = GetDC(window);
    view = std::make_unique<VIEW_OpenGLWin32>(dc, 0, 0);
  }
  ~OffscreenView() {
    if (view->makeCurrent(dc)) view->releaseBuffers();
    view.reset();
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
  OffscreenView(const OffscreenView&) = delete;
  OffscreenView& operator=(const OffscreenView&) = delete;

  HWND window = nullptr;
  HDC dc = nullptr;
  std::unique_ptr<VIEW_OpenGLWin32> view;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
};
