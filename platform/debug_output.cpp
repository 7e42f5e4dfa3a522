#ifndef _WIN32
#include <cstdio>
#include <functional>
#include <mutex>

#include "platform/seams.h"
#include "platform/win32.h"

namespace {
std::mutex g_mutex;
std::function<void(const char*)> g_sink;
}  // namespace

extern "C" void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_sink) {
    g_sink(text);
    return;
  }
  fputs(text, stderr);
  fflush(stderr);
}

namespace vsplat {

void setDebugSink(std::function<void(const char*)> sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_sink = std::move(sink);
}

}  // namespace vsplat
#endif
