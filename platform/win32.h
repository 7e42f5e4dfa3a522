// The platform interface the player's Windows-side code is written against.
// On Windows this is the system's own headers; elsewhere it is our own
// implementation of just the subset the player calls (see platform/*.cpp).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
#else

#include <cstdint>

typedef int BOOL;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef const char* LPCSTR;
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
} LARGE_INTEGER;

extern "C" {
// Debugger output: written to standard error as it arrives.
void OutputDebugStringA(LPCSTR text);
// Time.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* freq);
}

#include "platform/dsound.h"

#endif
