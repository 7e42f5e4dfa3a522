// A failure stops the sound output and deletes it, once.
#include <gtest/gtest.h>

#include <string>

#include "controller/ctrl_generic.h"
#include "platform/testing.h"
#include "view/sound.h"

namespace {

class RecordingOutput : public VIEW_Sound {
 public:
  explicit RecordingOutput(std::string* log) : log_(log) {}
  ~RecordingOutput() override { *log_ += "deleted;"; }
  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>&) override { return 0; }
  void pause() override { *log_ += "paused;"; }
  void resume() override { *log_ += "resumed;"; }

 private:
  std::string* log_;
};

TEST(SoundOutputOnFailure, IsPausedThenDeletedAndTheFieldCleared) {
  vsplat::DebugCapture quiet;  // fail logs its reason
  std::string log;
  CTRL_Generic ctrl(nullptr, nullptr, std::make_unique<RecordingOutput>(&log));
  ctrl.fail("first");
  EXPECT_EQ("paused;deleted;", log);
  EXPECT_EQ(nullptr, ctrl.soundOutput);
  // Only the first failure counts: a later one leaves an output alone.
  std::string later;
  ctrl.setSoundOutput(std::make_unique<RecordingOutput>(&later));
  ctrl.fail("second");
  EXPECT_EQ("", later);
  ctrl.setSoundOutput(nullptr);  // deleted while `later` is still there
}

}  // namespace
