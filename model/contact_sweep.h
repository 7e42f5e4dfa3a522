// What the collision pass keeps from one pass to the next, so that each
// scene's sweep reuses its own storage.
#pragma once

#include <cstdint>
#include <vector>

class MDL_CollisionVolume;

class ContactSweepState {
 public:
  // One volume of the pass's index.
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
  struct Ranked {
    double lo;
    int32_t volume;
  };

  std::vector<SweepVolume> v;
  std::vector<Ranked> byAxis;
  std::vector<double> extents;
  std::vector<uint64_t> openBits;
  std::vector<int32_t> openMoved;
  std::vector<int32_t> candidates;
};
