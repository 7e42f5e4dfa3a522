#include "core/debug_log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/win32.h"

void debugPrintf(const char* format, ...) {
  char line[1028];
  va_list args;
  va_start(args, format);
  // vsnprintf never writes past the buffer and always terminates it.
  if (vsnprintf(line, sizeof line, format, args) < 0) line[0] = '\0';
  va_end(args);
  OutputDebugStringA(line);
  OutputDebugStringA("\n");
}
