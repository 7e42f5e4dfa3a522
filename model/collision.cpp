#include "model/collision.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <initializer_list>

#include "model/collision_volume.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace {

// One candidate axis of a separating-axis test, normalised and turned from
// the first centre towards the second; skipped when of length 0.
struct Probe {
  Vec3 axis;
  double depth = 0.0;
  bool valid = false;
};

// The running best axis of a separating-axis test. Any axis with depth <= 0
// means no contact whatever the others say, so the cheap face axes may be
// measured first; offering them in the fixed order afterwards keeps the
// choice among equal depths (the first wins).
struct AxisSearch {
  Vec3 c1, c2;  // centres of the first and second shape
  double depth = DBL_MAX;
  Vec3 normal;
  int best = -1;

  AxisSearch(const Vec3& first, const Vec3& second) : c1(first), c2(second) {}

  // Projects both shapes on axis through ext(axis) = extent1 + extent2.
  // False: separated along it.
  template <class Extents>
  bool measure(Vec3 axis, Extents ext, Probe& p) const {
    p.valid = false;
    if (!normalize3(axis)) return true;
    double along = dot3(c2 - c1, axis);
    if (along < 0) {
      axis = -axis;
      along = -along;
    }
    p.depth = ext(axis) - along;
    if (p.depth <= 0) return false;
    p.axis = axis;
    p.valid = true;
    return true;
  }

  void offer(const Probe& p, int id) {
    if (p.valid && p.depth < depth) {
      depth = p.depth;
      normal = p.axis;
      best = id;
    }
  }

  template <class Extents>
  bool test(const Vec3& axis, int id, Extents ext) {
    Probe p;
    if (!measure(axis, ext, p)) return false;
    offer(p, id);
    return true;
  }
};

double boxExtent(const Matrix3& b, const Vec3& n) {
  return std::fabs(dot3(n, b.X())) + std::fabs(dot3(n, b.Y())) + std::fabs(dot3(n, b.Z()));
}

// Quick rejection on the box face axes, without normalising them: only a
// gap well beyond rounding counts, so whatever passes is decided by the full
// test exactly as before.
constexpr double kClearGap = 1e-12;

bool boxesClearlyApart(const Vec3& d, const Matrix3& a, const Matrix3& b) {
  for (const Matrix3* m : {&a, &b})
    for (int i = 0; i < 3; ++i) {
      const Vec3& f = m->axis[i];
      double along = std::fabs(dot3(d, f)), reach = boxExtent(a, f) + boxExtent(b, f);
      if (along - reach > kClearGap * (along + reach)) return true;
    }
  return false;
}

bool sphereClearOfBox(const Vec3& d, const Matrix3& a, double radius2) {
  for (int i = 0; i < 3; ++i) {
    const Vec3& f = a.axis[i];
    double gap = std::fabs(dot3(d, f)) - boxExtent(a, f);  // |f| times the gap along f
    if (gap > 0 && gap * gap > radius2 * dot3(f, f) * (1 + kClearGap)) return true;
  }
  return false;
}

// The box vertex that reaches furthest along dir.
Vec3 boxSupport(const Vec3& c, const Matrix3& b, const Vec3& dir) {
  Vec3 v = c;
  for (int i = 0; i < 3; ++i) {
    if (dot3(dir, b.axis[i]) >= 0)
      v += b.axis[i];
    else
      v -= b.axis[i];
  }
  return v;
}

// Centre of the box edge along axis i that reaches furthest along dir.
Vec3 boxEdgeCentre(const Vec3& c, const Matrix3& b, int i, const Vec3& dir) {
  Vec3 v = c;
  for (int k = 0; k < 3; ++k) {
    if (k == i) continue;
    if (dot3(dir, b.axis[k]) >= 0)
      v += b.axis[k];
    else
      v -= b.axis[k];
  }
  return v;
}

// The point of segment p + s u (|s| <= 1) closest to the line q + t v.
Vec3 closestOnSegment(const Vec3& p, const Vec3& u, const Vec3& q, const Vec3& v) {
  Vec3 w = p - q;
  double a = dot3(u, u), b = dot3(u, v), c = dot3(v, v), d = dot3(u, w), e = dot3(v, w);
  double den = a * c - b * b;
  double s = 0.0;
  if (den > 0) s = (b * e - c * d) / den;
  if (s > 1) s = 1;
  if (s < -1) s = -1;
  return p + u * s;
}

