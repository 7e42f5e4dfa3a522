// The mouse as the window reports it. Picking, dragging, the click rule and
// the zoom event build on this state; for now it is only kept up to date.
#include "controller/ctrl_generic.h"

void CTRL_Generic::onMouseMove(bool, bool, double x, double y) {
  mouse.previousWindowMouse[0] = mouse.windowMouse[0];
  mouse.previousWindowMouse[1] = mouse.windowMouse[1];
  mouse.windowMouse[0] = x;
  mouse.windowMouse[1] = y;
}

void CTRL_Generic::onLeftButtonDown(double x, double y) {
  mouse.leftButton = true;
  mouse.pressPosition[0] = x;
  mouse.pressPosition[1] = y;
  mouse.movedSincePress = false;
}

void CTRL_Generic::onLeftButtonUp(double, double) { mouse.leftButton = false; }

void CTRL_Generic::onRightButtonDown(double x, double y) {
  mouse.rightButton = true;
  mouse.pressPosition[0] = x;
  mouse.pressPosition[1] = y;
  mouse.movedSincePress = false;
}

void CTRL_Generic::onRightButtonUp(double, double) { mouse.rightButton = false; }

void CTRL_Generic::onMouseWheel(bool, double, double, double) {}
