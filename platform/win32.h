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

typedef const char* LPCSTR;

extern "C" {
// Debugger output: written to standard error as it arrives.
void OutputDebugStringA(LPCSTR text);
}

#include "platform/dsound.h"

#endif
