// Test side of the platform layer: lets tests observe what the player sends
// to the platform and drive it without a user. Built into platform/testing/, a
// library only tests and benchmarks link; the player holds none of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace vsplat {

// Captures every OutputDebugStringA string, one entry per call, instead of
// writing it to standard error, until the capture is destroyed.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // Every string received so far, concatenated.
  std::string text() const;
  // The number of OutputDebugStringA calls received so far.
  size_t calls() const;
  const std::string& call(size_t i) const;
  void clear();
};

#ifndef _WIN32
// Windows behave as shown (WM_PAINT, activation) but never appear on screen.
void setOffscreen(bool on);
// Chooses the command of an opened menu instead of the popup (0: none).
void setMenuChooser(std::function<WORD(HMENU)> chooser);
// Runs a dialog instead of the toolkit: gets the dialog and its procedure
// (after WM_INITDIALOG) and returns the dialog's result.
void setDialogRunner(std::function<INT_PTR(HWND, DLGPROC)> runner);
// The package served as RCDATA 130 (null: the executable's own again).
void setTestPackage(const std::vector<uint8_t>* bytes);
// The milliseconds that timers, message times and waits read instead of
// SDL's ticks (empty: SDL's again).
void setTestClock(std::function<uint64_t()> clock);
// The SDL id of a window, to push SDL events at it.
uint32_t sdlWindowId(HWND hwnd);

// Fake HID devices: once one is added, the machine's own are not listed.
HANDLE addFakeHidDevice(WORD vendor, WORD product, USHORT usagePage, USHORT usage);
// An input report, delivered as WM_INPUT once the device is registered.
void queueFakeHidInput(HANDLE device, const std::vector<uint8_t>& report);
// Queues WM_INPUT whose GetRawInputData answers exactly these bytes (a
// record that may be malformed).
void postRawInputRecord(HWND hwnd, const std::vector<uint8_t>& record);
// Every output report written to the device so far.
std::vector<std::vector<uint8_t>> fakeHidWrites(HANDLE device);
// Removes every fake device and forgets which usages were registered, so the
// next test lists and receives only what it adds itself.
void removeFakeHidDevices();
#endif

}  // namespace vsplat
