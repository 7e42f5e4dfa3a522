#ifndef _WIN32
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32.h"

namespace {
std::mutex g_mutex;
std::vector<std::string>* g_capture = nullptr;  // set while a test captures
}  // namespace

extern "C" void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_capture) {
    g_capture->emplace_back(text);
    return;
  }
  fputs(text, stderr);
  fflush(stderr);
}

namespace vsplat {

DebugCapture::DebugCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture = new std::vector<std::string>();
}

DebugCapture::~DebugCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  delete g_capture;
  g_capture = nullptr;
}

std::string DebugCapture::text() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string all;
  for (const auto& s : *g_capture) all += s;
  return all;
}

size_t DebugCapture::calls() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_capture->size();
}

const std::string& DebugCapture::call(size_t i) const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return (*g_capture)[i];
}

void DebugCapture::clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_capture->clear();
}

}  // namespace vsplat
#endif
