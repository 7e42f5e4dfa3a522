// The OpenGL renderer on a Windows device context: owns a WGL context and
// makes it current only between beginFrame and endFrame.
#pragma once

#include "view/opengl.h"

class VIEW_OpenGLWin32 : public VIEW_OpenGL {
 public:
  // Sets the window's pixel format, creates the context, picks the geometry
  // path and sets the swap interval. Without a context the renderer still
  // exists, but every frame is skipped.
  VIEW_OpenGLWin32(HDC dc, int32_t swapInterval);
  ~VIEW_OpenGLWin32() override;

  // The one pixel format the renderer asks for: double-buffered RGBA with
  // depth and an 8-bit stencil.
  static PIXELFORMATDESCRIPTOR pixelFormat();

  bool makeCurrent(HDC dc) override;
  bool doneCurrent(HDC dc) override;
  bool swapBuffers(HDC dc) override;

  HGLRC context = nullptr;

 private:
  HDC dc_;  // the context's device context, for the clean-up on destruction
};
