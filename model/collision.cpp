#include "model/collision.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <new>
#include <vector>

#include "model/collision_volume.h"
#include "model/qsort_bm.h"
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

namespace {

int compareSweepEntries(const void* a, const void* b) {
  double x = (*static_cast<SweepEntry* const*>(a))->coordinate;
  double y = (*static_cast<SweepEntry* const*>(b))->coordinate;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// Impulses between two movable bodies at one contact.
void respondBoth(CTRL_ScriptEngine* engine, Scene* scene, const Contact& c, MDL_RigidBody* bodyA,
                 MDL_CollisionVolume* a, MDL_RigidBody* bodyB, MDL_CollisionVolume* b) {
  const Vec3& n = c.normal;
  double u = dot3(bodyB->getVelocityAtPoint(c.point) - bodyA->getVelocityAtPoint(c.point), n);
  double K = inverseMassAt(bodyA, c.point, n) + inverseMassAt(bodyB, c.point, n);
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
  MDL_RigidBody* bodyA = findOwningRigidBody(a);
  MDL_RigidBody* bodyB = findOwningRigidBody(b);
  bodies[0] = bodyA;
  bodies[1] = bodyB;
  if ((bodyA && bodyA->pendingDelete) || (bodyB && bodyB->pendingDelete) || bodyA == bodyB) return;
  if ((!bodyA || bodyA->still) && (!bodyB || bodyB->still)) return;
  Contact c;
  if (!collideShapes(a, b, c)) return;
  if (!scene->firePreCollision(engine, c.point, c.normal, c.depth, bodyA, a, bodyB, b)) return;
  // The callback may have deleted a party to its own contact: a flagged
  // object takes no impulse and is never reported again.
  if (a->pendingDelete || b->pendingDelete || (bodyA && bodyA->pendingDelete) || (bodyB && bodyB->pendingDelete))
    return;

  if (bodyA && bodyB)
    respondBoth(engine, scene, c, bodyA, a, bodyB, b);
  else if (bodyA)
    bodyA->collideStatic(engine, c.point, -c.normal, a, b, scene->boundsElasticity, scene->boundsFriction);
  else
    bodyB->collideStatic(engine, c.point, c.normal, b, a, scene->boundsElasticity, scene->boundsFriction);

  double K = inverseMassAt(bodyA, c.point, c.normal) + inverseMassAt(bodyB, c.point, c.normal);
  if (K == 0.0) return;
  double P = c.depth / K;
  if (bodyA) bodyA->resolveContact(c.point, c.normal * -P);
  if (bodyB) bodyB->resolveContact(c.point, c.normal * P);
}

// ---- The sweep with pruned pairs
//
// The sweep along x meets every pair whose x intervals overlap; in a row
// along y, a tower or a grid that is most of them. Each pair is still met
// in the sweep's order, but a pair whose bounding spheres lie apart along y
// or z is skipped: it would fail the reach test, which touches nothing.
// Every volume is indexed by a box around its bounding sphere with some room
// to move, sorted along whichever of y and z spreads the volumes more.
// Moves are followed exactly: a response moves only its two bodies'
// subtrees, whose volumes are checked against their boxes (one that left its
// box is a candidate for every pair from then on), and a callback that moves
// anything at all hands the rest of the pass to the plain sweep.

// Each box is widened well past the rounding of the reach test, so a
// skipped pair's squared distance surely exceeds its squared reach;
// placements too large to square safely are never skipped.
constexpr double kRadiusSlack = 1e-6;
constexpr double kCoordinateSlack = 1e-12;
constexpr double kHuge = 1e150;
// The room to move, in radii: contact responses nudge bodies by their
// penetration, far less than this.
constexpr double kRoom = 0.05;
// Fewer volumes than this, or fewer plain pairs than this per volume: the
// plain sweep costs less than the index.
constexpr int32_t kPruneFrom = 16;
constexpr int64_t kPlainPairsPerVolume = 16;
// A volume this many times wider than the median along the indexed axis is
// always a candidate, so that one large floor does not widen every query.
constexpr double kWideFactor = 8.0;

struct SweepVolume {
  MDL_CollisionVolume* volume;
  // The box, room included: along the indexed axis and along the other one.
  double lo, hi, otherLo, otherHi;
  int32_t rank;        // place in the order by lo; -1: always a candidate
  int32_t from, to;    // the ranks a query for this volume covers
  int32_t slot;        // opening order
  int32_t prev, next;  // the open list, in opening order
  int32_t movedAt;     // place in the open-and-moved list, or -1
  uint32_t seen;       // candidate stamp
  uint8_t open, moved;
};

// The y and z half widths of a bounding sphere's box, rounding included;
// false when the numbers are unsafe to compare.
bool boxHalfWidths(const Vec3& c, double r, double& hy, double& hz) {
  if (!(r >= 0.0 && r < kHuge && std::fabs(c.x) < kHuge && std::fabs(c.y) < kHuge && std::fabs(c.z) < kHuge))
    return false;
  hy = r * (1.0 + kRadiusSlack) + (std::fabs(c.y) + r) * kCoordinateSlack;
  hz = r * (1.0 + kRadiusSlack) + (std::fabs(c.z) + r) * kCoordinateSlack;
  return true;
}

// The place of the lowest set bit of a non-zero word.
int lowestBit(uint64_t bits) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctzll(bits);
#else
  int i = 0;
  for (; !(bits & 1); bits >>= 1) ++i;
  return i;
#endif
}

class PrunedSweep {
 public:
  PrunedSweep(Scene& scene, CTRL_ScriptEngine* engine) : scene_(scene), engine_(engine) {}

