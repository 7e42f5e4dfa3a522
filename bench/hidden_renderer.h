// A hidden window of a given size with the OpenGL renderer on it, for the
// benches that draw (under Xvfb's llvmpipe, like the rendering tests).
#pragma once

#include <memory>

#include "platform/testing.h"
#include "view/opengl_win32.h"

struct HiddenRenderer {
  HWND window = nullptr;
  HDC dc = nullptr;
  std::unique_ptr<VIEW_OpenGLWin32> view;

  HiddenRenderer(int width, int height) {
    vsplat::setOffscreen(true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.lpszClassName = "vsBenchRenderer";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, wc.lpszClassName, "bench", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                             nullptr);
    dc = GetDC(window);
    view = std::make_unique<VIEW_OpenGLWin32>(dc, 0);
  }
  ~HiddenRenderer() {
    if (view->makeCurrent(dc)) {
      view->releaseBuffers();
      view->flushTextureCache();
    }
    view.reset();
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
  HiddenRenderer(const HiddenRenderer&) = delete;
  HiddenRenderer& operator=(const HiddenRenderer&) = delete;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
};
