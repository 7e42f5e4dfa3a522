#include "core/assert.h"

#include <cstdio>
#include <cstdlib>

// Straight to standard error rather than through the debug log: a test or a
// fuzz target may have taken the log for itself, and the message must be
// seen whatever state the dying process is in.
void vsAssertFailed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}
