// The mouse drag in the frame loop: the velocity that brings the pick point
// to the mouse, and keeping the mouse on a constrained dragged object.
#pragma once

#include "model/vec3.h"

class CTRL_Generic;
class MDL_Object;

// Texts, images and polylines: 2-D objects whose world coordinates are
// viewport units.
bool CTRL_isOverlay(const MDL_Object* object);

// The velocity for this frame's sub-steps of dt seconds; false (no drag)
// without a picked object, a current viewport with a camera, or the picked
// object's scene.
bool CTRL_dragVelocity(CTRL_Generic& ctrl, double dt, Vec3& velocity);
// After the update: the viewport and window mouse follow the picked object
// (its depth only, unless it constrains the mouse), and a constraining
// object warps the cursor.
void CTRL_constrainMouse(CTRL_Generic& ctrl, void* deviceContext);
