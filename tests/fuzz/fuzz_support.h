// What the fuzz targets share: a quiet log, packages served past the
// signature check, a hidden window to draw in, a mixer that mixes the same
// amount whatever the clock says, and frames run as the player runs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controller/ctrl_generic.h"
#include "platform/win32.h"
#include "view/sound.h"

namespace fuzz {

// The player's debug log goes nowhere from here on: a line or two for each
// refused input would bury libFuzzer's own status lines. With VS_FUZZ_LOG
// set in the environment it goes to standard error as usual, to see what a
// finding does when it is run again.
void quietLog();

// quietLog, and for a target that draws, the hidden window: without one
// (no display) the target says so and ends, rather than fuzz without it.
void setUpDrawing(const char* target);

// Serves these members (stored, in this order) as the controller's package,
// as if it had passed the signature check: the loaders read them as they
// read any package file, without paying for signing on every input.
void serveMembers(CTRL_Generic& controller, const std::vector<std::pair<std::string, std::string>>& members);
// The same for one member holding the fuzzer's bytes.
void serveMember(CTRL_Generic& controller, const char* name, const uint8_t* data, size_t size);

// The device context of one hidden window of kWidth x kHeight client pixels
// with an OpenGL context, made on first use and kept for the process; null
// when no window or context can be had (no display).
constexpr int kWidth = 64;
constexpr int kHeight = 48;
HDC hiddenWindow();

// A new OpenGL renderer on the hidden window's context (null without one).
std::unique_ptr<VIEW_Generic> hiddenRenderer();

// A sound output without a device: each update mixes `frames` frames into a
// scratch ring, in two runs as a ring that wraps gives them. kSilentFrames
// reports no device, as the real output does when it has none.
class FixedMixer : public VIEW_Sound {
 public:
  static constexpr int32_t kSilentFrames = 2147483647;
  int32_t frames = 1470;  // a 30th of a second

  int32_t getSampleRate() override { return 44100; }
  int32_t update(const PtrArray<Viewport>& viewports) override;
  void pause() override {}
  void resume() override {}

 private:
  std::vector<int16_t> ring_;
};

// One frame as the player's timer runs it, with a time step of dt seconds
// (0: the timer stopped; anything above 0.1 counts as 0.1) drawn into dc
// when the controller has a renderer.
void runFrame(CTRL_Generic& controller, HDC dc, double dt);

}  // namespace fuzz
