#include "model/rigid_body.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "model/collision_volume.h"
#include "model/mesh.h"
#include "model/scene.h"

namespace {

// The lowest and highest points of a body's subtree along one world axis,
// each only when wanted.
struct AxisExtremes {
  int axis;
  double Vec3::*along;  // the axis' coordinate, as Vec3's []
  bool wantLow, wantHigh;
  double low = DBL_MAX, high = -DBL_MAX;
  Vec3 lowPoint, highPoint;
  MDL_Object* lowObject = nullptr;
  MDL_Object* highObject = nullptr;

  AxisExtremes(int a, bool lowWanted, bool highWanted)
      : axis(a), along(a == 0 ? &Vec3::x : (a == 1 ? &Vec3::y : &Vec3::z)), wantLow(lowWanted), wantHigh(highWanted) {}

  void offerLow(const Vec3& p, MDL_Object* from) {
    if (p.*along < low) {
      low = p.*along;
      lowPoint = p;
      lowObject = from;
    }
  }
  void offerHigh(const Vec3& p, MDL_Object* from) {
    if (p.*along > high) {
      high = p.*along;
      highPoint = p;
      highObject = from;
    }
  }
};

// Offers every world vertex of the mesh that carries a collision volume.
// A volume whose parent is not a mesh has no vertices to offer.
void offerMeshVertices(MDL_Object* object, AxisExtremes& ex) {
  if (object->type != OBJECT_MESH && object->type != OBJECT_ANIMATED_MESH) return;
  MDL_Mesh* mesh = static_cast<MDL_Mesh*>(object);
  const RigidTransform& w = mesh->getWorld();
  int32_t count = mesh->vertexCount();
  const Vec3* v = count > 0 ? mesh->vertex(0) : nullptr;
  if (!v) return;
  for (int32_t i = 0; i < count; ++i) {
    Vec3 p = w.basis * v[i] + w.position;
    if (ex.wantLow) ex.offerLow(p, mesh);
    if (ex.wantHigh) ex.offerHigh(p, mesh);
  }
}

// Offers what one object of a body's subtree reaches along the axis.
void offerExtremes(MDL_Object* o, bool vertices, AxisExtremes& ex) {
  if (o->type == OBJECT_COLLISION_VOLUME) {
    MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(o);
    if (v->collisionMask & 1u) {
      if (vertices) {
        if (v->parent) offerMeshVertices(v->parent, ex);
      } else {
        Vec3 lo, hi;
        if (v->extremePoints(ex.axis, ex.wantLow ? &lo : nullptr, ex.wantHigh ? &hi : nullptr)) {
          if (ex.wantLow) ex.offerLow(lo, v);
          if (ex.wantHigh) ex.offerHigh(hi, v);
        }
      }
    }
  }
}

// Depth-first over the body's descendants, children in sibling order.
void walkExtremes(MDL_Object* body, bool vertices, AxisExtremes& ex) {
  body->forEachDescendant([&](MDL_Object* o) { offerExtremes(o, vertices, ex); });
}

// Contacts of a body in no scene act unasked.
bool preCollision(Scene* scene, CTRL_ScriptEngine* engine, const Vec3& p, const Vec3& n, double depth, MDL_Object* body,
                  MDL_Object* volume) {
  return !scene || scene->firePreCollision(engine, p, n, depth, body, volume, nullptr, nullptr);
}

}  // namespace

// Coefficients of dv/dt = a - c v solved exactly over dt: the position moves
// by a k2 + v k1 and the speed becomes v e + a k1.
const DampingCoefficients& DampingCoefficients::of(double c, double step) {
  // Equal rates give equal coefficients (0 and -0 both take the first way);
  // a rate that is not a number is never equal, and computed each time.
  if (c == rate && step == dt) return *this;
  rate = c;
  dt = step;
  if (c < kDampingThreshold) {
    k1 = step;
    k2 = step * step / 2;
    e = 1.0;
  } else {
    e = std::exp(-c * step);
    k1 = (1 - e) / c;
    k2 = (step - k1) / c;
  }
  return *this;
}

