// What a scene's collision pass keeps from one pass to the next: its storage,
// the order it left the sweep entries in and what the sort did with that
// order last time.
#pragma once

#include <cstdint>
#include <vector>

#include "model/vec3.h"

class MDL_CollisionVolume;
class MDL_Object;
class MDL_RigidBody;
struct SweepEntry;

class ContactSweepState {
 public:
  // A box across the sweep: along the indexed axis and along the other one.
  struct Box {
    double lo, hi, otherLo, otherHi;
    bool overlaps(const Box& b) const {
      return !(b.lo > hi || lo > b.hi || b.otherLo > otherHi || otherLo > b.otherHi);
    }
  };
  // Which shapes a box of the shape itself can stand for.
  enum ShapeBox : uint8_t { NO_SHAPE_BOX, SPHERE_BOX, BOX_BOX };
  // One volume of a pass, by its place in the scene's volume list.
  struct Volume {
    MDL_CollisionVolume* volume;
    // What the pair rules read, as the pass found it (and kept up to date
    // through the responses while no callback has run).
    Vec3 position;
    double radius;
    int32_t shape;
    uint32_t layer, mask;
    uint8_t pendingDelete;
    uint8_t open, moved;
    int32_t group;        // its owning body's place in `groups` (0: no body)
    uint32_t groupStamp;  // the generation `group` was found in
    // With room to move, kept from pass to pass while the volume stays
    // inside: its x interval, the box around its bounding sphere, and the
    // box around the shape itself when shapeBox says there is one.
    double roomLo, roomHi;
    Box loose, tight;
    uint8_t shapeBox;
    uint8_t active;      // some other volume's boxes meet its own
    int32_t rank;        // place in the order by boxLo; -1: always a candidate
    int32_t from, to;    // the ranks a query for this volume covers
    int32_t slot;        // opening order
    int32_t prev, next;  // the open list, in opening order
    int32_t run;         // its run in the open list (resolved through Run::parent)
    int32_t movedAt;     // place in the open-and-moved list, or -1
    uint32_t seen;       // candidate stamp
  };
  // An owning body, with how many of its volumes are open and its flags as
  // the rules read them (for no body: never deleted, "still").
  struct Group {
    MDL_RigidBody* body;
    int32_t open;
    uint8_t pendingDelete, still;
  };
  // Volumes next to each other in the open list that belong to one body.
  struct Run {
    int32_t group;
    int32_t first, last, count;
    int32_t prev, next;  // the runs in list order
    int32_t parent;      // the run it was merged into, or itself
  };
  // An indexed volume's boxes, in the order by the start of the loose one.
  struct Ranked {
    Box loose, tight;
    int32_t volume;
    uint8_t shapeBox;
  };
  struct Keyed {
    double key;
    int32_t at;
  };
  // An entry by its volume's place and its end.
  struct EntryRef {
    int32_t volume;
    uint8_t begin;
  };

  std::vector<Volume> volumes;
  // Each volume's x interval, by its place: what its entries' coordinates
  // are made of.
  struct Interval {
    double lo, hi;
  };
  std::vector<Interval> intervals;
  // Each volume's world basis, by its place: a copy kept as its position is.
  std::vector<Matrix3> bases;
  // Stamps that only grow, so that no record's stamp from an earlier pass
  // is taken for the current one.
  uint32_t candidateStamp = 0;
  uint32_t generation = 0;
  std::vector<MDL_Object*> volumeList;          // the scene's volume list as the last pass saw it
  std::vector<SweepEntry*> entryList;           // the entries as the last pass left them
  std::vector<EntryRef> entryRefs, sortedRefs;  // each entry's volume and end, in entryList's order
  std::vector<double> keys;
  std::vector<Keyed> keyed;
  std::vector<int32_t> order;
  std::vector<SweepEntry*> sortedEntries;
  // What the sort did last with an input in order but with equal neighbours:
  // which neighbours were equal, and where each entry went.
  std::vector<uint64_t> equalNeighbours, seenEqualNeighbours;
  std::vector<int32_t> seenOrder;
  std::vector<Group> groups;
  std::vector<Run> runs;
  // The index over the volumes' boxes.
  std::vector<Ranked> byAxis;
  std::vector<double> extents;
  std::vector<uint64_t> openBits, activeBits;
  std::vector<int32_t> openMoved;
  std::vector<uint64_t> candidates;  // each an open volume's slot and place
  // Pairs handed to the contact rules by the scene's passes, for those who
  // watch the sweep's work.
  uint64_t pairsMet = 0;
  int axis = 0;           // the axis byAxis was sorted along last (1 y, 2 z; 0 none)
  int32_t byAxisFor = 0;  // and the number of volumes it was sorted for
  // The boxes of `volumes` hold for the volumes of volumeList; and which of
  // them can meet another is known.
  bool boxesKept = false;
  bool activeKnown = false;
  // For the scan that finds the active volumes.
  struct Event {
    double at;
    int32_t volume;
    uint8_t closes;
  };
  std::vector<Event> events;
  std::vector<int32_t> openVolumes;
};
