// All of this program's tests may run in one process: each leaves the
// platform layer as it found it.
#include "program/resources.h"
#include "support/platform_state.h"
#include "test_window.h"

namespace {

const bool registered = testsupport::cleanUpAfterEachTest(testwin::cleanUp);

// Menus, accelerators and the About box, as the player's entry installs them.
const bool installed = (CTRL_installProgramResources(), true);

}  // namespace
