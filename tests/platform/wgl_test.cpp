#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cstring>

#include "test_window.h"
#include "view/opengl_win32.h"

TEST(Wgl, ContextKeepsStencilUsesTheCompatibilityProfileAndLoadsGlew) {
  static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the descriptor is 40 bytes");
  HWND w = testwin::make();
  HDC dc = GetDC(w);
  PIXELFORMATDESCRIPTOR pfd = VIEW_OpenGLWin32::pixelFormat();
  int format = ChoosePixelFormat(dc, &pfd);
  ASSERT_NE(format, 0);
  EXPECT_TRUE(SetPixelFormat(dc, format, &pfd));
  HGLRC rc = wglCreateContext(dc);
  ASSERT_TRUE(rc);
  ASSERT_TRUE(wglMakeCurrent(dc, rc));
  GLint stencil = 0, depth = 0;
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_EQ(stencil, 8);
  EXPECT_GE(depth, 24);
  // Fixed-function calls work: no core profile.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  glewExperimental = GL_TRUE;
  EXPECT_EQ(glewInit(), (GLenum)GLEW_OK);
  EXPECT_TRUE(glGenBuffers != nullptr);
  typedef BOOL(WINAPI * SwapInterval)(int);
  SwapInterval swap = (SwapInterval)(void*)wglGetProcAddress("wglSwapIntervalEXT");
  ASSERT_TRUE(swap);
  swap(1);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_TRUE(SwapBuffers(dc));
  EXPECT_TRUE(wglMakeCurrent(dc, nullptr));
  EXPECT_TRUE(wglDeleteContext(rc));
  EXPECT_FALSE(wglMakeCurrent(dc, rc));
  ReleaseDC(w, dc);
}
