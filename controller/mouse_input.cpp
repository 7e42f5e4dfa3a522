// The mouse as the window reports it. Picking, dragging, the click rule and
// the zoom event build on this state; for now it is only kept up to date.
#include "controller/ctrl_generic.h"

void CTRL_Generic::onMouseMove(bool, bool, double x, double y) {
  previousWindowMouse[0] = windowMouse[0];
  previousWindowMouse[1] = windowMouse[1];
  windowMouse[0] = x;
  windowMouse[1] = y;
}

void CTRL_Generic::onLeftButtonDown(double x, double y) {
  leftButton = true;
  pressPosition[0] = x;
  pressPosition[1] = y;
  movedSincePress = false;
}

void CTRL_Generic::onLeftButtonUp(double, double) { leftButton = false; }

void CTRL_Generic::onRightButtonDown(double x, double y) {
  rightButton = true;
  pressPosition[0] = x;
  pressPosition[1] = y;
  movedSincePress = false;
}

void CTRL_Generic::onRightButtonUp(double, double) { rightButton = false; }

void CTRL_Generic::onMouseWheel(bool, double, double, double) {}
