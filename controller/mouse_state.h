// The mouse as the controller keeps it: positions, buttons, the drag and the
// pick. Picking, dragging and the mouse callbacks add their state here.
#pragma once

#include "model/vec3.h"

class MDL_Object;

struct CTRL_MouseState {
  double windowMouse[2] = {0, 0};  // client pixels
  double previousWindowMouse[2] = {0, 0};
  double viewportMouse[3] = {0, 0, 0};  // x, y in the current viewport, depth of the pick
  double pressPosition[2] = {0, 0};
  bool movedSincePress = false;
  bool leftButton = false;
  bool rightButton = false;
  MDL_Object* picked = nullptr;   // being dragged
  MDL_Object* hovered = nullptr;  // under the mouse at the last pick
  Vec3 pickPosition;              // in the hovered object's local frame
};
