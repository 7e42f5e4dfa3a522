// The pick: which object lies under the mouse. Until the mouse picking is
// built this finds nothing, as a pick without a scene does.
#include "controller/ctrl_generic.h"

void CTRL_Generic::pick() {
  mouse.viewportMouse[2] = -1.7976931348623157e308;
  mouse.hovered = nullptr;
}
