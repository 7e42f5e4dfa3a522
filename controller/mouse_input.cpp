// The mouse as the window reports it: hovering and pressing objects, the
// click rule, the mouse callbacks up the object tree, the wheel's zoom and
// camera navigation.
#include <cmath>

#include "controller/ctrl_generic.h"
#include "controller/drag.h"
#include "model/camera.h"
#include "model/constants.h"

namespace {

constexpr double kClickSlack2 = 10.0;           // squared pixels a click may move
constexpr double kDepthDragRate = widen(0.1f);  // shift-drag towards or away from the viewer
constexpr double kDepthDragLimit = 1.3407807929942596e154;
constexpr double kWheelAngle = widen(0.0008f);  // radians per wheel unit
constexpr double kWheelDepth = widen(2e-5f);
constexpr double kWheelRadius = widen(0.002f);

bool settles(const MDL_Object* o) { return o && (o->state & STATE_ACTIVE) && !(o->state & STATE_BACKGROUND); }

// Fires a mouse callback on hit, then up its parents until one handles it.
// A callback may delete objects; they are only flagged until the scene's
// purge, so the chain stays readable, but a deleted object hears nothing.
void bubble(CTRL_ScriptEngine* engine, int id, MDL_Object* hit, const Vec3& point) {
  if (!hit || hit->pendingDelete) return;
  for (MDL_Object* o = hit; o; o = o->parent) {
    if (o->pendingDelete) continue;
    if (LMP_fireCallback(o->proxy, engine, id, hit, &point)) return;
  }
}

}  // namespace

void CTRL_Generic::onMouseMove(bool shift, bool control, double x, double y) {
  if (!mouse.movedSincePress) {
    const double dx = x - mouse.pressPosition[0], dy = y - mouse.pressPosition[1];
    if (dx * dx + dy * dy > kClickSlack2) mouse.movedSincePress = true;
  }
  if (!mouse.leftButton && !mouse.rightButton) {
    // The viewport under the mouse first, so the mouse is mapped with it.
    selectViewportAt(x, y);
    setWindowMouse(x, y);
    pick();
    setCursor(settles(mouse.hovered) ? 3 : 0);
    mouse.picked = nullptr;
    return;
  }
  if (mouse.leftButton && !mouse.rightButton && mouse.picked && !(mouse.picked->state & STATE_BACKGROUND)) {
    setWindowMouse(x, y);
    if (shift) {
      double& depth = mouse.viewportMouse[2];
      const double dy = mouse.windowMouse[1] - mouse.previousWindowMouse[1];
      const double moved = depth - dy * depth * depth * kDepthDragRate;
      if (std::fabs(moved) < kDepthDragLimit) depth = moved;
    }
    return;  // the frame's update drags the object
  }
  setWindowMouse(x, y);
  if (currentViewport && currentViewport->camera && (!mouse.hovered || (mouse.hovered->state & STATE_BACKGROUND)))
    navigateCamera(shift, control);
}

void CTRL_Generic::onLeftButtonDown(double x, double y) {
  selectViewportAt(x, y);
  setWindowMouse(x, y);
  mouse.leftButton = true;
  mouse.movedSincePress = false;
  mouse.pressPosition[0] = x;
  mouse.pressPosition[1] = y;
  pick();
  if (!mouse.hovered || (mouse.hovered->state & STATE_BACKGROUND))
    mouse.hovered = mouse.picked = nullptr;
  else
    mouse.picked = mouse.hovered;
  setCursor(mouse.picked ? 2 : 1);
  if (mouse.hovered && (mouse.hovered->state & STATE_ACTIVE))
    bubble(engine.get(), CB_MOUSE_DOWN, mouse.hovered, mouse.pickPosition);
}

void CTRL_Generic::onLeftButtonUp(double x, double y) {
  // The up callback may delete the object or move the mouse state on: the
  // click goes to what was released.
  MDL_Object* const hit = mouse.hovered;
  const bool click = !mouse.movedSincePress;
  if (hit) {
    // As at the press: a 2-D object takes the viewport mouse as it is (its
    // world units are the viewport's), a 3-D one the point through the
    // camera at the pick's depth.
    const Vec3 mouseAt(mouse.viewportMouse[0], mouse.viewportMouse[1], mouse.viewportMouse[2]);
    Vec3 world = mouseAt;
    if (!CTRL_isOverlay(hit)) {
      world = Vec3();
      if (currentViewport) currentViewport->screenToWorld(mouseAt, world);
    }
    const Vec3 point = hit->getWorld().toLocalPoint(world);
    bubble(engine.get(), CB_MOUSE_UP, hit, point);
    if (click) bubble(engine.get(), CB_MOUSE_CLICK, hit, point);
  }
  mouse.hovered = mouse.picked = nullptr;
  setWindowMouse(x, y);
  pick();
  mouse.leftButton = false;
  setCursor(settles(mouse.hovered) ? 3 : 0);
}

void CTRL_Generic::onRightButtonDown(double x, double y) {
  setWindowMouse(x, y);
  mouse.rightButton = true;
  if (!mouse.picked) selectViewportAt(x, y);
  mouse.hovered = nullptr;
  setCursor(1);
}

void CTRL_Generic::onRightButtonUp(double x, double y) {
  setWindowMouse(x, y);
  mouse.rightButton = false;
  setCursor(mouse.picked ? 3 : 0);
}

void CTRL_Generic::onMouseWheel(bool shift, double amount, double x, double y) {
  Event zoom;
  zoom.type = EVENT_ZOOM;
  zoom.amount = amount;
  if (clientWidth != 0) {
    zoom.point[0] = x / clientWidth;
    zoom.point[1] = y / clientWidth;
  }
  mouse.movedSincePress = true;
  dispatchEvent(zoom);  // the zoom below happens whatever the scripts did

  Viewport* v = currentViewport;
  if (!v || !v->camera) return;
  MDL_Camera* camera = v->camera;
  const double angle = amount * kWheelAngle;
  if (mouse.picked) {
    if (!shift) {
      mouse.viewportMouse[2] += amount * kWheelDepth;
    } else {
      Vec3 origin, direction;
      getMouseRay(mouse.windowMouse, origin, direction);
      mouse.picked->editWorld().rotateAboutAxis(direction, std::cos(angle), std::sin(angle));
    }
    return;
  }
  switch (v->navigationMode) {
    case NAVIGATION_MIXED:
    case NAVIGATION_GLASSBALL:
      if (shift)
        Matrix3::rotateAxis(camera->editLocal().basis, 2, angle);
      else
        v->navigationRadius -= amount * kWheelRadius * length3(camera->getWorld().basis.Z());
      v->updateCamera();
      break;
    case NAVIGATION_FREE:
      if (shift) {
        Matrix3::rotateAxis(camera->editLocal().basis, 2, angle);
      } else {
        RigidTransform& local = camera->editLocal();
        local.position += local.basis.Z() * (-kWheelRadius * amount);
      }
      break;
    default:  // NAVIGATION_FIXED
      break;
  }
}
