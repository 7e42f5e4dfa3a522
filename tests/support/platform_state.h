// Tests that share one process share the platform layer's per-thread state:
// the message queue (a posted quit included), the key state, capture and the
// test switches. These put it back as a fresh process finds it.
#pragma once

#include <functional>

namespace testsupport {

// Empties the queue without dispatching, lets go of every key still down,
// releases the capture and turns the test switches off. Windows are the
// caller's: destroy them first, so that what they leave is emptied too.
void forgetPlatformState();

// Runs before() and then forgetPlatformState() after every test of this
// program; call it once, during static initialisation.
bool cleanUpAfterEachTest(std::function<void()> before = nullptr);

}  // namespace testsupport