struct World {
  Vec3 c;
  const Matrix3* b;
};

World placement(MDL_CollisionVolume* v) {
  const RigidTransform& w = v->getWorld();
  return {w.position, &w.basis};
}

bool boxBox(MDL_CollisionVolume* va, MDL_CollisionVolume* vb, Contact& out) {
  World A = placement(va), B = placement(vb);
  const Matrix3& a = *A.b;
  const Matrix3& b = *B.b;
  if (boxesClearlyApart(B.c - A.c, a, b)) return false;
  AxisSearch s(A.c, B.c);
  auto ext = [&](const Vec3& n) { return boxExtent(a, n) + boxExtent(b, n); };
  Probe faceA[3], faceB[3];
  for (int i = 0; i < 3; ++i)
    if (!s.measure(a.axis[i], ext, faceA[i]) || !s.measure(b.axis[i], ext, faceB[i])) return false;
  for (int i = 0; i < 3; ++i) {
    s.offer(faceA[i], i);
    s.offer(faceB[i], 3 + i);
    for (int j = 0; j < 3; ++j)
      if (!s.test(cross3(a.axis[i], b.axis[j]), 6 + 3 * i + j, ext)) return false;
  }
  if (s.best < 0) return false;
  const Vec3& n = s.normal;
  if (s.best < 3) {
    out.point = boxSupport(B.c, b, -n) + n * s.depth;
  } else if (s.best < 6) {
    out.point = boxSupport(A.c, a, n);
  } else {
    int i = (s.best - 6) / 3, j = (s.best - 6) % 3;
    out.point = closestOnSegment(boxEdgeCentre(A.c, a, i, n), a.axis[i], boxEdgeCentre(B.c, b, j, -n), b.axis[j]);
  }
  out.normal = n;
  out.depth = s.depth;
  return true;
}

// Cylinder along its Z axis (half height |Z|, radius |X|).
struct Cylinder {
  Vec3 c, Z, d;
  double radius;
  explicit Cylinder(MDL_CollisionVolume* v) {
    const RigidTransform& w = v->getWorld();
    c = w.position;
    Z = w.basis.Z();
    d = Z;
    normalize3(d);
    radius = length3(w.basis.X());
  }
  double extent(const Vec3& n) const { return std::fabs(dot3(n, Z)) + radius * length3(n - d * dot3(n, d)); }
  // The radial direction of n across the axis, unit (or zero).
  Vec3 radial(const Vec3& n) const {
    Vec3 r = n - d * dot3(n, d);
    if (!normalize3(r)) r = Vec3();
    return r;
  }
  // Deepest point along -n: the cap centre towards -n minus radius along n's radial part.
  Vec3 supportAgainst(const Vec3& n) const {
    Vec3 p = dot3(n, Z) > 0 ? c - Z : c + Z;
    addScaled3(p, radial(n), -radius);
    return p;
  }
};

bool boxCylinder(MDL_CollisionVolume* va, MDL_CollisionVolume* vb, Contact& out) {
  World A = placement(va);
  const Matrix3& a = *A.b;
  Cylinder y(vb);
  AxisSearch s(A.c, y.c);
  auto ext = [&](const Vec3& n) { return boxExtent(a, n) + y.extent(n); };
  Probe face[3], capAxis;
  for (int i = 0; i < 3; ++i)
    if (!s.measure(a.axis[i], ext, face[i])) return false;
  if (!s.measure(y.Z, ext, capAxis)) return false;
  for (int i = 0; i < 3; ++i) {
    s.offer(face[i], i);
    if (!s.test(cross3(a.axis[i], y.Z), 3 + i, ext)) return false;
  }
  s.offer(capAxis, 6);
  if (s.best < 0) return false;
  const Vec3& n = s.normal;
  if (s.best < 3) {
    out.point = y.supportAgainst(n) + n * s.depth;
  } else if (s.best == 6) {
    out.point = boxSupport(A.c, a, n);
  } else {
    int i = s.best - 3;
    Vec3 side = y.c;
    addScaled3(side, y.radial(n), -y.radius);
    out.point = closestOnSegment(boxEdgeCentre(A.c, a, i, n), a.axis[i], side, y.Z);
  }
  out.normal = n;
  out.depth = s.depth;
  return true;
}