MDL_RigidBody::MDL_RigidBody() { type = OBJECT_RIGID_BODY; }

MDL_RigidBody::MDL_RigidBody(const MDL_RigidBody& o)
    : MDL_Object(o),
      force(o.force),
      speed(o.speed),
      inverseMass(o.inverseMass),
      torque(o.torque),
      angularMomentum(o.angularMomentum),
      angularSpeed(o.angularSpeed),
      inverseInertia(o.inverseInertia),
      damping(o.damping),
      angularDamping(o.angularDamping),
      elasticity(o.elasticity),
      friction(o.friction),
      still(o.still),
      verticesGroundCollision(o.verticesGroundCollision),
      angularDirty(o.angularDirty),
      stillTimer(o.stillTimer),
      stillDelay(o.stillDelay),
      keepAxis(o.keepAxis) {}

MDL_RigidBody::~MDL_RigidBody() = default;

void MDL_RigidBody::setInertia(const Vec3& inertia) {
  inverseInertia = inertia;
  for (int i = 0; i < 3; ++i)
    if (inverseInertia[i] != 0.0) inverseInertia[i] = 1.0 / inverseInertia[i];
  // Hold the axis the body turns most easily about; a locked axis is taken
  // whenever it is met.
  int keep = 0;
  for (int i = 1; i < 3; ++i)
    if (inverseInertia[i] > inverseInertia[keep] || inertia[i] == 0.0) keep = i;
  keepAxis = keep;
}

void MDL_RigidBody::setAngularSpeed(const Vec3& wv) {
  const RigidTransform& w = getWorld();
  Vec3 l = w.inverse() * wv;
  for (int i = 0; i < 3; ++i) l[i] = inverseInertia[i] == 0.0 ? 0.0 : l[i] / inverseInertia[i];
  angularMomentum = w.basis * l;
  angularDirty = 1;
}

double MDL_RigidBody::effectiveInverseMass(const Vec3& r, const Vec3& n) {
  const Matrix3& inv = getWorld().inverse();
  return effectiveInverseMassLocal(inv * r, inv * n);
}

double inverseMassAt(MDL_RigidBody* body, const Vec3& p, const Vec3& n) {
  return body ? body->effectiveInverseMass(p - body->getWorld().position, n) : 0.0;
}

void MDL_RigidBody::resolveContact(const Vec3& p, const Vec3& P) {
  const RigidTransform& cur = getWorld();
  Vec3 position = cur.position;
  addScaled3(position, P, inverseMass);
  Vec3 delta = cur.basis * mulComponents3(inverseInertia, cur.inverse() * cross3(p - position, P));
  bool turns = !isZero3(delta);
  if (position == cur.position && !turns) return;
  RigidTransform& w = turns ? editWorld() : editWorldPosition();
  w.position = position;
  if (turns) {
    Matrix3::integrateRotation(w.basis, delta, keepAxis);
    w.inverseStale = 1;
    angularDirty = 1;
  }
}

bool solveImpulseForPointVelocity(double m, const Vec3& ii, const Vec3& p, const Vec3& dv, Vec3& out) {
  const double x = p.x, y = p.y, z = p.z;
  // K = m I - [p]x diag(ii) [p]x, symmetric.
  const double k00 = m + ii.y * z * z + ii.z * y * y;
  const double k11 = m + ii.x * z * z + ii.z * x * x;
  const double k22 = m + ii.x * y * y + ii.y * x * x;
  const double k01 = -ii.z * x * y;
  const double k02 = -ii.y * x * z;
  const double k12 = -ii.x * y * z;
  const double c00 = k11 * k22 - k12 * k12;
  const double c01 = k02 * k12 - k01 * k22;
  const double c02 = k01 * k12 - k02 * k11;
  const double c11 = k00 * k22 - k02 * k02;
  const double c12 = k01 * k02 - k00 * k12;
  const double c22 = k00 * k11 - k01 * k01;
  const double det = k00 * c00 + k01 * c01 + k02 * c02;
  if (det == 0.0) return false;
  out.x = (c00 * dv.x + c01 * dv.y + c02 * dv.z) / det;
  out.y = (c01 * dv.x + c11 * dv.y + c12 * dv.z) / det;
  out.z = (c02 * dv.x + c12 * dv.y + c22 * dv.z) / det;
  return true;
}

