#include "model/mesh.h"

#include <cmath>
#include <new>

#include "model/material.h"

namespace {
// The box of a mesh that has no geometry: a point at the origin, read only.
const Vec3 kNoBox;
}  // namespace

MDL_Mesh::MDL_Mesh(const MDL_Mesh& other)
    : MDL_Object(other), meshData(other.meshData), displayMode(other.displayMode) {
  MDL_copyMaterialRef(other.material, other.ownsMaterial, material, ownsMaterial);
}

MDL_Mesh::~MDL_Mesh() { MDL_releaseMaterial(material, ownsMaterial); }

Vec3* MDL_Mesh::vertex(int32_t i) { return meshData && meshData->vertices ? meshData->vertices + i : nullptr; }

Vec3* MDL_Mesh::normal(int32_t i) { return meshData && meshData->normals ? meshData->normals + i : nullptr; }

TriangleInfo* MDL_Mesh::triangleInfos() { return meshData ? meshData->triangleInfos : nullptr; }

const Vec3* MDL_Mesh::boundsMin() { return meshData ? &meshData->boundsMin : &kNoBox; }

const Vec3* MDL_Mesh::boundsMax() { return meshData ? &meshData->boundsMax : &kNoBox; }

bool MDL_Mesh::ownMaterial() { return MDL_ownMaterial(material, ownsMaterial); }

bool intersectRayTriangle(const MDL_Mesh& mesh, const Vec3& origin, const Vec3& direction, const Vec3& a, const Vec3& b,
                          const Vec3& c, double& nearest, bool allowBehind) {
  const bool doubleSided = mesh.meshData && mesh.meshData->doubleSided;
  const Vec3 ab = a - b;
  const Vec3 cb = c - b;
  const Vec3 n = cross3(cb, ab);
  const double d = dot3(direction, n);
  if (doubleSided ? d == 0.0 : !(d < 0.0)) return false;
  const double t = (dot3(n, b) - dot3(n, origin)) / d;
  if (!(t > 0.0) && !allowBehind) return false;
  if (!(t < nearest)) return false;

  const Vec3 h = origin + direction * t - b;
  const double nx = std::fabs(n.x), ny = std::fabs(n.y), nz = std::fabs(n.z);
  double s1, s2, m;
  if (nx > ny && nx > nz) {
    s1 = ab.z * h.y - ab.y * h.z;
    s2 = cb.y * h.z - cb.z * h.y;
    m = n.x;
  } else if (ny > nz) {
    s1 = ab.x * h.z - ab.z * h.x;
    s2 = cb.z * h.x - cb.x * h.z;
    m = n.y;
  } else {
    s1 = ab.y * h.x - ab.x * h.y;
    s2 = cb.x * h.y - cb.y * h.x;
    m = n.z;
  }
  const bool inside = m > 0.0 ? (s1 >= 0.0 && s2 >= 0.0 && s1 + s2 <= m) : (s1 <= 0.0 && s2 <= 0.0 && s1 + s2 >= m);
  if (!inside) return false;
  nearest = t;
  return true;
}

void boxTriangles(const Vec3& lo, const Vec3& hi, Vec3 out[12][3]) {
  // Each face: the axis it is normal to, its side, and its outward direction.
  struct Face {
    int axis;
    bool high;
  };
  static const Face faces[6] = {{2, false}, {2, true}, {1, true}, {1, false}, {0, true}, {0, false}};
  for (int f = 0; f < 6; ++f) {
    const int axis = faces[f].axis;
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    Vec3 quad[4];
    const double uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int q = 0; q < 4; ++q) {
      quad[q][axis] = faces[f].high ? hi[axis] : lo[axis];
      quad[q][u] = uv[q][0] ? hi[u] : lo[u];
      quad[q][v] = uv[q][1] ? hi[v] : lo[v];
    }
    Vec3 outward;
    outward[axis] = faces[f].high ? 1.0 : -1.0;
    const int tri[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int k = 0; k < 2; ++k) {
      Vec3* t = out[2 * f + k];
      t[0] = quad[tri[k][0]];
      t[1] = quad[tri[k][1]];
      t[2] = quad[tri[k][2]];
      // The ray test's front side is (c - b) x (a - b): turn it outward.
      if (dot3(cross3(t[2] - t[1], t[0] - t[1]), outward) < 0.0) {
        Vec3 swap = t[0];
        t[0] = t[2];
        t[2] = swap;
      }
    }
  }
}

bool MDL_Mesh::raycast(const Vec3& origin, const Vec3& target, double& nearest, int32_t& triangle) {
  // Content-made meshes may have no geometry yet: nothing to hit.
  if (!meshData || triangleCount() <= 0) return false;
  const Vec3 direction = target - origin;

  Vec3 box[12][3];
  boxTriangles(*boundsMin(), *boundsMax(), box);
  double boxNearest = nearest;
  bool inBox = false;
  for (int i = 0; i < 12 && !inBox; ++i)
    inBox = intersectRayTriangle(*this, origin, direction, box[i][0], box[i][1], box[i][2], boxNearest, true);
  if (!inBox) return false;

  const Vec3* v = vertex(0);
  const int32_t* tri = triangles();
  if (!v || !tri) return false;
  bool hit = false;
  const int32_t n = triangleCount();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t* k = tri + 3 * i;
    if (intersectRayTriangle(*this, origin, direction, v[k[0]], v[k[1]], v[k[2]], nearest, false)) {
      triangle = i;
      hit = true;
    }
  }
  return hit;
}
