// Capturing the debugger output and serving a package for tests.
#ifndef _WIN32
#include <mutex>
#include <string>
#include <vector>

#include "platform/seams.h"
#include "platform/testing.h"

namespace vsplat {

namespace {
std::mutex g_mutex;
std::vector<std::string> g_calls;
}  // namespace

DebugCapture::DebugCapture() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
  }
  setDebugSink([](const char* text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.emplace_back(text);
  });
}

DebugCapture::~DebugCapture() {
  setDebugSink(nullptr);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
}

std::string DebugCapture::text() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string all;
  for (const auto& s : g_calls) all += s;
  return all;
}

size_t DebugCapture::calls() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls.size();
}

const std::string& DebugCapture::call(size_t i) const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls[i];
}

void DebugCapture::clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
}

void setTestPackage(const std::vector<uint8_t>* bytes) { overrideProgramPackage(bytes); }

}  // namespace vsplat
#endif
