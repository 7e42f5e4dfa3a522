// The pick: which viewport and which object lie under the mouse, and the
// view ray through it.
#include <cmath>

#include "controller/ctrl_generic.h"
#include "core/assert.h"
#include "model/animated_mesh.h"
#include "model/camera.h"
#include "model/constants.h"
#include "model/mesh.h"
#include "model/scene.h"

namespace {

bool isLive(const MDL_Object* o) { return o && !o->pendingDelete && (o->state & STATE_ACTIVE); }

// The overlay point (mx, my) in the object's own plane: the solution of
// p + u X + v Y = m with the x, y parts of its world axes. False when the
// axes are parallel there (nothing to hit).
bool overlayLocalPoint(const RigidTransform& w, double mx, double my, Vec2& out) {
  const double xx = w.basis.X().x, xy = w.basis.X().y, yx = w.basis.Y().x, yy = w.basis.Y().y;
  const double det = xx * yy - yx * xy;
  if (det == 0) return false;
  const double dx = mx - w.position.x, dy = my - w.position.y;
  out = Vec2((yy * dx - yx * dy) / det, (xx * dy - xy * dx) / det);
  return true;
}

// Barycentric coordinates (b1 toward b, b2 toward c) of p in the plane of
// triangle a b c; false for a degenerate triangle.
bool barycentric(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& p, double& b1, double& b2) {
  const Vec3 e1 = b - a, e2 = c - a, q = p - a;
  const double d11 = dot3(e1, e1), d12 = dot3(e1, e2), d22 = dot3(e2, e2);
  const double q1 = dot3(q, e1), q2 = dot3(q, e2);
  const double den = d11 * d22 - d12 * d12;
  if (!(den != 0) || !std::isfinite(den)) return false;
  b1 = (d22 * q1 - d12 * q2) / den;
  b2 = (d11 * q2 - d12 * q1) / den;
  return true;
}

// The weight a bone's group gives each of three vertices (0 where it does
// not carry one). Entries past either array's count, with a vertex out of
// range or a weight that is not a number are no weight at all.
void groupWeights(const AnimatedMeshData& g, int32_t vertexCount, const int32_t corner[3], double w[3]) {
  w[0] = w[1] = w[2] = 0;
  if (!g.vertexIndices || !g.weights) return;
  const int32_t n = g.count < g.weightCount ? g.count : g.weightCount;
  for (int32_t j = 0; j < n; ++j) {
    const int32_t v = g.vertexIndices[j];
    const double weight = g.weights[j];
    if (v < 0 || v >= vertexCount || !std::isfinite(weight)) continue;
    for (int k = 0; k < 3; ++k)
      if (v == corner[k]) w[k] = weight;
  }
}

// The bone of an animated mesh that carries the local point p of the hit
// triangle most; null when none does (the mesh itself stays the hit).
MDL_Object* boneAt(MDL_AnimatedMesh& mesh, int32_t triangle, const Vec3& p) {
  const int32_t* tri = mesh.triangles();
  // The triangle is the one the mesh's own ray test hit.
  VS_ASSERT(tri && triangle >= 0 && triangle < mesh.triangleCount());
  const int32_t* corner = tri + 3 * triangle;
  const int32_t vertexCount = mesh.vertexCount();
  for (int k = 0; k < 3; ++k)
    if (corner[k] < 0 || corner[k] >= vertexCount) return nullptr;
  const Vec3* a = mesh.vertex(corner[0]);
  const Vec3* b = mesh.vertex(corner[1]);
  const Vec3* c = mesh.vertex(corner[2]);
  double b1 = 0, b2 = 0;
  if (!a || !b || !c || !barycentric(*a, *b, *c, p, b1, b2)) return nullptr;
  MDL_Object* best = nullptr;
  double bestWeight = -1;
  for (int32_t i = 0; i < mesh.boneCount; ++i) {
    MDL_Bone* bone = mesh.activeBone(i);
    if (!bone) continue;
    double w[3];
    groupWeights(*mesh.boneData[i], vertexCount, corner, w);
    const double at = (1 - b1 - b2) * w[0] + b1 * w[1] + b2 * w[2];
    if (at > bestWeight) {  // ties keep the first
      bestWeight = at;
      best = bone;
    }
  }
  return best;
}

}  // namespace

