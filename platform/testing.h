// Test side of the platform layer: lets tests observe what the player sends
// to the platform. Not used by the player itself.
#pragma once

#include <string>

namespace vsplat {

// Captures every OutputDebugStringA string, one entry per call, instead of
// writing it to standard error, until the capture is destroyed.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // Every string received so far, concatenated.
  std::string text() const;
  // The number of OutputDebugStringA calls received so far.
  size_t calls() const;
  const std::string& call(size_t i) const;
  void clear();
};

}  // namespace vsplat
