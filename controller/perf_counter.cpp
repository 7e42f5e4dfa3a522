#include "controller/perf_counter.h"

#include "model/constants.h"
#include "platform/win32.h"

namespace {

// Used only when the frequency cannot be read.
const double kFallbackSecondsPerCount = widen(4e-10f);

double g_secondsPerCount = 0;  // 0 until first read

}  // namespace

bool CTRL_readCounter(double* count) {
  LARGE_INTEGER now;
  if (!QueryPerformanceCounter(&now)) return false;
  *count = static_cast<double>(now.QuadPart);
  return true;
}

void CTRL_refreshSecondsPerCount() {
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
    g_secondsPerCount = 1.0 / static_cast<double>(frequency.QuadPart);
  else if (g_secondsPerCount == 0)
    g_secondsPerCount = kFallbackSecondsPerCount;
}

double CTRL_secondsPerCount() {
  if (g_secondsPerCount == 0) CTRL_refreshSecondsPerCount();
  return g_secondsPerCount;
}