void CTRL_Generic::getMouseRay(const double window[2], Vec3& origin, Vec3& direction) {
  Viewport* v = currentViewport;
  if (!v || !v->camera || clientWidth == 0 || !(v->width > 0)) {
    origin = direction = Vec3();
    return;
  }
  double at[2] = {0, 0};
  windowToViewport(v, window, at);
  Vec3 far;
  v->screenToWorld(Vec3(at[0], at[1], 0), origin);
  v->screenToWorld(Vec3(at[0], at[1], 1), far);
  direction = far - origin;
}

void CTRL_Generic::selectViewportAt(double x, double y) {
  const double window[2] = {x, y};
  for (int32_t i = resources.viewports.count - 1; i >= 0; --i) {
    Viewport* v = resources.viewports[i];
    // A viewport without width maps every point to its corner: it holds none.
    VS_ASSERT(v);
    if (!v->active || !(v->width > 0)) continue;
    double p[2] = {0, 0};
    windowToViewport(v, window, p);
    if (p[0] >= 0 && p[1] >= 0 && p[0] <= 1 && p[1] <= v->height / v->width) {
      currentViewport = v;
      return;
    }
  }
  currentViewport = nullptr;
}

void CTRL_Generic::setWindowMouse(double x, double y) {
  mouse.previousWindowMouse[0] = mouse.windowMouse[0];
  mouse.previousWindowMouse[1] = mouse.windowMouse[1];
  mouse.windowMouse[0] = x;
  mouse.windowMouse[1] = y;
  windowToViewport(currentViewport, mouse.windowMouse, mouse.viewportMouse);
}

void CTRL_Generic::pick() {
  double& depth = mouse.viewportMouse[2];
  depth = -kDoubleMax;
  mouse.hovered = nullptr;
  Scene* scene = getScene();
  if (!scene || !currentViewport) return;

  // Overlays first: the highest world z under the mouse; on a tie the later
  // one in the list, which is drawn over the earlier.
  const double mx = mouse.viewportMouse[0], my = mouse.viewportMouse[1];
  for (int32_t i = 0; i < scene->overlays.count; ++i) {
    MDL_Object* o = scene->overlays[i];
    if (!isLive(o)) continue;
    const RigidTransform& w = o->getWorld();
    Vec2 local;
    if (!overlayLocalPoint(w, mx, my, local) || !o->hitTest(local)) continue;
    if (w.position.z >= depth) {
      depth = w.position.z;
      mouse.hovered = o;
      mouse.pickPosition = w.toLocalPoint(Vec3(mx, my, depth));
    }
  }
  if (mouse.hovered) return;

  // Meshes: the nearest hit along the view ray, t from the near plane (0)
  // to the far plane (1).
  depth = 1.0;
  Vec3 origin, direction;
  getMouseRay(mouse.windowMouse, origin, direction);
  if (isZero3(direction)) return;
  const Vec3 end = origin + direction;
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Object* o = scene->meshes[i];
    VS_ASSERT(o);
    if ((o->type != OBJECT_MESH && o->type != OBJECT_ANIMATED_MESH) || !isLive(o)) continue;
    MDL_Mesh* mesh = static_cast<MDL_Mesh*>(o);
    const RigidTransform& w = mesh->getWorld();
    const Vec3 a = w.toLocalPoint(origin), b = w.toLocalPoint(end);
    double t = depth;
    int32_t triangle = -1;
    if (!mesh->raycast(a, b, t, triangle) || !(t < depth)) continue;
    depth = t;
    mouse.hovered = mesh;
    if (mesh->type == OBJECT_ANIMATED_MESH)
      if (MDL_Object* bone = boneAt(*static_cast<MDL_AnimatedMesh*>(mesh), triangle, a + (b - a) * t))
        mouse.hovered = bone;
  }
  if (!mouse.hovered) return;
  Vec3 at;
  currentViewport->screenToWorld(Vec3(mouse.viewportMouse[0], mouse.viewportMouse[1], depth), at);
  mouse.pickPosition = mouse.hovered->getWorld().toLocalPoint(at);
}
