#include "view/opengl_win32.h"

#include <GL/glew.h>

#include "core/debug_log.h"

namespace {
typedef BOOL(WINAPI* SwapIntervalProc)(int interval);
}

PIXELFORMATDESCRIPTOR VIEW_OpenGLWin32::pixelFormat() {
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_SWAP_EXCHANGE;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cAlphaBits = 8;
  pfd.cDepthBits = 32;
  pfd.cStencilBits = 8;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

VIEW_OpenGLWin32::VIEW_OpenGLWin32(HDC dc, int32_t swapInterval) : dc_(dc) {
  PIXELFORMATDESCRIPTOR pfd = pixelFormat();
  // A window keeps the format it was given first; either way we go on.
  SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd);

  context = wglCreateContext(dc);
  if (!context) {
    // Every frame is skipped from here on: say so, or the window is black
    // with nothing in the log to tell why.
    debugPrintf("OpenGL: no rendering context for the window, so nothing is drawn (%s).",
                ChoosePixelFormat(dc, &pfd) ? "the driver refused one" : "no OpenGL pixel format");
    return;
  }
  wglMakeCurrent(dc, context);
  const SwapIntervalProc swapInterval_ =
      reinterpret_cast<SwapIntervalProc>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
  detectGeometryPath();
  if (swapInterval_) swapInterval_(swapInterval);
  wglMakeCurrent(dc, nullptr);
}

VIEW_OpenGLWin32::~VIEW_OpenGLWin32() {
  if (!context) return;
  // Buffer objects go while their context is current; when it cannot be made
  // current they go with the context itself.
  if (wglMakeCurrent(dc_, context)) {
    releaseBuffers();
    wglMakeCurrent(dc_, nullptr);
  }
  wglDeleteContext(context);
  context = nullptr;
}

bool VIEW_OpenGLWin32::makeCurrent(HDC dc) { return context && wglMakeCurrent(dc, context) == TRUE; }
bool VIEW_OpenGLWin32::doneCurrent(HDC dc) { return wglMakeCurrent(dc, nullptr) == TRUE; }
bool VIEW_OpenGLWin32::swapBuffers(HDC dc) { return SwapBuffers(dc) == TRUE; }