void MDL_RigidBody::setSpeed(const Vec3& p, const Vec3& v) {
  const RigidTransform& w = getWorld();
  if (inverseMass == 0.0) {
    if (lengthSquared3(p) > 0) {
      Vec3 r = w.basis * p;
      setAngularSpeed(cross3(r, v) * (1.0 / lengthSquared3(r)));
    }
    return;
  }
  if (inverseInertia.x == 0.0 && inverseInertia.y == 0.0 && inverseInertia.z == 0.0) speed = v;
  Vec3 worldPoint = w.toWorldPoint(p);
  Vec3 dv = w.inverse() * (v - getVelocityAtPoint(worldPoint));
  Vec3 j;
  if (!solveImpulseForPointVelocity(inverseMass, inverseInertia, p, dv, j)) return;
  applyImpulse(worldPoint, getWorld().basis * j);
}

void MDL_RigidBody::integrate(const Vec3& gravity, double dt) {
  DampingCoefficients linear, angular;
  integrate(gravity, dt, linear, angular);
}

void MDL_RigidBody::integrate(const Vec3& gravity, double dt, DampingCoefficients& linear,
                              DampingCoefficients& angular) {
  if (still) return;
  Vec3 a;
  if (inverseMass != 0.0) a = force * inverseMass + gravity;
  const DampingCoefficients& lin = linear.of(damping, dt);
  const double k1 = lin.k1, k2 = lin.k2, e = lin.e;
  bool accelerates = !isZero3(a), moves = !isZero3(speed);
  if (accelerates || moves) {
    RigidTransform& w = editWorldPosition();
    if (accelerates) addScaled3(w.position, a, k2);
    if (moves) addScaled3(w.position, speed, k1);
  }
  speed = speed * e + a * k1;

  const DampingCoefficients& ang = angular.of(angularDamping, dt);
  const double ak1 = ang.k1, ak2 = ang.k2, ae = ang.e;
  const RigidTransform& cur = getWorld();
  Vec3 alpha = cur.basis * mulComponents3(inverseInertia, cur.inverse() * torque);
  Vec3 omega = getAngularSpeed();
  Vec3 theta = alpha * ak2 + omega * ak1;
  if (!isZero3(theta)) {
    // Moved already: the subtree has let go of this placement once, and
    // nothing has read it since.
    RigidTransform& w = accelerates || moves ? world : editWorld();
    changed = 1;
    Matrix3::integrateRotation(w.basis, theta, keepAxis);
    w.inverseStale = 1;
  }
  // The angular acceleration joins the momentum as it stands: content is
  // tuned to this.
  angularMomentum = angularMomentum * ae + alpha * ak1;
  angularDirty = 1;

  if (stillDelay > 0) {
    if (belowStillThresholds()) {
      stillTimer += dt;
      if (stillTimer > stillDelay) still = 1;
    } else {
      stillTimer = 0;
    }
  }
}