// Box first, sphere second.
bool sphereBox(MDL_CollisionVolume* vbox, MDL_CollisionVolume* vs, Contact& out) {
  World A = placement(vbox);
  const Matrix3& a = *A.b;
  const RigidTransform& sw = vs->getWorld();
  Vec3 cs = sw.position;
  if (sphereClearOfBox(cs - A.c, a, lengthSquared3(sw.basis.X()))) return false;
  double r = length3(sw.basis.X());
  AxisSearch s(A.c, cs);
  auto ext = [&](const Vec3& n) { return boxExtent(a, n) + r; };
  // q: the box corner nearest the sphere centre.
  Vec3 rel = cs - A.c;
  double sign[3];
  Vec3 q = A.c;
  for (int k = 0; k < 3; ++k) {
    sign[k] = dot3(rel, a.axis[k]) >= 0 ? 1.0 : -1.0;
    addScaled3(q, a.axis[k], sign[k]);
  }
  Probe face[3];
  for (int i = 0; i < 3; ++i)
    if (!s.measure(a.axis[i], ext, face[i])) return false;
  for (int i = 0; i < 3; ++i) {
    s.offer(face[i], i);
    // Nearest point to the centre on the edge through q along axis i.
    const Vec3& u = a.axis[i];
    double uu = dot3(u, u);
    Vec3 mid = q;
    addScaled3(mid, u, -sign[i]);
    double t = uu > 0 ? dot3(cs - mid, u) / uu : 0.0;
    if (t > 1) t = 1;
    if (t < -1) t = -1;
    if (!s.test(cs - (mid + u * t), 3 + i, ext)) return false;
  }
  if (!s.test(cs - q, 6, ext)) return false;
  if (s.best < 0) return false;
  out.normal = s.normal;
  out.depth = s.depth;
  out.point = cs - s.normal * r + s.normal * s.depth;
  return true;
}

// Sphere first, cylinder second: the normal points from the sphere to the
// cylinder and the point lies on the sphere.
bool sphereCylinder(MDL_CollisionVolume* vy, MDL_CollisionVolume* vs, Contact& out) {
  const RigidTransform& yw = vy->getWorld();
  const RigidTransform& sw = vs->getWorld();
  Vec3 cs = sw.position;
  double r = length3(sw.basis.X());
  Vec3 l = yw.toLocalPoint(cs);
  if (l.z > 1) l.z = 1;
  if (l.z < -1) l.z = -1;
  double rl = std::sqrt(l.x * l.x + l.y * l.y);
  if (rl > 0) {
    l.x /= rl;
    l.y /= rl;
  }
  Vec3 q = yw.toWorldPoint(l);
  Vec3 diff = q - cs;
  double dist = length3(diff);
  if (!(r > dist)) return false;
  out.depth = r - dist;
  if (dist > 0) {
    out.normal = diff * (1.0 / dist);
  } else {
    // The centre lies on the side surface: push the sphere out radially.
    Vec3 radial = yw.basis * Vec3(l.x, l.y, 0.0);
    if (normalize3(radial))
      out.normal = -radial;
    else
      out.normal = Vec3(1, 0, 0);
  }
  out.point = q + out.normal * out.depth;
  return true;
}

bool sphereSphere(MDL_CollisionVolume* va, MDL_CollisionVolume* vb, Contact& out) {
  const RigidTransform& aw = va->getWorld();
  const RigidTransform& bw = vb->getWorld();
  double ra = length3(aw.basis.X()), rb = length3(bw.basis.X());
  Vec3 d = bw.position - aw.position;
  double dist = length3(d);
  double depth = ra + rb - dist;
  if (!(depth > 0)) return false;
  out.normal = dist == 0.0 ? Vec3(1, 0, 0) : d * (1.0 / dist);
  out.depth = depth;
  out.point = aw.position + out.normal * ra;
  return true;
}

