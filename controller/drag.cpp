// Dragging picked objects with the mouse.
#include "controller/drag.h"

#include "controller/ctrl_generic.h"
#include "model/bone.h"
#include "model/rigid_body.h"
#include "model/scene.h"

bool CTRL_isOverlay(const MDL_Object* o) {
  return o->type == OBJECT_TEXT || o->type == OBJECT_RTF_TEXT || o->type == OBJECT_IMAGE || o->type == OBJECT_POLYLINE;
}

namespace {

// Slides the target along d into [lo, hi] on one axis, when d can get it there.
void slideInto(Vec3& target, const Vec3& d, int axis, double lo, double hi) {
  const double c = target[axis], dc = d[axis];
  if (dc == 0) return;
  if (c < lo)
    target += d * ((lo - c) / dc);
  else if (c > hi)
    target += d * ((hi - c) / dc);
}

double clampTo(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

bool CTRL_dragVelocity(CTRL_Generic& ctrl, double dt, Vec3& velocity) {
  MDL_Object* picked = ctrl.mouse.picked;
  Viewport* v = ctrl.currentViewport;
  if (!picked || !v || !v->camera || !picked->scene || !(dt > 0)) return false;
  Vec3 p;
  ctrl.getPickPointWorld(p);
  if (CTRL_isOverlay(picked)) {
    double target[2] = {0, 0};
    ctrl.windowToViewport(v, ctrl.mouse.windowMouse, target);
    velocity = Vec3(target[0] - p.x, target[1] - p.y, 0);
  } else {
    const double* m = ctrl.mouse.viewportMouse;
    Vec3 target;
    v->screenToWorld(Vec3(m[0], m[1], m[2]), target);
    Vec3 origin, d;
    ctrl.getMouseRay(ctrl.mouse.windowMouse, origin, d);
    // Out of the scene's bounds the target slides back along the view ray,
    // then is clamped.
    const double* b = picked->scene->bounds;
    for (int axis = 0; axis < 3; ++axis) slideInto(target, d, axis, b[2 * axis], b[2 * axis + 1]);
    for (int axis = 0; axis < 3; ++axis) target[axis] = clampTo(target[axis], b[2 * axis], b[2 * axis + 1]);
    velocity = target - p;
  }
  velocity *= 1.0 / dt;
  const double step = picked->scene->integrationStep;
  if (step * length3(velocity) > picked->maxMouseMove) {
    Vec3 unit = velocity;
    if (normalize3(unit)) velocity = unit * (picked->maxMouseMove / step);
  }
  return true;
}

void CTRL_constrainMouse(CTRL_Generic& ctrl, void* deviceContext) {
  MDL_Object* picked = ctrl.mouse.picked;
  if (!picked) return;
  const bool constrains = (picked->state & STATE_CONSTRAIN_MOUSE) != 0;
  Viewport* v = ctrl.currentViewport;
  double* m = ctrl.mouse.viewportMouse;
  if (v && v->camera) {
    Vec3 p;
    ctrl.getPickPointWorld(p);
    if (!CTRL_isOverlay(picked)) {
      Vec3 s;
      v->worldToScreen(p, s);
      m[2] = s.z;
      if (constrains) {
        m[0] = s.x;
        m[1] = s.y;
        ctrl.viewportToWindow(m, ctrl.mouse.windowMouse);
      }
    } else if (constrains) {
      m[0] = p.x;
      m[1] = p.y;
      m[2] = p.z;
      ctrl.viewportToWindow(m, ctrl.mouse.windowMouse);
    }
  }
  if (constrains) ctrl.warpCursor(deviceContext, ctrl.mouse.windowMouse);
}

void CTRL_Generic::dragObject(MDL_Object* object, const Vec3& velocity, double h) {
  // A bone passes what its chain could not follow on to what holds it: a
  // loop up the tree rather than a recursion as deep as the content's.
  Vec3 v = velocity;
  for (MDL_Object* o = object; o; o = o->parent) {
    while (o && o->type != OBJECT_RIGID_BODY && o->type != OBJECT_BONE && !(o->state & STATE_MOVABLE)) o = o->parent;
    if (!o) return;
    Vec3 pickWorld;
    getPickPointWorld(pickWorld);
    if (o->type == OBJECT_RIGID_BODY) {
      if (!(o->state & STATE_MOVABLE)) return;
      MDL_RigidBody* body = static_cast<MDL_RigidBody*>(o);
      const Vec3 r = body->getWorld().toLocalPoint(pickWorld);
      body->still = 0;
      body->stillTimer = 0;
      body->setSpeed(r, v);
      LMP_fireCallback(body->proxy, engine.get(), CB_MOVED);
      return;
    }
    if (o->type != OBJECT_BONE) {
      o->editWorld().position += v * h;
      LMP_fireCallback(o->proxy, engine.get(), CB_MOVED);
      return;
    }
    if (!(h > 0)) return;
    const Vec3 target = pickWorld + v * h;
    static_cast<MDL_Bone*>(o)->movePoint(pickWorld, target, engine.get());
    // The bone's CB_MOVED may have deleted or let go of what the mouse holds:
    // with no pick point left there is no remainder to pass on.
    if (mouse.picked != object || object->pendingDelete) return;
    Vec3 reached;
    getPickPointWorld(reached);
    v = (target - reached) * (1.0 / h);
  }
}
