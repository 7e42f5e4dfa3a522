#include "support/platform_state.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/testing.h"
#include "platform/win32.h"

namespace testsupport {

void forgetPlatformState() {
#ifndef _WIN32
  vsplat::setMenuChooser(nullptr);
  vsplat::setDialogRunner(nullptr);
  vsplat::setTestPackage(nullptr);
  vsplat::setOffscreen(false);
  vsplat::setTestClock(nullptr);
  vsplat::removeFakeHidDevices();
#endif
  ReleaseCapture();
  // Thread messages, a posted quit, SDL events still on their way to
  // windows that are gone.
  MSG m;
  for (int n = 0; n < 10000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++n) {
  }
  // The key state follows the key messages taken from the queue: keys left
  // held are let go the same way, and a click ends an Alt pressed alone.
  for (int vk = 1; vk < 256; ++vk)
    if (GetKeyState(vk) < 0) PostMessageA(nullptr, WM_KEYUP, (WPARAM)vk, (LPARAM)0xC0000001u);
  PostMessageA(nullptr, WM_LBUTTONDOWN, 0, 0);
  for (int n = 0; n < 1000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++n) {
  }
}

namespace {

class CleanUp : public ::testing::EmptyTestEventListener {
 public:
  explicit CleanUp(std::function<void()> before) : before_(std::move(before)) {}
  void OnTestEnd(const ::testing::TestInfo&) override {
    if (before_) before_();
    forgetPlatformState();
  }

 private:
  std::function<void()> before_;
};

}  // namespace

bool cleanUpAfterEachTest(std::function<void()> before) {
  ::testing::UnitTest::GetInstance()->listeners().Append(new CleanUp(std::move(before)));
  return true;
}

}  // namespace testsupport
