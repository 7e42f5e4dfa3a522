// A cap on the address space of the process, for death-style tests that
// check what happens when memory runs out (run them in a child process:
// the cap cannot be lifted again).
#pragma once

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace testsupport {

// Caps the address space at what the process maps now plus headroom
// bytes; false when that cannot be told or set.
inline bool capAddressSpace(size_t headroom) {
  std::ifstream status("/proc/self/status");
  std::string line;
  long long kb = -1;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) kb = std::atoll(line.c_str() + 7);
  if (kb < 0) return false;
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(kb) * 1024 + headroom;
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

// Address sanitizer reserves far more than any cap allows.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanCapMemory = false;
#else
constexpr bool kCanCapMemory = true;
#endif

}  // namespace testsupport
