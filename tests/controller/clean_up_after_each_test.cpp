// All of this program's tests may run in one process: the windows' quit
// message and the keys a test leaves held must not reach the next test.
#include "support/platform_state.h"

namespace {

const bool registered = testsupport::cleanUpAfterEachTest();

}  // namespace