// Turns a result of the test run with the pair swapped into the pair's own.
bool reversed(bool hit, Contact& c) {
  if (hit) {
    c.normal = -c.normal;
    addScaled3(c.point, c.normal, c.depth);
  }
  return hit;
}

}  // namespace

namespace {

bool outOfReach(MDL_CollisionVolume* a, MDL_CollisionVolume* b) {
  Vec3 between = b->getWorld().position - a->getWorld().position;
  double reach = a->boundingRadius + b->boundingRadius;
  return lengthSquared3(between) > reach * reach;
}

bool collideShapes(MDL_CollisionVolume* a, MDL_CollisionVolume* b, Contact& c) {
  auto known = [](int32_t shape) { return shape >= SHAPE_SPHERE && shape <= SHAPE_CYLINDER; };
  if (!known(a->shape) || !known(b->shape)) return false;
  switch (a->shape * 4 + b->shape) {
    case SHAPE_SPHERE * 4 + SHAPE_SPHERE:
      return sphereSphere(a, b, c);
    case SHAPE_BOX * 4 + SHAPE_BOX:
      return boxBox(a, b, c);
    case SHAPE_BOX * 4 + SHAPE_SPHERE:
      return sphereBox(a, b, c);
    case SHAPE_SPHERE * 4 + SHAPE_BOX:
      return reversed(sphereBox(b, a, c), c);
    case SHAPE_BOX * 4 + SHAPE_CYLINDER:
      return boxCylinder(a, b, c);
    case SHAPE_CYLINDER * 4 + SHAPE_BOX:
      return reversed(boxCylinder(b, a, c), c);
    case SHAPE_SPHERE * 4 + SHAPE_CYLINDER:
      return sphereCylinder(b, a, c);
    case SHAPE_CYLINDER * 4 + SHAPE_SPHERE:
      return reversed(sphereCylinder(a, b, c), c);
    default:
      return false;  // two cylinders
  }
}

}  // namespace

bool collideVolumes(MDL_CollisionVolume* a, MDL_CollisionVolume* b, Contact& c) {
  return !outOfReach(a, b) && collideShapes(a, b, c);
}

// Apart when the sphere's centre lies further from the box than the radius
// by a margin far beyond both the rounding and the corners' tolerance: the
// box-sphere test's own axis through the box's nearest point then finds the
// gap too, so nothing it would have found is lost.
namespace {
constexpr double kSquareCorners = 1e-9;
constexpr double kApartMargin = 1e-5;
}  // namespace

bool sphereApartFromSquareBox(const Vec3& d, const Matrix3& a, double radius2) {
  double hh[3];
  for (int i = 0; i < 3; ++i) hh[i] = dot3(a.axis[i], a.axis[i]);
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const double pq = dot3(a.axis[i], a.axis[j]);
    if (!(hh[i] > 0 && pq * pq <= kSquareCorners * kSquareCorners * hh[i] * hh[j])) return false;
  }
  // Squared distance from the box, along each axis the part beyond its face.
  double out2 = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double beyond = std::fabs(dot3(d, a.axis[i]) / hh[i]) - 1.0;
    if (beyond > 0) out2 += beyond * beyond * hh[i];
  }
  const double scale = std::sqrt(radius2 + dot3(d, d) + hh[0] + hh[1] + hh[2]);
  const double reach = std::sqrt(radius2) + kApartMargin * scale;
  return out2 > reach * reach;  // false for anything not a number
}

