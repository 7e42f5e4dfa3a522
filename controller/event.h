// An input event on its way from the controller to the scripts. It lives on
// the caller's stack for the duration of one dispatch.
#pragma once

#include <cstdint>

enum EventType : int32_t {
  EVENT_KEY_DOWN = 1,
  EVENT_KEY_UP = 2,
  EVENT_MOUSE_MOVE = 3,  // script constant only, never raised
  EVENT_MOUSE_DOWN = 4,  // script constant only, never raised
  EVENT_MOUSE_UP = 5,    // script constant only, never raised
  EVENT_ZOOM = 6,
  EVENT_DEVICE = 7,
  EVENT_CLOSE = 8,
};

struct Event {
  int32_t type = 0;
  int32_t code = 0;               // virtual-key code, or device handle (EVENT_DEVICE)
  const uint8_t* data = nullptr;  // report bytes (EVENT_DEVICE)
  int32_t length = 0;             // report length in bytes (EVENT_DEVICE)
  double amount = 0;              // wheel amount (EVENT_ZOOM)
  double point[2] = {0, 0};       // mouse / client width (EVENT_ZOOM)
};
