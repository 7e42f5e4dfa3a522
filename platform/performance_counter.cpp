#ifndef _WIN32
#include <SDL.h>

#include "platform/win32.h"

extern "C" BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return 0;
  count->QuadPart = static_cast<int64_t>(SDL_GetPerformanceCounter());
  return 1;
}

extern "C" BOOL QueryPerformanceFrequency(LARGE_INTEGER* freq) {
  if (!freq) return 0;
  freq->QuadPart = static_cast<int64_t>(SDL_GetPerformanceFrequency());
  return freq->QuadPart > 0;
}
#endif
