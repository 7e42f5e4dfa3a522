// Polyline overlays: a list of 2-D points drawn as a thick line and, when
// filled, as a polygon. The triangles of both shapes are kept for the
// renderer and rebuilt lazily after the points or the line's style change.
#pragma once

#include <cstdint>

#include "model/color.h"
#include "model/constants.h"
#include "model/object.h"
#include "model/ptr_array.h"

class Material;
struct ImageSource;

using Vec2Array = GrowArray<Vec2>;

class MDL_Polyline : public MDL_Object {
 public:
  Material* material = nullptr;  // the outline's looks; shared until ownMaterial
  bool ownsMaterial = false;
  ColorRGBA fillColor{0, 0, 0, 0};
  Vec2Array points;
  GrowArray<int32_t> fillTriangles;  // point indices, three per triangle
  bool fillDirty = false;
  bool outlineDirty = false;
  Vec2Array outlineVertices;        // three per triangle
  Vec2Array outlineTexCoords;       // parallel to outlineVertices
  // A line whose points all lie in one place has no band: where the hit
  // test finds it, it is drawn as a dot of its half-width instead.
  Vec2Array dotVertices;   // three per triangle
  Vec2Array dotTexCoords;  // parallel to dotVertices
  double thickness = widen(0.01f);  // half-width of the line
  bool closed = true;
  bool filled = false;
  bool outlined = true;

  MDL_Polyline() { type = OBJECT_POLYLINE; }
  MDL_Polyline(const MDL_Polyline&) = delete;  // polylines are never cloned
  ~MDL_Polyline() override;

  // Appends one point and marks both shapes dirty. False when out of memory.
  bool addPoint(const Vec2& p);
  // Drops every point and marks both shapes dirty.
  void clearPoints();

  int32_t segmentCount() const;

  // The fill's triangles, recomputed first when dirty; empty when the
  // points do not form a simple polygon.
  const GrowArray<int32_t>& updateFill();
  // Rebuilds the outline's triangles and texture coordinates (or the
  // dot's) when dirty.
  void updateOutline();
  // The image of the material's first layer that has one, or null.
  ImageSource* outlineImage() const;

  bool ownMaterial();

  // Smallest distance to the line minus the thickness (negative inside);
  // DBL_MAX without points.
  double distanceToPoint(const Vec2& p) const;
  bool hitTest(const Vec2& p) override;
};

double distanceToSegment(const Vec2& p, const Vec2& a, const Vec2& b);

// Ear clipping of a simple polygon (either winding); appends counter-
// clockwise index triples to out. Outlines that touch themselves at a shared
// point are handled too. False when no ear is left before the end (fewer than
// three points, collinear runs, crossing edges) or when memory runs out.
bool triangulatePolygon(const Vec2Array& points, GrowArray<int32_t>& out);