namespace {

// Impulses between two movable bodies at one contact. K: the pair's
// effective inverse mass along the normal, as the impulses found it.
void respondBoth(CTRL_ScriptEngine* engine, Scene* scene, const Contact& c, MDL_RigidBody* bodyA,
                 MDL_CollisionVolume* a, MDL_RigidBody* bodyB, MDL_CollisionVolume* b, double& K) {
  const Vec3& n = c.normal;
  double u = dot3(bodyB->getVelocityAtPoint(c.point) - bodyA->getVelocityAtPoint(c.point), n);
  K = inverseMassAt(bodyA, c.point, n) + inverseMassAt(bodyB, c.point, n);
  double j = K == 0.0 ? 0.0 : (1 + (bodyA->elasticity + bodyB->elasticity) / 2) * u / K;
  if (!(j < 0)) return;
  bodyA->applyImpulse(c.point, n * j);
  bodyB->applyImpulse(c.point, n * -j);
  scene->firePostCollision(engine, c.point, n, -j, bodyA, a, bodyB, b);

  Vec3 rel = bodyB->getVelocityAtPoint(c.point) - bodyA->getVelocityAtPoint(c.point);
  Vec3 t = rel - n * dot3(rel, n);
  double len = length3(t);
  if (!(len > 0)) return;
  t *= 1.0 / len;
  double Kt = inverseMassAt(bodyA, c.point, t) + inverseMassAt(bodyB, c.point, t);
  if (Kt == 0.0) return;
  // |v_t| rather than rel.t: equal in exact arithmetic, but when the
  // tangential part is only rounding noise, t points along n and rel.t would
  // be the normal speed, cancelling the bounce.
  double jt = len / Kt;
  double limit = (bodyA->friction + bodyB->friction) / 2 * std::fabs(j);
  if (jt > limit) jt = limit;
  bodyA->applyImpulse(c.point, t * jt);
  bodyB->applyImpulse(c.point, t * -jt);
}

// One pair of the sweep, skipped at the first rule that applies. Every rule
// up to the reach test touches nothing. bodies: the owning bodies found,
// the only objects the response can move.
void collidePair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_CollisionVolume* b,
                 MDL_RigidBody** bodies) {
  if (a->pendingDelete || b->pendingDelete) return;  // a callback of an earlier pair may flag a
  if (!(a->collisionLayer & b->collisionMask) && !(a->collisionMask & b->collisionLayer)) return;
  if (a == b) return;
  // The reach test comes before the body rules: it touches nothing, so the
  // outcome is the same, and it rejects most pairs of the sweep cheaply.
  if (outOfReach(a, b)) return;
  MDL_RigidBody* bodyA = a->owningBody();
  MDL_RigidBody* bodyB = b->owningBody();
  bodies[0] = bodyA;
  bodies[1] = bodyB;
  if ((bodyA && bodyA->pendingDelete) || (bodyB && bodyB->pendingDelete) || bodyA == bodyB) return;
  if ((!bodyA || bodyA->still) && (!bodyB || bodyB->still)) return;
  collideAdmittedPair(scene, engine, a, bodyA, b, bodyB);
}

}  // namespace

void collideAdmittedPair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_RigidBody* bodyA,
                         MDL_CollisionVolume* b, MDL_RigidBody* bodyB) {
  Contact c;
  if (!collideShapes(a, b, c)) return;
  if (!scene->firePreCollision(engine, c.point, c.normal, c.depth, bodyA, a, bodyB, b)) return;
  // The callback may have deleted a party to its own contact: a flagged
  // object takes no impulse and is never reported again.
  if (a->pendingDelete || b->pendingDelete || (bodyA && bodyA->pendingDelete) || (bodyB && bodyB->pendingDelete))
    return;

  // Impulses change no placement, mass or inertia: unless a callback ran
  // in between, the pair's K along the normal is still the one found.
  const uint64_t callbacks = scene->contactCallbacks;
  double K = 0.0;
  bool known = false;
  if (bodyA && bodyB) {
    respondBoth(engine, scene, c, bodyA, a, bodyB, b, K);
    known = scene->contactCallbacks == callbacks;
  } else if (bodyA) {
    bodyA->collideStatic(engine, c.point, -c.normal, a, b, scene->boundsElasticity, scene->boundsFriction);
  } else {
    bodyB->collideStatic(engine, c.point, c.normal, b, a, scene->boundsElasticity, scene->boundsFriction);
  }

  if (!known) K = inverseMassAt(bodyA, c.point, c.normal) + inverseMassAt(bodyB, c.point, c.normal);
  if (K == 0.0) return;
  double P = c.depth / K;
  if (bodyA) bodyA->resolveContact(c.point, c.normal * -P);
  if (bodyB) bodyB->resolveContact(c.point, c.normal * P);
}

void collideSweepPair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_CollisionVolume* b,
                      MDL_RigidBody** bodies) {
  MDL_RigidBody* found[2] = {nullptr, nullptr};
  collidePair(scene, engine, a, b, bodies ? bodies : found);
}
