// All of this program's tests may run in one process: each leaves the
// platform layer as it found it.
#include "support/platform_state.h"
#include "test_window.h"

namespace {

const bool registered = testsupport::cleanUpAfterEachTest(testwin::cleanUp);

}  // namespace