bool MDL_RigidBody::collideStatic(CTRL_ScriptEngine* engine, const Vec3& p, const Vec3& n, MDL_Object* volume,
                                  MDL_Object* other, double e, double mu) {
  const RigidTransform& w = getWorld();
  const Matrix3& inv = w.inverse();
  Vec3 r = p - w.position;
  Vec3 rl = inv * r, nl = inv * n;
  Vec3 omega = mulComponents3(inverseInertia, inv * angularMomentum);
  double K = effectiveInverseMassLocal(rl, nl);
  double j = 0.0;
  if (K != 0.0) j = -(1 + (elasticity + e) / 2) * dot3(inv * speed + cross3(omega, rl), nl) / K;
  if (j <= 0) return false;
  applyImpulse(p, n * j);
  const uint64_t placements = MDL_Object::placementEpoch;
  if (scene) scene->firePostCollision(engine, p, n, j, this, volume, nullptr, other);

  double muSum = friction + mu;
  if (muSum <= 0) return true;
  Vec3 vp = getVelocityAtPoint(p);
  Vec3 vt = vp - n * dot3(vp, n);
  double len = length3(vt);
  if (!(len > 0)) return true;
  Vec3 t = vt * (1.0 / len);
  double jMax = std::min(muSum, 2.0) * j * 0.5;
  // r in the body frame is still rl unless the callback moved something.
  double Kt =
      MDL_Object::placementEpoch == placements ? effectiveInverseMassLocal(rl, inv * t) : effectiveInverseMass(r, t);
  // |v_t| stands for v_p.t (equal in exact arithmetic), so that a tangential
  // part made of rounding noise never turns friction against the normal.
  double jt = Kt == 0.0 ? 0.0 : len / Kt;
  if (jt <= 0) return true;
  applyImpulse(p, t * -std::min(jt, jMax));
  return true;
}

void MDL_RigidBody::separate(const Vec3& p, const Vec3& n, double depth) {
  double K = effectiveInverseMass(p - getWorld().position, n);
  if (K != 0.0) resolveContact(p, n * (depth / K));
}

bool MDL_RigidBody::collideBounds(CTRL_ScriptEngine* engine, int axis, double lower, double upper, double e,
                                  double mu) {
  if (still || !firstChild) return false;
  AxisExtremes ex(axis, lower != -DBL_MAX, upper != DBL_MAX);
  walkExtremes(this, verticesGroundCollision != 0, ex);

  if (lower != -DBL_MAX) {
    double depth = lower - ex.low;
    if (depth > 0) {
      Vec3 n;
      n[axis] = 1.0;
      if (preCollision(scene, engine, ex.lowPoint, n, depth, this, ex.lowObject)) {
        collideStatic(engine, ex.lowPoint, n, ex.lowObject, nullptr, e, mu);
        if (inverseMass != 0.0) separate(ex.lowPoint, n, lower - ex.low);
        return true;
      }
    }
  }
  if (upper != DBL_MAX) {
    double depth = ex.high - upper;
    if (depth > 0) {
      Vec3 n;
      n[axis] = -1.0;
      if (preCollision(scene, engine, ex.highPoint, n, depth, this, ex.highObject)) {
        collideStatic(engine, ex.highPoint, n, ex.highObject, nullptr, e, mu);
        if (inverseMass != 0.0) separate(ex.highPoint, n, ex.high - upper);
        return true;
      }
    }
  }
  return false;
}

void MDL_RigidBody::computeMassAndInertia(double density) {
  RigidTransform saved = getWorld();
  {
    RigidTransform& w = editWorld();
    w.setIdentity();
  }
  double size[3];
  for (int axis = 0; axis < 3; ++axis) {
    AxisExtremes ex(axis, true, true);
    walkExtremes(this, true, ex);
    size[axis] = ex.lowObject ? ex.high - ex.low : 1.0;
  }
  double mass = size[0] * size[1] * size[2] * density;
  Vec3 inertia;
  if (mass == 0.0) {
    inverseMass = 0.0;
  } else {
    inverseMass = 1.0 / mass;
    const double k = 0.08333333333333333 * mass;
    inertia = Vec3(size[1] * size[1] + size[2] * size[2], size[0] * size[0] + size[2] * size[2],
                   size[0] * size[0] + size[1] * size[1]) *
              k;
  }
  setInertia(inertia);
  editWorld() = saved;
  angularDirty = 1;
}