  // Builds the index over the volumes of the sorted entries; false when the
  // plain sweep should run (few pairs to skip, or no memory for the index).
  bool prepare() {
    try {
      return worthIt() && build();
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // Runs the sweep from the first entry; returns the entry the plain sweep
  // goes on from, with scene.sweepOpen holding the open list.
  int32_t run() {
    PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    for (int32_t i = 0; i < entries.count; ++i) {
      SweepEntry* e = entries[i];
      MDL_CollisionVolume* a = static_cast<MDL_CollisionVolume*>(e->volume);
      if (a->pendingDelete) continue;
      const int32_t ai = indexOf(a);
      // Entries the index does not know (added by a callback) or a second
      // opening: the plain sweep handles what it always did.
      if (ai < 0 || (e->begin && v_[ai].open)) return handOver(i);
      if (v_[ai].moved || !gatherCandidates(ai)) {
        visitFrom(a, head_);
      } else {
        for (int32_t c : *candidates_) {
          if (visit(a, c)) continue;
          // A volume left its box: the rest of this entry's pairs come from
          // the open list itself.
          visitFrom(a, v_[c].next);
          break;
        }
      }
      if (e->begin)
        openVolume(ai);
      else if (v_[ai].open)
        closeVolume(ai);
      if (plainFromHere_) return handOver(i + 1);
    }
    return entries.count;
  }

 private:
  struct Ranked {
    double lo;
    int32_t volume;
  };
  struct Scratch {
    std::vector<SweepVolume> v;
    std::vector<Ranked> byAxis;
    std::vector<double> extents;
    std::vector<uint64_t> openBits;
    std::vector<int32_t> openMoved;
    std::vector<int32_t> candidates;
  };
  static Scratch& scratch() {
    static Scratch s;  // reused from step to step; the passes never nest
    return s;
  }

  // What the plain sweep would meet, counted on the sorted entries alone.
  bool worthIt() const {
    const PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    if (entries.count < 2 * kPruneFrom) return false;
    int64_t open = 0, pairs = 0;
    for (const SweepEntry* e : entries) {
      pairs += open;
      if (e->begin)
        ++open;
      else if (open > 0)
        --open;
    }
    return pairs > kPlainPairsPerVolume * (entries.count / 2);
  }

  bool build() {
    PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    Scratch& s = scratch();
    s.v.clear();
    s.v.reserve(static_cast<size_t>(entries.count / 2 + 1));
    for (SweepEntry* e : entries) {
      MDL_CollisionVolume* vol = static_cast<MDL_CollisionVolume*>(e->volume);
      if (indexOfIn(s.v, vol) >= 0) continue;
      vol->sweepIndex = static_cast<int32_t>(s.v.size());
      s.v.push_back(placed(vol));
    }
    const size_t n = s.v.size();
    chooseAxis(s.v);
    // The median width decides which volumes are too wide to index.
    s.extents.clear();
    for (const SweepVolume& sv : s.v)
      if (sv.rank == 0) s.extents.push_back(sv.hi - sv.lo);
    double wide = 0.0;
    if (!s.extents.empty()) {
      auto mid = s.extents.begin() + static_cast<std::ptrdiff_t>(s.extents.size() / 2);
      std::nth_element(s.extents.begin(), mid, s.extents.end());
      wide = *mid * kWideFactor;
    }
    double maxExtent = 0.0;
    s.byAxis.clear();
    s.openMoved.clear();
    s.openMoved.reserve(n);
    s.candidates.clear();
    s.candidates.reserve(n);
    for (size_t j = 0; j < n; ++j) {
      SweepVolume& sv = s.v[j];
      const double extent = sv.hi - sv.lo;
      if (sv.rank != 0 || extent > wide) {
        sv.rank = -1;
        sv.moved = 1;  // always a candidate
        continue;
      }
      if (extent > maxExtent) maxExtent = extent;
      s.byAxis.push_back(Ranked{sv.lo, static_cast<int32_t>(j)});
    }
    std::sort(s.byAxis.begin(), s.byAxis.end(), [](const Ranked& p, const Ranked& q) { return p.lo < q.lo; });
    // A box overlapping this one starts at most the widest box before it,
    // and at the latest where this one ends: the ranks between, found by
    // walking both ends up the order once.
    const double reach = maxExtent * 1.01;
    const int32_t m = static_cast<int32_t>(s.byAxis.size());
    int32_t first = 0, end = 0;
    for (int32_t r = 0; r < m; ++r) {
      SweepVolume& sv = s.v[static_cast<size_t>(s.byAxis[static_cast<size_t>(r)].volume)];
      sv.rank = r;
      while (s.byAxis[static_cast<size_t>(first)].lo < sv.lo - reach) ++first;
      if (end < r) end = r;
      while (end < m && !(s.byAxis[static_cast<size_t>(end)].lo > sv.lo + reach)) ++end;
      sv.from = first;
      sv.to = end;
    }
    s.openBits.assign((s.byAxis.size() + 63) / 64, 0);
    v_ = s.v.data();
    count_ = static_cast<int32_t>(n);
    byAxis_ = s.byAxis.data();
    openBits_ = s.openBits.data();
    openMoved_ = &s.openMoved;
    candidates_ = &s.candidates;
    return true;
  }

  // A volume's entry with its box; rank 0 marks one that can be indexed,
  // -1 one whose numbers are unsafe to compare.
  static SweepVolume placed(MDL_CollisionVolume* vol) {
    SweepVolume sv{};
    sv.volume = vol;
    sv.prev = sv.next = sv.movedAt = -1;
    const Vec3& c = vol->getWorld().position;
    const double r = vol->boundingRadius;
    double hy, hz;
    sv.rank = boxHalfWidths(c, r, hy, hz) ? 0 : -1;
    if (sv.rank < 0) return sv;
    sv.lo = c.y - (hy + kRoom * r);
    sv.hi = c.y + (hy + kRoom * r);
    sv.otherLo = c.z - (hz + kRoom * r);
    sv.otherHi = c.z + (hz + kRoom * r);
    return sv;
  }

  // Boxes are placed along y first; z is indexed instead when the volumes'
  // centres spread further along it, in units of the widest box.
  void chooseAxis(std::vector<SweepVolume>& v) {
    double low[2] = {kHuge, kHuge}, high[2] = {-kHuge, -kHuge}, widest[2] = {0.0, 0.0};
    for (const SweepVolume& sv : v) {
      if (sv.rank != 0) continue;
      const double bounds[2][2] = {{sv.lo, sv.hi}, {sv.otherLo, sv.otherHi}};
      for (int k = 0; k < 2; ++k) {
        const double centre = (bounds[k][0] + bounds[k][1]) / 2, width = bounds[k][1] - bounds[k][0];
        low[k] = std::min(low[k], centre);
        high[k] = std::max(high[k], centre);
        widest[k] = std::max(widest[k], width);
      }
    }
    axis_ = 1;
    if (!((high[1] - low[1]) * widest[0] > (high[0] - low[0]) * widest[1])) return;
    axis_ = 2;
    for (SweepVolume& sv : v) {
      std::swap(sv.lo, sv.otherLo);
      std::swap(sv.hi, sv.otherHi);
    }
  }

  // Whether the volume's bounding sphere still lies inside its box.
  bool insideBox(const SweepVolume& sv) const {
    const Vec3& c = sv.volume->getWorld().position;
    double hy, hz;
    if (!boxHalfWidths(c, sv.volume->boundingRadius, hy, hz)) return false;
    const double along = axis_ == 1 ? c.y : c.z, across = axis_ == 1 ? c.z : c.y;
    const double halfAlong = axis_ == 1 ? hy : hz, halfAcross = axis_ == 1 ? hz : hy;
    return along - halfAlong >= sv.lo && along + halfAlong <= sv.hi && across - halfAcross >= sv.otherLo &&
           across + halfAcross <= sv.otherHi;
  }

  static int32_t indexOfIn(const std::vector<SweepVolume>& v, const MDL_CollisionVolume* vol) {
    const int32_t i = vol->sweepIndex;
    return i >= 0 && static_cast<size_t>(i) < v.size() && v[static_cast<size_t>(i)].volume == vol ? i : -1;
  }
  int32_t indexOf(const MDL_CollisionVolume* vol) const {
    const int32_t i = vol->sweepIndex;
    return i >= 0 && i < count_ && v_[i].volume == vol ? i : -1;
  }

  // The open volumes that may reach volume ai, in opening order; false when
  // they are so many that walking the whole open list costs less.
  bool gatherCandidates(int32_t ai) {
    const SweepVolume& a = v_[ai];
    std::vector<int32_t>& found = *candidates_;
    found.clear();
    ++stamp_;
    const size_t r0 = static_cast<size_t>(a.from), r1 = static_cast<size_t>(a.to);
    for (size_t w = r0 / 64; w * 64 < r1; ++w) {
      uint64_t bits = openBits_[w];
      if (w == r0 / 64) bits &= ~uint64_t{0} << (r0 % 64);
      if ((w + 1) * 64 > r1 && r1 % 64) bits &= (uint64_t{1} << (r1 % 64)) - 1;
      while (bits) {
        const int32_t j = byAxis_[w * 64 + static_cast<size_t>(lowestBit(bits))].volume;
        bits &= bits - 1;
        const SweepVolume& b = v_[j];
        if (j == ai || b.lo > a.hi || a.lo > b.hi || b.otherLo > a.otherHi || a.otherLo > b.otherHi) continue;
        v_[j].seen = stamp_;
        found.push_back(j);  // within the capacity reserved
      }
    }
    for (int32_t j : *openMoved_) {
      if (j == ai || v_[j].seen == stamp_) continue;
      v_[j].seen = stamp_;
      found.push_back(j);
    }
    if (found.size() * 2 > static_cast<size_t>(openCount_)) return false;
    std::sort(found.begin(), found.end(), [this](int32_t p, int32_t q) { return v_[p].slot < v_[q].slot; });
    return true;
  }

  // One pair; false when a volume left its box or a callback moved
  // anything.
  bool visit(MDL_CollisionVolume* a, int32_t bi) {
    const uint64_t epoch = MDL_Object::placementEpoch;
    const uint64_t scripted = scene_.placementChangesInCallbacks;
    MDL_RigidBody* bodies[2] = {nullptr, nullptr};
    collidePair(&scene_, engine_, a, v_[bi].volume, bodies);
    if (MDL_Object::placementEpoch == epoch) return true;
    if (scene_.placementChangesInCallbacks != scripted) {
      plainFromHere_ = true;
      return false;
    }
    bool kept = true;
    for (MDL_RigidBody* body : bodies)
      if (body) body->forEachDescendant([this, &kept](MDL_Object* o) { kept = checkMoved(o) && kept; });
    return kept;
  }

  void visitFrom(MDL_CollisionVolume* a, int32_t first) {
    for (int32_t k = first; k >= 0; k = v_[k].next) visit(a, k);
  }

  // After a move: a volume outside its box is a candidate from now on.
  // False when this one just left its box.
  bool checkMoved(MDL_Object* o) {
    if (o->type != OBJECT_COLLISION_VOLUME) return true;
    const int32_t j = indexOf(static_cast<MDL_CollisionVolume*>(o));
    if (j < 0 || v_[j].moved || insideBox(v_[j])) return true;
    v_[j].moved = 1;
    if (v_[j].open) addOpenMoved(j);
    return false;
  }

  void addOpenMoved(int32_t j) {
    v_[j].movedAt = static_cast<int32_t>(openMoved_->size());
    openMoved_->push_back(j);  // within the capacity reserved
  }

  void openVolume(int32_t j) {
    SweepVolume& sv = v_[j];
    sv.open = 1;
    sv.slot = nextSlot_++;
    sv.prev = tail_;
    sv.next = -1;
    if (tail_ >= 0)
      v_[tail_].next = j;
    else
      head_ = j;
    tail_ = j;
    ++openCount_;
    if (sv.rank >= 0) openBits_[sv.rank / 64] |= uint64_t{1} << (sv.rank % 64);
    if (sv.moved) addOpenMoved(j);
  }

  void closeVolume(int32_t j) {
    SweepVolume& sv = v_[j];
    sv.open = 0;
    if (sv.prev >= 0)
      v_[sv.prev].next = sv.next;
    else
      head_ = sv.next;
    if (sv.next >= 0)
      v_[sv.next].prev = sv.prev;
    else
      tail_ = sv.prev;
    --openCount_;
    if (sv.rank >= 0) openBits_[sv.rank / 64] &= ~(uint64_t{1} << (sv.rank % 64));
    if (sv.movedAt >= 0) {
      const int32_t last = openMoved_->back();
      (*openMoved_)[static_cast<size_t>(sv.movedAt)] = last;
      v_[last].movedAt = sv.movedAt;
      openMoved_->pop_back();
      sv.movedAt = -1;
    }
  }

  // The open list as the plain sweep keeps it, for it to go on from entry i.
  int32_t handOver(int32_t i) {
    scene_.sweepOpen.resize(0);
    for (int32_t k = head_; k >= 0; k = v_[k].next) scene_.sweepOpen.append(v_[k].volume);
    return i;
  }

  Scene& scene_;
  CTRL_ScriptEngine* engine_;
  SweepVolume* v_ = nullptr;
  int32_t count_ = 0;
  const Ranked* byAxis_ = nullptr;
  int axis_ = 1;  // the indexed axis: 1 y, 2 z
  uint64_t* openBits_ = nullptr;
  std::vector<int32_t>* openMoved_ = nullptr;
  std::vector<int32_t>* candidates_ = nullptr;
  int32_t head_ = -1, tail_ = -1, openCount_ = 0, nextSlot_ = 0;
  uint32_t stamp_ = 0;
  bool plainFromHere_ = false;
};

}  // namespace

void collideSweepPair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_CollisionVolume* b) {
  MDL_RigidBody* bodies[2] = {nullptr, nullptr};
  collidePair(scene, engine, a, b, bodies);
}

void Scene::collide(CTRL_ScriptEngine* engine) {
  for (MDL_Object* v : collisionVolumes) static_cast<MDL_CollisionVolume*>(v)->updateSize();
  for (SweepEntry* e : sweepEntries) {
    MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(e->volume);
    double h;
    if (v->shape == SHAPE_SPHERE) {
      h = v->boundingRadius;
    } else {
      const Matrix3& b = v->getWorld().basis;
      h = std::fabs(b.X().x) + std::fabs(b.Y().x) + std::fabs(b.Z().x);
    }
    double cx = v->getWorld().position.x;
    e->coordinate = e->begin ? cx - h : cx + h;
  }
  qsortBM(sweepEntries.data, static_cast<size_t>(sweepEntries.count), sizeof(SweepEntry*), compareSweepEntries);
  sweepOpen.resize(0);
  int32_t i = 0;
  PrunedSweep pruned(*this, engine);
  if (pruned.prepare()) i = pruned.run();
  // The plain sweep: every open volume against each entry's.
  for (; i < sweepEntries.count; ++i) {
    SweepEntry* e = sweepEntries[i];
    MDL_CollisionVolume* a = static_cast<MDL_CollisionVolume*>(e->volume);
    if (a->pendingDelete) continue;
    for (int32_t k = 0; k < sweepOpen.count; ++k)
      collideSweepPair(this, engine, a, static_cast<MDL_CollisionVolume*>(sweepOpen[k]));
    if (e->begin)
      sweepOpen.append(a);
    else
      sweepOpen.removeFirst(a);
  }
}
