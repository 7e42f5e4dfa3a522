// Window points in viewport units, and moving a viewport's camera with the
// mouse in the four navigation modes.
#include <cmath>

#include "controller/ctrl_generic.h"
#include "model/camera.h"

namespace {

// A zero extent maps everything to 0 rather than to an infinity or a NaN
// that would then travel into the camera and the cursor.
double over(double value, double extent) { return extent != 0 ? value / extent : 0; }

// The target moves in the camera's own plane, against the mouse sideways.
void panTarget(Viewport& v, double dx, double dy) {
  v.camera->recomputeLocal();
  const Matrix3& axes = v.camera->local.basis;
  v.navigationPosition += axes.X() * (-10.0 * dx) + axes.Y() * (10.0 * dy);
  v.updateCamera();
}

void orbit(Viewport& v, double dx, double dy, double g) {
  v.navigationAzimuth -= dx * g;
  v.navigationElevation += dy * g;
  v.updateCamera();
}

// Turns the view about the camera: the orbit angles change and the target
// moves so that the camera, placed from them, stays where it is. (Swinging
// the target about the camera's own axes would be another turn than the
// angles' one as soon as the camera is tilted, and the camera would slide.)
void turnAboutCamera(Viewport& v, double dx, double dy, double g) {
  v.camera->recomputeLocal();
  const Vec3 eye = v.camera->local.position;
  v.navigationAzimuth += dx * g;
  v.navigationElevation -= dy * g;
  v.updateCamera();  // clamps the angles and the radius and sets the new axes
  const double scale = length3(v.camera->local.basis.Z());
  const Vec3 z = scale > 0 ? v.camera->local.basis.Z() * (1.0 / scale) : Vec3(0, 0, 1);
  v.navigationPosition = eye - z * v.navigationRadius;
  v.updateCamera();
}

}  // namespace

void CTRL_Generic::contentRectangle(double origin[2], double size[2]) const {
  double w = clientWidth;
  double h = std::floor(w * contentAspect + 0.5);
  if (h > clientHeight) {
    w *= clientHeight / h;
    h = clientHeight;
  }
  origin[0] = (clientWidth - w) * 0.5;
  origin[1] = (clientHeight - h) * 0.5;
  size[0] = w;
  size[1] = h;
}

void CTRL_Generic::windowToViewport(const Viewport* viewport, const double window[2], double out[2]) const {
  if (!viewport) return;
  double origin[2], size[2];
  contentRectangle(origin, size);
  // Both axes are measured in content widths.
  out[0] = over(over(window[0] - origin[0], size[0]) - viewport->x, viewport->width);
  out[1] = over(over(window[1] - origin[1], size[0]) - viewport->y, viewport->width);
}

void CTRL_Generic::viewportToWindow(const double point[2], double out[2]) const {
  const Viewport* v = currentViewport;
  if (!v) return;
  double origin[2], size[2];
  contentRectangle(origin, size);
  out[0] = (point[0] * v->width + v->x) * size[0] + origin[0];
  out[1] = (point[1] * v->width + v->y) * size[0] + origin[1];
}

void CTRL_Generic::navigateCamera(bool shift, bool control) {
  Viewport* v = currentViewport;
  if (!v || !v->camera) return;
  double a[2] = {0, 0}, b[2] = {0, 0};
  windowToViewport(v, mouse.previousWindowMouse, a);
  windowToViewport(v, mouse.windowMouse, b);
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  // A wider field of view turns faster for the same movement.
  const double g = 2.0 * v->camera->angle;
  switch (v->navigationMode) {
    case NAVIGATION_FREE: {
      RigidTransform& local = v->camera->editLocal();
      if (shift) {
        local.position += local.basis.X() * (-15.0 * dx) + local.basis.Y() * (15.0 * dy);
      } else {
        Matrix3::rotateAxis(local.basis, 0, dy * g);
        Matrix3::rotateAxis(local.basis, 1, dx * g);
      }
      break;
    }
    case NAVIGATION_MIXED:
      if (shift)
        panTarget(*v, dx, dy);
      else if (control)
        turnAboutCamera(*v, dx, dy, g);
      else
        orbit(*v, dx, dy, g);
      break;
    case NAVIGATION_GLASSBALL:
      if (shift)
        panTarget(*v, dx, dy);
      else
        orbit(*v, dx, dy, g);
      break;
    default:  // NAVIGATION_FIXED: the camera stays
      break;
  }
}
