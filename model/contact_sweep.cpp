// The collision pass: a sweep along world x that meets every pair of volumes
// whose x intervals overlap and hands each to the contact rules of
// model/collision.cpp, in the sweep's order. Most pairs of a large scene are
// skipped unvisited, but only pairs whose visit would have done nothing, so
// the contacts, callbacks and results are those of the plain sweep.
#include "model/contact_sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/prefetch.h"
#include "model/collision.h"
#include "model/collision_volume.h"
#include "model/qsort_bm.h"
#include "model/rigid_body.h"
#include "model/scene.h"

namespace {

using State = ContactSweepState;

// The half extent of a volume along world x: its bounding radius for a
// sphere, the x reach of its three axes for a box or a cylinder.
double halfWidthAlongX(MDL_CollisionVolume* v) {
  if (v->shape == SHAPE_SPHERE) return v->boundingRadius;
  const Matrix3& b = v->getWorld().basis;
  return std::fabs(b.X().x) + std::fabs(b.Y().x) + std::fabs(b.Z().x);
}

int compareSweepEntries(const void* a, const void* b) {
  double x = (*static_cast<SweepEntry* const*>(a))->coordinate;
  double y = (*static_cast<SweepEntry* const*>(b))->coordinate;
  return x < y ? -1 : (x > y ? 1 : 0);
}

// The plain sweep from entry i on: every volume of scene.sweepOpen against
// each entry's.
void plainSweepFrom(Scene& s, CTRL_ScriptEngine* engine, int32_t i) {
  for (; i < s.sweepEntries.count; ++i) {
    SweepEntry* e = s.sweepEntries[i];
    MDL_CollisionVolume* a = static_cast<MDL_CollisionVolume*>(e->volume);
    if (a->pendingDelete) continue;
    if (s.sweepState) s.sweepState->pairsMet += static_cast<uint64_t>(s.sweepOpen.count);
    for (int32_t k = 0; k < s.sweepOpen.count; ++k)
      collideSweepPair(&s, engine, a, static_cast<MDL_CollisionVolume*>(s.sweepOpen[k]));
    if (e->begin)
      s.sweepOpen.append(a);
    else
      s.sweepOpen.removeFirst(a);
  }
}

// The pass exactly as written down, for when it cannot keep records of its
// own (no memory, or lists that disagree): sizes, coordinates, the sort and
// the plain sweep.
void plainPass(Scene& s, CTRL_ScriptEngine* engine) {
  for (MDL_Object* v : s.collisionVolumes) static_cast<MDL_CollisionVolume*>(v)->updateSize();
  for (SweepEntry* e : s.sweepEntries) {
    MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(e->volume);
    double h = halfWidthAlongX(v);
    double cx = v->getWorld().position.x;
    e->coordinate = e->begin ? cx - h : cx + h;
  }
  qsortBM(s.sweepEntries.data, static_cast<size_t>(s.sweepEntries.count), sizeof(SweepEntry*), compareSweepEntries);
  s.sweepOpen.resize(0);
  plainSweepFrom(s, engine, 0);
}

// ---- The sort
//
// The entries are sorted by coordinate with the system's quicksort, whose
// placing of equal coordinates decides which pairs meet and in what order;
// so the pass sorts exactly as that sort does, on the coordinates alone.
// Each pass starts from the order the last one left. Still in order with no
// two coordinates equal, nothing moves. Still in order with equal
// neighbours, what the sort does depends only on which neighbours are
// equal, so the moves it made for the same pattern before are made again
// without comparing.

struct KeyedElements {
  static constexpr size_t size = sizeof(State::Keyed);
  int compare(const char* a, const char* b) const {
    double x = reinterpret_cast<const State::Keyed*>(a)->key, y = reinterpret_cast<const State::Keyed*>(b)->key;
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  void swap(char* a, char* b) const {
    std::swap(*reinterpret_cast<State::Keyed*>(a), *reinterpret_cast<State::Keyed*>(b));
  }
};

// Sorts a list that is nearly in order by insertion; false (the list then
// partly moved) once that would cost more than a few moves per item.
template <class T, class Before>
bool insertionSortWithin(std::vector<T>& list, Before before) {
  int64_t budget = 8 * static_cast<int64_t>(list.size()) + 64;
  for (size_t i = 1; i < list.size(); ++i) {
    const T item = list[i];
    size_t j = i;
    for (; j > 0 && before(item, list[j - 1]); --j) {
      if (--budget < 0) return false;
      list[j] = list[j - 1];
    }
    list[j] = item;
  }
  return true;
}

// Entries that moved only a little since the last pass are put in order by
// insertion, while that stays cheap. Where every key then differs from its
// neighbours (and none is not a number), the sorted order is the only one,
// and so the one the system's sort gives; false otherwise, for that sort
// to decide.
bool sortDistinct(std::vector<State::Keyed>& keyed) {
  if (!insertionSortWithin(keyed, [](const State::Keyed& p, const State::Keyed& q) { return p.key < q.key; }))
    return false;
  for (size_t i = 0; i + 1 < keyed.size(); ++i)
    if (!(keyed[i].key < keyed[i + 1].key)) return false;
  return true;
}

// Sets st.order to the place each entry comes from, in sorted order; false
// when the entries are in order already.
bool sortOrder(State& st, int32_t n) {
  const double* key = st.keys.data();
  bool inOrder = true, equalSeen = false;
  std::fill(st.equalNeighbours.begin(), st.equalNeighbours.end(), 0);
  for (int32_t i = 0; i + 1 < n; ++i) {
    if (!(key[i] <= key[i + 1])) {  // out of order, or not a number
      inOrder = false;
      break;
    }
    if (key[i] == key[i + 1]) {
      st.equalNeighbours[static_cast<size_t>(i) / 64] |= uint64_t{1} << (i % 64);
      equalSeen = true;
    }
  }
  if (inOrder && !equalSeen) return false;
  if (inOrder && st.seenOrder.size() == static_cast<size_t>(n) && st.equalNeighbours == st.seenEqualNeighbours) {
    st.order = st.seenOrder;  // within the capacity reserved
    return true;
  }
  for (int32_t i = 0; i < n; ++i) st.keyed[static_cast<size_t>(i)] = {key[i], i};
  if (!sortDistinct(st.keyed)) {
    for (int32_t i = 0; i < n; ++i) st.keyed[static_cast<size_t>(i)] = {key[i], i};
    qsortBMWith(reinterpret_cast<char*>(st.keyed.data()), static_cast<size_t>(n), KeyedElements());
  }
  for (int32_t j = 0; j < n; ++j) st.order[static_cast<size_t>(j)] = st.keyed[static_cast<size_t>(j)].at;
  if (inOrder) {
    st.seenEqualNeighbours = st.equalNeighbours;
    st.seenOrder = st.order;
  } else {
    st.seenOrder.clear();
  }
  return true;
}

// A new zeroed record at the end of a list, for the caller to fill in.
template <class T>
T& appendRecord(std::vector<T>& list) {
  list.emplace_back();
  return list.back();
}

// ---- Skipping pairs
//
// Along y and z. The sweep along x meets every pair whose x intervals
// overlap; in a row along y, a tower or a grid that is most of them. Each
// pair is still met in the sweep's order, but a pair is skipped when it
// surely does nothing: its bounding spheres lie apart along y or z (the
// reach test fails, which touches nothing), or a sphere and a box with
// square corners lie apart (the shape test, exact for that pair, finds no
// contact). Every volume has boxes around its bounding sphere and around
// its shape, with some room to move, indexed along whichever of y and z
// spreads the volumes more. Moves are followed exactly: a response moves
// only its two bodies' subtrees, whose volumes are checked against their
// boxes (one that left its boxes is a candidate for every pair from then
// on), and a callback that moves anything at all ends the skipping for the
// pass.
//
// From pass to pass. The boxes stay while every volume stays inside its own
// (its x interval too, with the same room); once a pass finds them all
// inside again, the volumes whose boxes meet no other volume's can meet
// nothing while that lasts, and the sweep leaves them out. A volume that
// leaves its boxes during such a pass brings them all back at once.
//
// By body. Two volumes of one body (or of none) never act on each other,
// so the open list is kept in runs of one body's volumes, and an entry's
// walk steps over the runs of its own body whole.

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
// A box whose axes are further from square than this (the cosine of their
// angle) keeps to its bounding sphere's box.
constexpr double kSquareCorner = 1e-9;
// Reading the index costs about this many times less per open volume than
// visiting a pair.
constexpr int64_t kBitsPerVisit = 16;

// The y and z half widths of a bounding sphere's box, rounding included;
// false when the numbers are unsafe to compare.
bool boxHalfWidths(const Vec3& c, double r, double& hy, double& hz) {
  if (!(r >= 0.0 && r < kHuge && std::fabs(c.x) < kHuge && std::fabs(c.y) < kHuge && std::fabs(c.z) < kHuge))
    return false;
  hy = r * (1.0 + kRadiusSlack) + (std::fabs(c.y) + r) * kCoordinateSlack;
  hz = r * (1.0 + kRadiusSlack) + (std::fabs(c.z) + r) * kCoordinateSlack;
  return true;
}

// The y and z half widths of a volume's shape itself, rounding included,
// where a box of the shape stands in for the shape test: a sphere, whose
// box is its bounding sphere's, and a box with square corners, which the
// test separates from a sphere exactly (box against box is left to the
// bounding spheres). Called with the bounding sphere's half widths.
ContactSweepState::ShapeBox shapeHalfWidths(MDL_CollisionVolume* v, const Vec3& c, double r, double& hy, double& hz) {
  if (v->shape == SHAPE_SPHERE) return ContactSweepState::SPHERE_BOX;
  if (v->shape != SHAPE_BOX) return ContactSweepState::NO_SHAPE_BOX;
  const Matrix3& b = v->getWorld().basis;
  for (int i = 0; i < 3; ++i) {
    const Vec3& p = b.axis[i];
    const Vec3& q = b.axis[(i + 1) % 3];
    const double pq = dot3(p, q);
    if (!(pq * pq <= kSquareCorner * kSquareCorner * lengthSquared3(p) * lengthSquared3(q)))
      return ContactSweepState::NO_SHAPE_BOX;
  }
  const double y = std::fabs(b.X().y) + std::fabs(b.Y().y) + std::fabs(b.Z().y);
  const double z = std::fabs(b.X().z) + std::fabs(b.Y().z) + std::fabs(b.Z().z);
  if (!(y < kHuge && z < kHuge)) return ContactSweepState::NO_SHAPE_BOX;
  hy = y * (1.0 + kRadiusSlack) + (std::fabs(c.y) + r) * kCoordinateSlack;
  hz = z * (1.0 + kRadiusSlack) + (std::fabs(c.z) + r) * kCoordinateSlack;
  return ContactSweepState::BOX_BOX;
}

// Whether two volumes' boxes meet: those of their bounding spheres, and
// those of their shapes where the shape test separates the two exactly.
bool boxesMeet(const ContactSweepState::Box& looseA, const ContactSweepState::Box& tightA, uint8_t kindA,
               const ContactSweepState::Box& looseB, const ContactSweepState::Box& tightB, uint8_t kindB) {
  if (!looseA.overlaps(looseB)) return false;
  const bool shapes = kindA != ContactSweepState::NO_SHAPE_BOX && kindB != ContactSweepState::NO_SHAPE_BOX &&
                      !(kindA == ContactSweepState::BOX_BOX && kindB == ContactSweepState::BOX_BOX);
  return !shapes || tightA.overlaps(tightB);
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
// How far ahead a loop over scattered records asks for the next one.
constexpr int32_t kAhead = 8;

class SweepPass {
 public:
  SweepPass(Scene& scene, CTRL_ScriptEngine* engine, State& state)
      : scene_(scene), engine_(engine), st_(state), callbacks_(scene.contactCallbacks) {}

  // Sizes, coordinates and the sort, with the pass's records; false (with
  // the entries not yet reordered) when the records cannot be had.
  bool prepare() {
    try {
      reserve();
    } catch (const std::bad_alloc&) {
      return false;
    }
    placeVolumes();
    if (!mapEntries()) return false;
    sortEntries();
    useIndex_ = worthIndexing();
    if (!st_.boxesKept) {
      buildBoxes();
    } else if (!st_.activeKnown) {
      // A second pass with every volume inside its boxes: the scene is at
      // rest, or nearly; from now on only volumes whose boxes meet another's
      // take part, until one leaves its boxes.
      findActive();
    }
    // A volume open to the end of the pass meets every later entry.
    reduced_ = st_.activeKnown && !openToTheEnd_;
    st_.openBits.assign((st_.byAxis.size() + 63) / 64, 0);
    return true;
  }

  void run() {
    PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    const int32_t known = static_cast<int32_t>(st_.entryRefs.size());
    for (int32_t i = 0; i < entries.count; ++i) {
      current_ = i;
      int32_t ai;
      bool begin;
      if (i < known) {
        // The entries reach the records in no order: ask for one ahead.
        if (i + kAhead < known) prefetchRead(&vol(st_.entryRefs[static_cast<size_t>(i + kAhead)].volume));
        const State::EntryRef ref = st_.entryRefs[static_cast<size_t>(i)];
        ai = ref.volume;
        begin = ref.begin != 0;
        // No other volume's boxes meet its own: all its pairs do nothing.
        if (reduced_ && !vol(ai).active) continue;
      } else {
        // Entries past the sorted ones were added by a callback.
        SweepEntry* e = entries[i];
        ai = adopt(static_cast<MDL_CollisionVolume*>(e->volume));
        begin = e->begin != 0;
        if (ai < 0) return handOver(i);
      }
      if (quiet() ? vol(ai).pendingDelete : vol(ai).volume->pendingDelete) continue;
      // A second opening would put a volume twice in the open list: the
      // plain sweep's list can hold it.
      if (begin && vol(ai).open) return handOver(i);
      meetOpenVolumes(ai);
      if (begin)
        openVolume(ai);
      else if (vol(ai).open)
        closeVolume(ai);
    }
    handOver(entries.count);
  }

 private:
  State::Volume& vol(int32_t k) { return st_.volumes[static_cast<size_t>(k)]; }
  State::Group& group(int32_t g) { return st_.groups[static_cast<size_t>(g)]; }

  // No callback has run in this pass: nothing has changed but what the
  // responses did, and the pass's own copies of the rules' inputs hold.
  bool quiet() const { return scene_.contactCallbacks == callbacks_; }

  void reserve() {
    const size_t n = static_cast<size_t>(scene_.collisionVolumes.count);
    const size_t m = static_cast<size_t>(scene_.sweepEntries.count);
    st_.volumes.resize(n);
    st_.intervals.resize(n);
    st_.bases.resize(n);
    st_.volumeList.reserve(n);
    st_.entryList.reserve(m);
    st_.entryRefs.reserve(m);
    st_.sortedRefs.resize(m);
    st_.keys.resize(m);
    st_.keyed.resize(m);
    st_.order.resize(m);
    st_.sortedEntries.resize(m);
    st_.equalNeighbours.resize((m + 63) / 64);
    st_.seenEqualNeighbours.reserve((m + 63) / 64);
    st_.seenOrder.reserve(m);
    st_.groups.reserve(n + 1);
    st_.runs.reserve(n);
    st_.byAxis.reserve(n);
    st_.extents.reserve(n);
    st_.openBits.reserve((n + 63) / 64);
    st_.openMoved.reserve(n);
    st_.candidates.reserve(n);
    st_.events.reserve(2 * n);
    st_.openVolumes.reserve(n);
  }

  // Sizes and x intervals of the scene's volumes, whether each is still
  // inside its boxes, and what the pair rules read of those that can take
  // part in the pass.
  void placeVolumes() {
    PtrArray<MDL_Object>& list = scene_.collisionVolumes;
    const size_t n = static_cast<size_t>(list.count);
    sameVolumes_ = st_.volumeList.size() == n &&
                   (n == 0 || std::memcmp(st_.volumeList.data(), list.data, n * sizeof(MDL_Object*)) == 0);
    if (!sameVolumes_) st_.boxesKept = false;
    axis_ = st_.axis == 2 ? 2 : 1;
    newGeneration();
    st_.runs.clear();
    st_.openMoved.clear();
    count_ = list.count;
    bool inside = st_.boxesKept;
    // While it stays so, the volumes that meet no other are left alone.
    const bool fewer = st_.boxesKept && st_.activeKnown;
    for (int32_t k = 0; k < list.count; ++k) {
      MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(list[k]);
      if (k + kAhead < list.count) {
        const MDL_CollisionVolume* next = static_cast<const MDL_CollisionVolume*>(list[k + kAhead]);
        prefetchRead(next);
        prefetchRead(&next->world);
        prefetchRead(&next->boundingRadius);
        next->prefetchOwner();
      }
      if (k + kAhead / 2 < list.count) {
        MDL_CollisionVolume* soon = static_cast<MDL_CollisionVolume*>(list[k + kAhead / 2]);
        // Its world is refreshed through its parent's.
        if (const MDL_Object* up = soon->parent) {
          prefetchRead(up);
          prefetchRead(&up->world.basis.axis[1]);
          prefetchRead(&up->local.position);
          prefetchRead(&up->local.basis.axis[2]);
        }
        const MDL_RigidBody* body = soon->owningBody();
        if (body) {
          prefetchRead(body);  // its pendingDelete
          prefetchRead(&body->still);
        }
      }
      v->updateSize();
      State::Volume& r = vol(k);
      // Every owner now, in the list's order, rather than each at its
      // volume's first entry: until a callback runs, only a response to a
      // pair changes a body's flags, and the pair's volumes have been met
      // by then, so the records read the same either way.
      r.group = groupFor(v->owningBody());
      r.groupStamp = st_.generation;
      const double h = halfWidthAlongX(v);
      const Vec3& c = v->getWorld().position;
      State::Interval& x = st_.intervals[static_cast<size_t>(k)];
      x.lo = c.x - h;
      x.hi = c.x + h;
      v->sweepIndex = k;
      // A volume of no extent may see its end entry first and stay open
      // to the end of the pass.
      if (!(x.lo < x.hi)) openToTheEnd_ = true;
      if (inside) inside = insideBoxes(r, x, c, v->boundingRadius);
      if (!fewer || r.active) takePart(k, v);
    }
    if (!inside) st_.boxesKept = st_.activeKnown = false;
    if (fewer && (!inside || openToTheEnd_))
      for (int32_t k = 0; k < count_; ++k)
        if (!vol(k).active) takePart(k, static_cast<MDL_CollisionVolume*>(list[k]));
  }

  // A volume's record for a pass it takes part in: the rules' inputs as
  // they stand, and not yet open.
  void takePart(int32_t k, MDL_CollisionVolume* v) {
    State::Volume& r = vol(k);
    r.volume = v;
    const RigidTransform& w = v->getWorld();
    r.position = w.position;
    st_.bases[static_cast<size_t>(k)] = w.basis;
    r.radius = v->boundingRadius;
    r.shape = v->shape;
    r.layer = v->collisionLayer;
    r.mask = v->collisionMask;
    r.pendingDelete = v->pendingDelete;
    r.open = 0;
    r.prev = r.next = r.movedAt = -1;
  }

  // Each entry's volume and end, found again only when the lists changed
  // since the last pass; the entries get their coordinates.
  bool mapEntries() {
    PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    PtrArray<MDL_Object>& list = scene_.collisionVolumes;
    const size_t m = static_cast<size_t>(entries.count), n = static_cast<size_t>(list.count);
    const bool same = sameVolumes_ && st_.entryList.size() == m && st_.entryRefs.size() == m &&
                      (m == 0 || std::memcmp(st_.entryList.data(), entries.data, m * sizeof(SweepEntry*)) == 0);
    entriesKnown_ = same;
    if (!same) {
      st_.entryRefs.clear();
      st_.entryList.clear();
      st_.volumeList.clear();
      for (size_t i = 0; i < m; ++i) {
        SweepEntry* e = entries.data[i];
        MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(e->volume);
        const int32_t k = v->sweepIndex;
        if (k < 0 || k >= count_ || vol(k).volume != v) return false;
        st_.entryRefs.push_back({k, e->begin});  // within the capacity reserved
      }
      st_.volumeList.assign(list.data, list.data + n);
    }
    const State::Interval* x = st_.intervals.data();
    for (size_t i = 0; i < m; ++i) {
      const State::EntryRef& ref = st_.entryRefs[i];
      const State::Interval& r = x[ref.volume];
      const double key = ref.begin ? r.lo : r.hi;
      st_.keys[i] = key;
      entries.data[i]->coordinate = key;
    }
    return true;
  }

  void sortEntries() {
    PtrArray<SweepEntry>& entries = scene_.sweepEntries;
    const int32_t m = entries.count;
    if (sortOrder(st_, m)) {
      for (int32_t j = 0; j < m; ++j) {
        const size_t from = static_cast<size_t>(st_.order[static_cast<size_t>(j)]);
        st_.sortedEntries[static_cast<size_t>(j)] = entries.data[from];
        st_.sortedRefs[static_cast<size_t>(j)] = st_.entryRefs[from];
      }
      std::memcpy(entries.data, st_.sortedEntries.data(), static_cast<size_t>(m) * sizeof(SweepEntry*));
      st_.entryRefs.swap(st_.sortedRefs);
      st_.sortedRefs.resize(static_cast<size_t>(m));
      entriesKnown_ = false;
    }
    if (!entriesKnown_) st_.entryList.assign(entries.data, entries.data + m);
  }

  // What the plain sweep would meet, counted on the sorted entries alone.
  bool worthIndexing() const {
    const size_t m = st_.entryRefs.size();
    if (m < 2 * static_cast<size_t>(kPruneFrom)) return false;
    int64_t open = 0, pairs = 0;
    for (const State::EntryRef& ref : st_.entryRefs) {
      pairs += open;
      if (ref.begin)
        ++open;
      else if (open > 0)
        --open;
    }
    return pairs > kPlainPairsPerVolume * static_cast<int64_t>(m / 2);
  }

  // ---- The index

  // Boxes for every volume and the index over them, kept while no volume
  // leaves its boxes.
  void buildBoxes() {
    for (int32_t k = 0; k < count_; ++k) placeBox(vol(k), st_.intervals[static_cast<size_t>(k)]);
    chooseAxis();
    // The median width decides which volumes are too wide to index.
    st_.extents.clear();
    for (int32_t k = 0; k < count_; ++k)
      if (vol(k).rank == 0) st_.extents.push_back(vol(k).loose.hi - vol(k).loose.lo);
    double wide = 0.0;
    if (!st_.extents.empty()) {
      auto mid = st_.extents.begin() + static_cast<std::ptrdiff_t>(st_.extents.size() / 2);
      std::nth_element(st_.extents.begin(), mid, st_.extents.end());
      wide = *mid * kWideFactor;
    }
    double maxExtent = 0.0;
    for (int32_t k = 0; k < count_; ++k) {
      State::Volume& r = vol(k);
      const double extent = r.loose.hi - r.loose.lo;
      if (r.rank != 0 || extent > wide) {
        r.rank = -1;
        r.moved = 1;  // always a candidate
        continue;
      }
      if (extent > maxExtent) maxExtent = extent;
    }
    orderByAxis();
    // A box overlapping this one starts at most the widest box before it,
    // and at the latest where this one ends: the ranks between, found by
    // walking both ends up the order once.
    const double reach = maxExtent * 1.01;
    const int32_t m = static_cast<int32_t>(st_.byAxis.size());
    const State::Ranked* by = st_.byAxis.data();
    int32_t first = 0, end = 0;
    for (int32_t r = 0; r < m; ++r) {
      State::Volume& sv = vol(by[r].volume);
      sv.rank = r;
      while (by[first].loose.lo < sv.loose.lo - reach) ++first;
      if (end < r) end = r;
      while (end < m && !(by[end].loose.lo > sv.loose.lo + reach)) ++end;
      sv.from = first;
      sv.to = end;
    }
    st_.boxesKept = true;
    st_.activeKnown = false;
  }

  // A volume's boxes; rank 0 marks one that can be indexed, -1 one whose
  // numbers are unsafe to compare.
  static void placeBox(State::Volume& sv, const State::Interval& x) {
    const Vec3& c = sv.position;
    const double r = sv.radius;
    double hy, hz;
    sv.moved = 0;
    sv.rank = boxHalfWidths(c, r, hy, hz) ? 0 : -1;
    if (sv.rank < 0) {
      sv.moved = 1;
      sv.shapeBox = State::NO_SHAPE_BOX;
      return;
    }
    const double room = kRoom * r;
    sv.roomLo = x.lo - room;
    sv.roomHi = x.hi + room;
    sv.loose = {c.y - (hy + room), c.y + (hy + room), c.z - (hz + room), c.z + (hz + room)};
    sv.shapeBox = shapeHalfWidths(sv.volume, c, r, hy, hz);
    if (sv.shapeBox != State::NO_SHAPE_BOX)
      sv.tight = {c.y - (hy + room), c.y + (hy + room), c.z - (hz + room), c.z + (hz + room)};
  }

  // Boxes are placed along y first; z is indexed instead when the volumes'
  // centres spread further along it, in units of the widest box.
  void chooseAxis() {
    double low[2] = {kHuge, kHuge}, high[2] = {-kHuge, -kHuge}, widest[2] = {0.0, 0.0};
    for (int32_t k = 0; k < count_; ++k) {
      const State::Volume& sv = vol(k);
      if (sv.rank != 0) continue;
      const double bounds[2][2] = {{sv.loose.lo, sv.loose.hi}, {sv.loose.otherLo, sv.loose.otherHi}};
      for (int j = 0; j < 2; ++j) {
        const double centre = (bounds[j][0] + bounds[j][1]) / 2, width = bounds[j][1] - bounds[j][0];
        low[j] = std::min(low[j], centre);
        high[j] = std::max(high[j], centre);
        widest[j] = std::max(widest[j], width);
      }
    }
    axis_ = 1;
    if (!((high[1] - low[1]) * widest[0] > (high[0] - low[0]) * widest[1])) return;
    axis_ = 2;
    for (int32_t k = 0; k < count_; ++k) {
      State::Volume& sv = vol(k);
      for (State::Box* b : {&sv.loose, &sv.tight}) {
        std::swap(b->lo, b->otherLo);
        std::swap(b->hi, b->otherHi);
      }
    }
  }

  // The indexed volumes ascending by box start. Boxes move little from pass
  // to pass, so the last pass's order, kept, needs only a few moves.
  void orderByAxis() {
    std::vector<State::Ranked>& by = st_.byAxis;
    const bool reuse = st_.axis == axis_ && st_.byAxisFor == count_;
    auto ranked = [this](int32_t k) {
      const State::Volume& sv = vol(k);
      return State::Ranked{sv.loose, sv.tight, k, sv.shapeBox};
    };
    size_t kept = 0;
    if (reuse) {
      // Last pass's order first, then the volumes indexed anew.
      for (size_t i = 0; i < by.size(); ++i) {
        const int32_t k = by[i].volume;
        State::Volume& sv = vol(k);
        if (sv.rank != 0) continue;
        sv.rank = 1;  // placed
        by[kept++] = ranked(k);
      }
    }
    by.resize(kept);
    for (int32_t k = 0; k < count_; ++k) {
      State::Volume& sv = vol(k);
      if (sv.rank == 0) by.push_back(ranked(k));  // within the capacity reserved
      if (sv.rank == 1) sv.rank = 0;
    }
    auto before = [](const State::Ranked& p, const State::Ranked& q) { return p.loose.lo < q.loose.lo; };
    // Insertion sort while it stays cheap; a list far out of order is sorted anew.
    int64_t budget = 8 * static_cast<int64_t>(by.size()) + 64;
    bool sorted = reuse;
    for (size_t i = 1; sorted && i < by.size(); ++i) {
      const State::Ranked item = by[i];
      size_t j = i;
      for (; j > 0 && before(item, by[j - 1]) && budget >= 0; --j, --budget) by[j] = by[j - 1];
      by[j] = item;
      if (budget < 0) sorted = false;
    }
    if (!sorted) std::sort(by.begin(), by.end(), before);
    st_.axis = axis_;
    st_.byAxisFor = count_;
  }

  // Which volumes' boxes meet another volume's, with x intervals widened by
  // the same room: a sweep along x over those intervals. The others can
  // meet nothing while all stay inside their boxes. Each query looks among
  // the open volumes not yet known to be active, and among the active ones
  // only until one meets it, so that many volumes in one place cost each
  // other nothing.
  void findActive() {
    std::vector<State::Event>& events = st_.events;
    // Touching intervals count as meeting: openings first. Which volume
    // meets another does not depend on the order of equal events, so the
    // last scan's order, with the intervals as they are now, needs only a
    // few moves.
    auto before = [](const State::Event& p, const State::Event& q) {
      return p.at < q.at || (p.at == q.at && p.closes < q.closes);
    };
    bool sorted = false;
    if (events.size() == 2 * static_cast<size_t>(count_)) {  // two events for each volume
      for (State::Event& ev : events) {
        const State::Volume& r = vol(ev.volume);
        ev.at = ev.closes ? r.roomHi : r.roomLo;
      }
      sorted = insertionSortWithin(events, before);
    }
    if (!sorted) {
      events.clear();
      for (int32_t k = 0; k < count_; ++k) {
        const State::Volume& r = vol(k);
        events.push_back({r.roomLo, k, 0});  // within the capacity reserved
        events.push_back({r.roomHi, k, 1});
      }
      std::sort(events.begin(), events.end(), before);
    }
    for (int32_t k = 0; k < count_; ++k) {
      State::Volume& r = vol(k);
      r.active = 0;
      r.open = 0;
    }
    std::vector<uint64_t>& waiting = st_.openBits;   // open, indexed, not yet active
    std::vector<uint64_t>& active = st_.activeBits;  // open, indexed, active
    std::fill(waiting.begin(), waiting.end(), 0);
    active.assign(waiting.size(), 0);
    std::vector<int32_t>& always = st_.openVolumes;  // open and never indexed; a volume's place here: its movedAt
    always.clear();
    const State::Ranked* by = st_.byAxis.data();
    auto bit = [](std::vector<uint64_t>& bits, int32_t rank) -> uint64_t& {
      return bits[static_cast<size_t>(rank) / 64];
    };
    auto mask = [](int32_t rank) { return uint64_t{1} << (rank % 64); };
    auto activate = [&](State::Volume& b) {
      if (b.active) return;
      b.active = 1;
      if (b.open && b.rank >= 0) {
        bit(waiting, b.rank) &= ~mask(b.rank);
        bit(active, b.rank) |= mask(b.rank);
      }
    };
    // Calls meet(b) for the open volumes of `bits` in a's window, until it answers true.
    auto scan = [&](const State::Volume& a, std::vector<uint64_t>& bits, auto meet) {
      const size_t r0 = a.rank >= 0 ? static_cast<size_t>(a.from) : 0;
      const size_t r1 = a.rank >= 0 ? static_cast<size_t>(a.to) : st_.byAxis.size();
      for (size_t w = r0 / 64; w < (r1 + 63) / 64; ++w) {
        uint64_t word = bits[w];
        if (w == r0 / 64) word &= ~uint64_t{0} << (r0 % 64);
        if (w + 1 == (r1 + 63) / 64 && r1 % 64) word &= (uint64_t{1} << (r1 % 64)) - 1;
        for (; word; word &= word - 1)
          if (meet(vol(by[w * 64 + static_cast<size_t>(lowestBit(word))].volume))) return;
      }
    };
    for (const State::Event& ev : events) {
      State::Volume& a = vol(ev.volume);
      if (ev.closes) {
        if (!a.open) continue;
        a.open = 0;
        if (a.rank >= 0) {
          bit(waiting, a.rank) &= ~mask(a.rank);
          bit(active, a.rank) &= ~mask(a.rank);
        } else {
          const int32_t last = always.back();
          always[static_cast<size_t>(a.movedAt)] = last;
          vol(last).movedAt = a.movedAt;
          always.pop_back();
        }
        continue;
      }
      // A volume never indexed meets every other.
      const bool everything = a.rank < 0;
      if (!always.empty()) {
        activate(a);
        for (int32_t j : always) activate(vol(j));
      }
      scan(a, waiting, [&](State::Volume& b) {
        if (everything || meets(a, b)) {
          activate(b);
          activate(a);
        }
        return false;
      });
      if (!a.active)
        scan(a, active, [&](State::Volume& b) { return (everything || meets(a, b)) && (activate(a), true); });
      a.open = 1;
      if (a.rank >= 0) {
        bit(a.active ? active : waiting, a.rank) |= mask(a.rank);
      } else {
        a.movedAt = static_cast<int32_t>(always.size());
        always.push_back(ev.volume);
      }
    }
    for (int32_t k = 0; k < count_; ++k) {
      vol(k).open = 0;
      vol(k).movedAt = -1;
    }
    std::fill(waiting.begin(), waiting.end(), 0);
    st_.activeKnown = true;
  }

  static bool meets(const State::Volume& a, const State::Volume& b) {
    return boxesMeet(a.loose, a.tight, a.shapeBox, b.loose, b.tight, b.shapeBox);
  }

  // Leaves the active volumes' sweep for the whole one, in the middle of
  // the current entry: the open list becomes what the whole sweep would
  // hold there, as the entries before would have left it.
  void takeEveryVolume() {
    reduced_ = false;
    head_ = tail_ = -1;
    openCount_ = 0;
    for (int32_t k = 0; k < count_; ++k) {
      State::Volume& r = vol(k);
      // Nothing has moved it but the responses, which its position followed:
      // as it stands, it is as the pass found it.
      if (!r.active) takePart(k, r.volume);
      r.open = 0;
      r.prev = r.next = r.movedAt = -1;
    }
    std::fill(st_.openBits.begin(), st_.openBits.end(), 0);
    st_.openMoved.clear();
    newGeneration();
    st_.runs.clear();
    tailRun_ = -1;
    const int32_t upTo = std::min(current_, static_cast<int32_t>(st_.entryRefs.size()));
    for (int32_t i = 0; i < upTo; ++i) {
      const State::EntryRef ref = st_.entryRefs[static_cast<size_t>(i)];
      State::Volume& r = vol(ref.volume);
      // A volume deleted by now does nothing whether or not it is listed.
      if (r.volume->pendingDelete) continue;
      if (ref.begin && !r.open)
        openVolume(ref.volume);
      else if (!ref.begin && r.open)
        closeVolume(ref.volume);
    }
  }

  // Whether the volume's bounding sphere, and its shape where its shape box
  // stands for it, still lie inside their boxes.
  bool insideBoxes(const State::Volume& sv, const State::Interval& x, const Vec3& c, double r) const {
    if (!(sv.roomLo <= x.lo && x.hi <= sv.roomHi)) return false;
    double hy, hz;
    if (!boxHalfWidths(c, r, hy, hz) || !inside(c, hy, hz, sv.loose)) return false;
    // A sphere's shape box is its bounding sphere's.
    if (sv.shapeBox == State::NO_SHAPE_BOX || (sv.shapeBox == State::SPHERE_BOX && sv.volume->shape == SHAPE_SPHERE))
      return true;
    return shapeHalfWidths(sv.volume, c, r, hy, hz) == sv.shapeBox && inside(c, hy, hz, sv.tight);
  }
  // The same for volume k as it stands. Its x interval is its entries' and
  // stays for the pass.
  bool insideBoxes(int32_t k) const {
    const State::Volume& sv = st_.volumes[static_cast<size_t>(k)];
    return insideBoxes(sv, st_.intervals[static_cast<size_t>(k)], sv.volume->getWorld().position,
                       sv.volume->boundingRadius);
  }

  bool inside(const Vec3& c, double hy, double hz, const State::Box& b) const {
    const double along = axis_ == 1 ? c.y : c.z, across = axis_ == 1 ? c.z : c.y;
    const double halfAlong = axis_ == 1 ? hy : hz, halfAcross = axis_ == 1 ? hz : hy;
    return along - halfAlong >= b.lo && along + halfAlong <= b.hi && across - halfAcross >= b.otherLo &&
           across + halfAcross <= b.otherHi;
  }

  int32_t indexOf(const MDL_CollisionVolume* v) {
    const int32_t i = v->sweepIndex;
    return i >= 0 && i < count_ && vol(i).volume == v ? i : -1;
  }

  // ---- Owning bodies

  // Forgets every body found so far: they are looked up again on first use.
  void newGeneration() {
    ++st_.generation;
    st_.groups.clear();
    st_.groups.push_back({nullptr, 0, 0, 1});  // no body
  }

  int32_t groupOf(int32_t k) {
    State::Volume& r = vol(k);
    if (r.groupStamp != st_.generation) {
      r.group = groupFor(r.volume->owningBody());
      r.groupStamp = st_.generation;
    }
    return r.group;
  }

  int32_t groupFor(MDL_RigidBody* body) {
    if (!body) return 0;
    const int32_t g = body->sweepGroup;
    if (g > 0 && static_cast<size_t>(g) < st_.groups.size() && group(g).body == body) return g;
    // At most one new body per volume in a generation: within the capacity reserved.
    body->sweepGroup = static_cast<int32_t>(st_.groups.size());
    // Field by field into its place: a record put together on the stack
    // and copied whole would be read back before its parts are stored.
    State::Group& made = appendRecord(st_.groups);
    made.body = body;
    made.pendingDelete = body->pendingDelete;
    made.still = body->still;
    return body->sweepGroup;
  }

  // A callback changed the object tree (or may have): owners are found
  // again and the runs rebuilt.
  void regroup() {
    newGeneration();
    st_.runs.clear();
    tailRun_ = -1;
    for (int32_t k = head_; k >= 0; k = vol(k).next) joinRuns(k);
  }

  // ---- The open list, in opening order, in runs of one body

  int32_t runOf(int32_t k) {
    int32_t r = vol(k).run;
    std::vector<State::Run>& runs = st_.runs;
    while (runs[static_cast<size_t>(r)].parent != r) {
      const int32_t up = runs[static_cast<size_t>(runs[static_cast<size_t>(r)].parent)].parent;
      runs[static_cast<size_t>(r)].parent = up;
      r = up;
    }
    vol(k).run = r;
    return r;
  }

  // Puts the list's last volume k into the last run, or a new one.
  void joinRuns(int32_t k) {
    const int32_t g = groupOf(k);
    ++group(g).open;
    std::vector<State::Run>& runs = st_.runs;
    if (tailRun_ >= 0 && runs[static_cast<size_t>(tailRun_)].group == g) {
      State::Run& r = runs[static_cast<size_t>(tailRun_)];
      r.last = k;
      ++r.count;
      vol(k).run = tailRun_;
      return;
    }
    const int32_t id = static_cast<int32_t>(runs.size());
    State::Run& made = appendRecord(runs);  // at most one run per volume: within the capacity reserved
    made.group = g;
    made.first = made.last = k;
    made.count = 1;
    made.prev = tailRun_;
    made.next = -1;
    made.parent = id;
    if (tailRun_ >= 0) runs[static_cast<size_t>(tailRun_)].next = id;
    tailRun_ = id;
    vol(k).run = id;
  }

  // Takes volume k (still linked) out of its run; two runs of one body
  // that meet once the run between them is gone become one.
  void leaveRuns(int32_t k) {
    std::vector<State::Run>& runs = st_.runs;
    const int32_t id = runOf(k);
    State::Run& r = runs[static_cast<size_t>(id)];
    --group(r.group).open;
    if (--r.count > 0) {
      if (r.first == k) r.first = vol(k).next;
      if (r.last == k) r.last = vol(k).prev;
      return;
    }
    const int32_t before = r.prev, after = r.next;
    if (before >= 0) runs[static_cast<size_t>(before)].next = after;
    if (after >= 0) runs[static_cast<size_t>(after)].prev = before;
    if (tailRun_ == id) tailRun_ = before;
    if (before < 0 || after < 0 || runs[static_cast<size_t>(before)].group != runs[static_cast<size_t>(after)].group)
      return;
    State::Run& into = runs[static_cast<size_t>(before)];
    State::Run& from = runs[static_cast<size_t>(after)];
    into.last = from.last;
    into.count += from.count;
    into.next = from.next;
    if (from.next >= 0) runs[static_cast<size_t>(from.next)].prev = before;
    if (tailRun_ == after) tailRun_ = before;
    from.parent = before;
  }

  void openVolume(int32_t j) {
    State::Volume& sv = vol(j);
    sv.open = 1;
    sv.slot = nextSlot_++;
    sv.prev = tail_;
    sv.next = -1;
    if (tail_ >= 0)
      vol(tail_).next = j;
    else
      head_ = j;
    tail_ = j;
    ++openCount_;
    joinRuns(j);
    if (sv.rank >= 0) st_.openBits[static_cast<size_t>(sv.rank) / 64] |= uint64_t{1} << (sv.rank % 64);
    if (sv.moved) addOpenMoved(j);
  }

  void closeVolume(int32_t j) {
    leaveRuns(j);
    State::Volume& sv = vol(j);
    sv.open = 0;
    if (sv.prev >= 0)
      vol(sv.prev).next = sv.next;
    else
      head_ = sv.next;
    if (sv.next >= 0)
      vol(sv.next).prev = sv.prev;
    else
      tail_ = sv.prev;
    --openCount_;
    if (sv.rank >= 0) st_.openBits[static_cast<size_t>(sv.rank) / 64] &= ~(uint64_t{1} << (sv.rank % 64));
    if (sv.movedAt >= 0) {
      std::vector<int32_t>& moved = st_.openMoved;
      const int32_t last = moved.back();
      moved[static_cast<size_t>(sv.movedAt)] = last;
      vol(last).movedAt = sv.movedAt;
      moved.pop_back();
      sv.movedAt = -1;
    }
  }

  void addOpenMoved(int32_t j) {
    vol(j).movedAt = static_cast<int32_t>(st_.openMoved.size());
    st_.openMoved.push_back(j);  // within the capacity reserved
  }

  // A volume whose entries a callback added: a record of its own, never
  // indexed. -1 when there is no memory for it.
  int32_t adopt(MDL_CollisionVolume* a) {
    const int32_t known = indexOf(a);
    if (known >= 0) return known;
    try {
      const size_t n = st_.volumes.size() + 1;
      st_.volumes.emplace_back();
      st_.intervals.emplace_back();
      st_.bases.emplace_back();
      st_.groups.reserve(n + 1);
      st_.runs.reserve(std::max(n, st_.runs.size() + 1));
      st_.openMoved.reserve(n);
      st_.candidates.reserve(n);
    } catch (const std::bad_alloc&) {
      return -1;
    }
    const int32_t k = count_++;
    State::Volume& r = vol(k);
    r = State::Volume{};
    r.volume = a;
    r.prev = r.next = r.movedAt = -1;
    r.rank = -1;
    r.moved = 1;
    r.groupStamp = st_.generation - 1;
    a->sweepIndex = k;
    return k;
  }

  // ---- Meeting the open volumes

  // Every pair of entry volume ai with an open volume, in the open list's
  // order, but for those that surely do nothing.
  void meetOpenVolumes(int32_t ai) {
    const int32_t others = openCount_ - group(groupOf(ai)).open;
    if (others == 0) return;  // all open volumes are of its own body
    if (!useIndex_ || !trusted_ || vol(ai).moved || !gatherCandidates(ai, others)) {
      walkFrom(ai, head_);
      return;
    }
    const std::vector<uint64_t>& found = st_.candidates;
    for (size_t n = 0; n < found.size(); ++n) {
      const int32_t c = candidateVolume(found[n]);
      if (n + 2 < found.size()) prefetchRead(&vol(candidateVolume(found[n + 2])));
      if (visit(ai, c)) continue;
      // A volume left its box, or a callback moved something: the rest
      // of this entry's pairs come from the open list itself.
      walkFrom(ai, vol(c).next);
      return;
    }
  }

  // The open volumes from k on, stepping over the runs of ai's own body.
  void walkFrom(int32_t ai, int32_t k) {
    while (k >= 0) {
      const State::Run& r = st_.runs[static_cast<size_t>(runOf(k))];
      if (r.group == groupOf(ai)) {
        k = vol(r.last).next;
        continue;
      }
      visit(ai, k);
      k = vol(k).next;
    }
  }

  // The open volumes of other bodies that may reach volume ai, in opening
  // order; false when walking the open list costs less.
  bool gatherCandidates(int32_t ai, int32_t others) {
    const State::Volume& a = vol(ai);
    const int32_t own = a.group;
    const size_t r0 = static_cast<size_t>(a.from), r1 = static_cast<size_t>(a.to);
    const uint64_t* openBits = st_.openBits.data();
    const State::Ranked* by = st_.byAxis.data();
    std::vector<uint64_t>& found = st_.candidates;
    found.clear();
    const uint32_t stamp = ++st_.candidateStamp;
    // Many open volumes of its own body in reach: walking steps over them
    // at once.
    int64_t ownLeft = kBitsPerVisit * others + 64;
    const size_t w0 = r0 / 64, w1 = (r1 + 63) / 64;
    for (size_t w = w0; w < w1; ++w) {
      uint64_t bits = openBits[w];
      if (!bits) continue;
      if (w == w0) bits &= ~uint64_t{0} << (r0 % 64);
      if (w + 1 == w1 && r1 % 64) bits &= (uint64_t{1} << (r1 % 64)) - 1;
      for (; bits; bits &= bits - 1) {
        const State::Ranked& b = by[w * 64 + static_cast<size_t>(lowestBit(bits))];
        if (!boxesMeet(a.loose, a.tight, a.shapeBox, b.loose, b.tight, b.shapeBox)) continue;
        State::Volume& bv = vol(b.volume);
        if (bv.group == own) {
          if (--ownLeft < 0) return false;
          continue;
        }
        bv.seen = stamp;
        found.push_back(candidate(bv.slot, b.volume));  // within the capacity reserved
      }
    }
    for (int32_t j : st_.openMoved) {
      State::Volume& b = vol(j);
      if (b.group == own || b.seen == stamp) continue;
      b.seen = stamp;
      found.push_back(candidate(b.slot, j));
    }
    if (found.size() * 2 > static_cast<size_t>(others)) return false;
    // By opening order; no two open volumes share a slot.
    if (found.size() > 1) std::sort(found.begin(), found.end());
    return true;
  }

  // A candidate as its slot, above, and its volume, so that ordering them
  // reads no records.
  static uint64_t candidate(int32_t slot, int32_t volume) {
    return static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32 | static_cast<uint32_t>(volume);
  }
  static int32_t candidateVolume(uint64_t c) { return static_cast<int32_t>(static_cast<uint32_t>(c)); }

  // The rules of a pair read from the pass's copies: true when the pair
  // surely does nothing, false when it goes on to the shape test.
  bool quietlySkipped(const State::Volume& a, const State::Volume& b) {
    if (b.pendingDelete) return true;
    if (!(a.layer & b.mask) && !(a.mask & b.layer)) return true;
    if (a.volume == b.volume) return true;
    const Vec3 between = b.position - a.position;
    const double reach = a.radius + b.radius;
    if (lengthSquared3(between) > reach * reach) return true;
    const State::Group& ga = group(a.group);
    const State::Group& gb = group(b.group);
    return ga.pendingDelete || gb.pendingDelete || a.group == b.group || (ga.still && gb.still);
  }

  // Whether the shape test surely finds no contact, read from the pass's
  // copies: a sphere against a box with square corners. The test itself
  // would read both volumes' placements, far apart in memory.
  bool shapesApart(int32_t ai, int32_t bi) {
    const State::Volume& a = vol(ai);
    const State::Volume& b = vol(bi);
    if (a.shape == SHAPE_SPHERE && b.shape == SHAPE_BOX)
      std::swap(ai, bi);
    else if (!(a.shape == SHAPE_BOX && b.shape == SHAPE_SPHERE))
      return false;
    const State::Volume& box = vol(ai);
    const State::Volume& sphere = vol(bi);
    const Matrix3& sphereBasis = st_.bases[static_cast<size_t>(bi)];
    return sphereApartFromSquareBox(sphere.position - box.position, st_.bases[static_cast<size_t>(ai)],
                                    lengthSquared3(sphereBasis.X()));
  }

  // One pair; false when a volume left its box or a callback moved
  // anything.
  bool visit(int32_t ai, int32_t bi) {
    ++st_.pairsMet;
    const uint64_t epoch = MDL_Object::placementEpoch;
    const uint64_t scripted = scene_.placementChangesInCallbacks;
    MDL_RigidBody* bodies[2] = {nullptr, nullptr};
    if (quiet()) {
      const State::Volume& a = vol(ai);
      const State::Volume& b = vol(bi);
      if (quietlySkipped(a, b) || shapesApart(ai, bi)) return true;
      bodies[0] = group(a.group).body;
      bodies[1] = group(b.group).body;
      collideAdmittedPair(&scene_, engine_, a.volume, bodies[0], b.volume, bodies[1]);
    } else {
      collideSweepPair(&scene_, engine_, vol(ai).volume, vol(bi).volume, bodies);
    }
    if (MDL_Object::placementEpoch == epoch) return true;
    if (scene_.placementChangesInCallbacks != scripted) {
      // It may have relinked objects, too: owners are looked up again,
      // and nothing is skipped by place any more.
      trusted_ = false;
      if (reduced_)
        takeEveryVolume();
      else
        regroup();
      return false;
    }
    const bool quietStill = quiet();
    if (!quietStill && !useIndex_ && !reduced_) return true;  // nothing to follow
    bool kept = true;
    for (MDL_RigidBody* body : bodies) {
      if (!body) continue;
      if (quietStill) {
        // A response woke it, perhaps, and moved its volumes.
        const int32_t g = body->sweepGroup;
        if (g > 0 && static_cast<size_t>(g) < st_.groups.size() && group(g).body == body) group(g).still = body->still;
      }
      body->forEachDescendant([this, &kept, quietStill](MDL_Object* o) { kept = followMove(o, quietStill) && kept; });
    }
    // A volume out of its boxes may meet any other from now on.
    if (!kept && reduced_) takeEveryVolume();
    return kept;
  }

  // After a move: the copy of a volume's position follows, and an indexed
  // volume outside its box is a candidate from now on. False when this one
  // just left its box.
  bool followMove(MDL_Object* o, bool copies) {
    if (o->type != OBJECT_COLLISION_VOLUME) return true;
    MDL_CollisionVolume* v = static_cast<MDL_CollisionVolume*>(o);
    const int32_t j = indexOf(v);
    if (j < 0) return true;
    State::Volume& r = vol(j);
    if (copies) {
      const RigidTransform& w = v->getWorld();
      r.position = w.position;
      st_.bases[static_cast<size_t>(j)] = w.basis;
    }
    if (r.moved || insideBoxes(j)) return true;
    r.moved = 1;
    if (r.open) addOpenMoved(j);
    return false;
  }

  // The open list as the plain sweep keeps it, for it to go on from entry
  // i (the end: what the pass leaves open).
  void handOver(int32_t i) {
    if (reduced_ && i < static_cast<int32_t>(st_.entryRefs.size())) takeEveryVolume();
    scene_.sweepOpen.resize(0);
    for (int32_t k = head_; k >= 0; k = vol(k).next) scene_.sweepOpen.append(vol(k).volume);
    plainSweepFrom(scene_, engine_, i);
  }

  Scene& scene_;
  CTRL_ScriptEngine* engine_;
  State& st_;
  const uint64_t callbacks_;   // the scene's count of contact callbacks when the pass began
  int32_t count_ = 0;          // volumes with a record
  bool sameVolumes_ = false;   // the scene's volumes are those of the last pass
  bool entriesKnown_ = false;  // and its entries those the last pass left, in that order
  bool useIndex_ = false;      // candidates from the index rather than the open list
  bool reduced_ = false;       // only the active volumes take part
  bool openToTheEnd_ = false;  // some volume may stay open to the end of the pass
  int32_t current_ = 0;        // the entry being met
  bool trusted_ = true;        // no callback has moved anything
  int axis_ = 1;               // the indexed axis: 1 y, 2 z
  int32_t head_ = -1, tail_ = -1, openCount_ = 0, nextSlot_ = 0;
  int32_t tailRun_ = -1;
};

}  // namespace

void Scene::collide(CTRL_ScriptEngine* engine) {
  if (!sweepState) sweepState.reset(new (std::nothrow) ContactSweepState);
  sweepOpen.resize(0);
  if (sweepState) {
    SweepPass pass(*this, engine, *sweepState);
    if (pass.prepare()) {
      pass.run();
      return;
    }
  }
  plainPass(*this, engine);
}
