// Device contexts and WGL over SDL's OpenGL contexts.
#ifndef _WIN32
#include <SDL.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/internal.h"

namespace vsplat {
namespace {

struct Context {
  SDL_GLContext gl;
  HWND window;  // the window it was made on
};

std::map<uintptr_t, Context> g_contexts;
uintptr_t g_nextContext = 0x8000;
std::map<HWND, PIXELFORMATDESCRIPTOR> g_formats;

SDL_Window* windowOfDc(HDC dc) {
  Window* w = findWindow(WindowFromDC(dc));
  return w ? w->sdl : nullptr;
}

int WINAPI swapIntervalExt(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? TRUE : FALSE; }

}  // namespace
}  // namespace vsplat

using namespace vsplat;

extern "C" {

// There is one pixel format: the window's visual, chosen when it was made
// (double-buffered RGBA8 with the deepest depth offered and 8 stencil bits,
// the compatibility profile). Format 1 stands for it.
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
  if (!windowOfDc(dc) || !pfd || !(pfd->dwFlags & PFD_SUPPORT_OPENGL)) return 0;
  return 1;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd) {
  HWND hwnd = WindowFromDC(dc);
  if (!windowOfDc(dc) || format != 1) return FALSE;
  // A window's pixel format is set once, as on Windows.
  if (g_formats.count(hwnd)) return FALSE;
  PIXELFORMATDESCRIPTOR f = {};
  if (pfd) f = *pfd;
  g_formats[hwnd] = f;
  return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
  SDL_Window* win = windowOfDc(dc);
  if (!win || !(SDL_GetWindowFlags(win) & SDL_WINDOW_OPENGL)) return nullptr;
  SDL_Window* prevWin = SDL_GL_GetCurrentWindow();
  SDL_GLContext prev = SDL_GL_GetCurrentContext();
  // The attributes the window's visual was made with.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GLContext gl = SDL_GL_CreateContext(win);
  if (!gl) {
    // The reason exists only here; the caller can log only that it failed.
    std::string why = std::string("wglCreateContext: ") + SDL_GetError() + "\n";
    OutputDebugStringA(why.c_str());
    return nullptr;
  }
  // Creating a context does not make it current on Windows.
  SDL_GL_MakeCurrent(prevWin, prev);
  uintptr_t h = g_nextContext++;
  g_contexts[h] = {gl, WindowFromDC(dc)};
  return (HGLRC)h;
}

BOOL wglDeleteContext(HGLRC rc) {
  auto it = g_contexts.find((uintptr_t)rc);
  if (it == g_contexts.end()) return FALSE;
  if (SDL_GL_GetCurrentContext() == it->second.gl) SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(it->second.gl);
  g_contexts.erase(it);
  return TRUE;
}

BOOL wglMakeCurrent(HDC dc, HGLRC rc) {
  if (!rc) {
    SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    return TRUE;
  }
  auto it = g_contexts.find((uintptr_t)rc);
  SDL_Window* win = windowOfDc(dc);
  if (it == g_contexts.end() || !win) return FALSE;
  return SDL_GL_MakeCurrent(win, it->second.gl) == 0 ? TRUE : FALSE;
}

PROC wglGetProcAddress(LPCSTR name) {
  if (!name) return nullptr;
  if (strcmp(name, "wglSwapIntervalEXT") == 0) return (PROC)(void*)&swapIntervalExt;
  if (!SDL_GL_GetCurrentContext()) return nullptr;
  return (PROC)SDL_GL_GetProcAddress(name);
}

BOOL SwapBuffers(HDC dc) {
  SDL_Window* win = windowOfDc(dc);
  if (!win) return FALSE;
  SDL_GL_SwapWindow(win);
  return TRUE;
}

}  // extern "C"
#endif
