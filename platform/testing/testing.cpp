#ifndef _WIN32
#include "platform/testing.h"

#include "platform/internal.h"

namespace vsplat {

void setOffscreen(bool on) { g_offscreen = on; }
void setMenuChooser(std::function<WORD(HMENU)> chooser) { g_menuChooser = std::move(chooser); }
void setDialogRunner(std::function<INT_PTR(HWND, DLGPROC)> runner) { g_dialogRunner = std::move(runner); }
void setTestClock(std::function<uint64_t()> clock) { g_testClock = std::move(clock); }

uint32_t sdlWindowId(HWND hwnd) {
  Window* w = findWindow(hwnd);
  return w && w->sdl ? SDL_GetWindowID(w->sdl) : 0;
}

}  // namespace vsplat
#endif
