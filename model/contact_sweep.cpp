// The collision pass: a sweep along world x that meets the pairs of
// volumes whose x intervals overlap, each handed to the contact rules.
#include "model/contact_sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "model/collision.h"
#include "model/collision_volume.h"
#include "model/qsort_bm.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace {

int compareSweepEntries(const void* a, const void* b) {
  double x = (*static_cast<SweepEntry* const*>(a))->coordinate;
  double y = (*static_cast<SweepEntry* const*>(b))->coordinate;
  return x < y ? -1 : (x > y ? 1 : 0);
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

using SweepVolume = ContactSweepState::SweepVolume;

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
  using Ranked = ContactSweepState::Ranked;

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
    if (!scene_.sweepState) scene_.sweepState = std::make_unique<ContactSweepState>();
    ContactSweepState& s = *scene_.sweepState;
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
    collideSweepPair(&scene_, engine_, a, v_[bi].volume, bodies);
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
