#include "support/test_geometry.h"

#include <algorithm>

namespace testgeometry {

namespace {

// Owned arrays of a MeshData, allocated as its loader does.
void allocate(MeshData* d, int32_t vertices, int32_t triangles) {
  d->vertexCount = d->normalCount = vertices;
  d->vertices = new Vec3[vertices]();
  d->normals = new Vec3[vertices]();
  d->triangleCount = triangles;
  d->triangles = new int32_t[3 * triangles]();
  d->triangleInfos = new TriangleInfo[triangles]();
  for (int32_t t = 0; t < triangles; ++t)
    for (int32_t& n : d->triangleInfos[t].neighbours) n = -1;
}

void finish(MeshData* d, double half) {
  d->boundsMin = Vec3(-half, -half, -half);
  d->boundsMax = Vec3(half, half, half);
  d->buildAdjacency();
  d->computeTriangleNormals();
}

}  // namespace

MeshData* quadData(double half, bool doubleSided) {
  MeshData* d = new MeshData;
  allocate(d, 4, 2);
  const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int i = 0; i < 4; ++i) {
    d->vertices[i] = Vec3(corners[i][0] * half, corners[i][1] * half, 0);
    d->normals[i] = Vec3(0, 0, 1);
  }
  const int32_t tri[6] = {0, 1, 2, 0, 2, 3};
  std::copy(tri, tri + 6, d->triangles);
  d->doubleSided = doubleSided;
  finish(d, half);
  return d;
}

MeshData* cubeData(double half) {
  MeshData* d = new MeshData;
  allocate(d, 24, 12);
  for (int face = 0; face < 6; ++face) {
    const int axis = face / 2;
    const double sign = face % 2 ? -1.0 : 1.0;
    Vec3 n;
    n[axis] = sign;
    // u x v = n, so the corners run counter-clockwise seen from outside.
    Vec3 u, v;
    u[(axis + 1) % 3] = 1;
    v[(axis + 2) % 3] = 1;
    if (sign < 0) u = -u;
    const double c[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int k = 0; k < 4; ++k) {
      d->vertices[4 * face + k] = (n + u * c[k][0] + v * c[k][1]) * half;
      d->normals[4 * face + k] = n;
    }
    const int32_t tri[6] = {0, 1, 2, 0, 2, 3};
    for (int k = 0; k < 6; ++k) d->triangles[6 * face + k] = 4 * face + tri[k];
  }
  finish(d, half);
  return d;
}

MeshData* gridData(int cells, double half) {
  MeshData* d = new MeshData;
  const int side = cells + 1;
  allocate(d, side * side, 2 * cells * cells);
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      d->vertices[j * side + i] = Vec3(-half + 2 * half * i / cells, -half + 2 * half * j / cells, 0);
      d->normals[j * side + i] = Vec3(0, 0, 1);
    }
  int32_t* t = d->triangles;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      const int32_t a = j * side + i, b = a + 1, c = a + side + 1, e = a + side;
      *t++ = a, *t++ = b, *t++ = c;
      *t++ = a, *t++ = c, *t++ = e;
    }
  finish(d, half);
  return d;
}

void lookAt(MDL_Object* object, const Vec3& eye, const Vec3& target) {
  RigidTransform& t = object->editLocal();
  Vec3 z = eye - target;
  normalize3(z);
  Vec3 x = cross3(Vec3(0, 0, 1), z);
  if (!normalize3(x)) x = Vec3(1, 0, 0);
  t.basis.axis[0] = x;
  t.basis.axis[1] = cross3(z, x);
  t.basis.axis[2] = z;
  t.position = eye;
  t.inverseStale = 1;
}

void placeAt(MDL_Object* object, const Vec3& position) { object->editLocal().position = position; }

}  // namespace testgeometry
