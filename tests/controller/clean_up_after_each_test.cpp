// All of this program's tests may run in one process: the windows' quit
// message and the keys a test leaves held must not reach the next test.
#include "program/resources.h"
#include "support/platform_state.h"

namespace {

const bool registered = testsupport::cleanUpAfterEachTest();

// Menus, accelerators and the About box, as the player's entry installs them.
const bool installed = (CTRL_installProgramResources(), true);

}  // namespace
