#include "model/shadow_volume.h"

#include <cmath>
#include <initializer_list>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/assert.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"

MDL_Lamp* findShadowLamp(const Scene& scene, int32_t* lightIndex) {
  int32_t used = 0;
  for (int32_t i = 0; i < scene.lamps.count && used < kMaxLights; ++i) {
    MDL_Lamp* lamp = listItem<MDL_Lamp>(scene.lamps, i);
    VS_ASSERT(lamp);
    if (!lamp->on) continue;
    if (lamp->shadows) {
      if (lightIndex) *lightIndex = used;
      return lamp;
    }
    ++used;
  }
  return nullptr;
}

bool castsShadow(MDL_Mesh* mesh) {
  VS_ASSERT(mesh);
  if (mesh->type != OBJECT_MESH && mesh->type != OBJECT_ANIMATED_MESH) return false;
  if (!(mesh->state & STATE_VISIBLE) || mesh->triangleCount() <= 0) return false;
  const Material* m = mesh->material;
  return !m || (m->castShadows && !m->isTranslucent());
}

void updateShadowVolumes(Scene& scene) {
  MDL_Lamp* lamp = findShadowLamp(scene);
  if (!lamp) return;
  for (int32_t i = 0; i < scene.meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene.meshes, i);
    if (castsShadow(mesh) && mesh->triangleInfos()) mesh->updateShadowVolume(lamp);
  }
  lamp->changed = 0;
}

namespace {

// n new points at the end of the array; null when memory runs out. The
// arrays keep their storage between builds, so this rarely grows them.
inline Vec3* extend(PointArray& points, int32_t n) {
  if (points.capacity - points.count < n && !points.reserve(points.count + n)) return nullptr;
  Vec3* at = points.data + points.count;
  points.count += n;
  return at;
}

// Where a corner goes at the shadow's far end.
struct Extruder {
  bool directional;
  Vec3 offset;    // the sun's fixed extrusion
  Vec3 lamp;      // a point lamp in the mesh's frame
  double length;  // extrusion length in local units

  Vec3 operator()(const Vec3& v) const {
    if (directional) return v + offset;
    Vec3 e = v - lamp;
    const double d = length3(e);
    if (!(d > 0)) return v;  // a corner at the lamp stays where it is
    return v + e * (length / d);
  }
};

// out[i] = extrude(v[i]) for every vertex. For a point lamp two vertices go
// through the same operations at once, lane by lane, so each far point is
// exactly what extrude gives.
void extrudeAll(const Extruder& extrude, const Vec3* v, Vec3* out, int32_t count) {
  int32_t i = 0;
#ifdef __SSE2__
  if (!extrude.directional) {
    const __m128d lx = _mm_set1_pd(extrude.lamp.x), ly = _mm_set1_pd(extrude.lamp.y), lz = _mm_set1_pd(extrude.lamp.z),
                  length = _mm_set1_pd(extrude.length), zero = _mm_setzero_pd();
    for (; i + 1 < count; i += 2) {
      const double* p = &v[i].x;  // x0 y0 z0 x1 y1 z1
      const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2), c = _mm_loadu_pd(p + 4);
      const __m128d x = _mm_shuffle_pd(a, b, 2), y = _mm_shuffle_pd(a, c, 1), z = _mm_shuffle_pd(b, c, 2);
      const __m128d ex = _mm_sub_pd(x, lx), ey = _mm_sub_pd(y, ly), ez = _mm_sub_pd(z, lz);
      const __m128d d = _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(ex, ex), _mm_mul_pd(ey, ey)), _mm_mul_pd(ez, ez)));
      const __m128d s = _mm_div_pd(length, d);
      const __m128d moved = _mm_cmpgt_pd(d, zero);  // a corner at the lamp stays where it is
      const __m128d fx = _mm_or_pd(_mm_and_pd(moved, _mm_add_pd(x, _mm_mul_pd(ex, s))), _mm_andnot_pd(moved, x));
      const __m128d fy = _mm_or_pd(_mm_and_pd(moved, _mm_add_pd(y, _mm_mul_pd(ey, s))), _mm_andnot_pd(moved, y));
      const __m128d fz = _mm_or_pd(_mm_and_pd(moved, _mm_add_pd(z, _mm_mul_pd(ez, s))), _mm_andnot_pd(moved, z));
      double* o = &out[i].x;
      _mm_storeu_pd(o, _mm_unpacklo_pd(fx, fy));
      _mm_storeu_pd(o + 2, _mm_shuffle_pd(fz, fx, 2));
      _mm_storeu_pd(o + 4, _mm_unpackhi_pd(fy, fz));
    }
  }
#endif
  for (; i < count; ++i) out[i] = extrude(v[i]);
}

// Whether the triangle across each edge of triangle t is missing or faces
// the other way: bit e for edge e. `facing` holds every triangle's flag.
inline unsigned silhouetteEdges(const TriangleInfo& info, const uint8_t* facing, int32_t n, uint8_t lit) {
  unsigned edges = 0;
  for (int e = 0; e < 3; ++e) {
    const int32_t other = info.neighbours[e];
    if (!(other >= 0 && other < n && facing[other] == lit)) edges |= 1u << e;
  }
  return edges;
}

// Appends the caps of the triangles whose facesLight is `lit`: the corners
// to the front cap and their far points to the back, turned over for the
// unlit side. False when memory runs out.
bool appendCaps(PointArray& frontCap, PointArray& backCap, const uint8_t* facing, int32_t count, const int32_t* tri,
                int32_t n, uint8_t lit, const Vec3* v, const Vec3* far, const Extruder& extrude) {
  if (count == 0) return true;
  Vec3* front = extend(frontCap, 3 * count);
  Vec3* back = extend(backCap, 3 * count);
  if (!front || !back) return false;
  for (int32_t t = 0; t < n; ++t) {
    if (facing[t] != lit) continue;
    const int32_t* k = tri + 3 * t;
    if (lit) {
      for (int i = 0; i < 3; ++i) {
        front[i] = v[k[i]];
        back[i] = far ? far[k[i]] : extrude(v[k[i]]);
      }
    } else {
      for (int i = 0; i < 3; ++i) {
        back[i] = far ? far[k[2 - i]] : extrude(v[k[2 - i]]);
        front[i] = v[k[2 - i]];
      }
    }
    front += 3;
    back += 3;
  }
  return true;
}

// Appends two side triangles for each silhouette edge of the triangles
// whose facesLight is `lit`, wound to face out of the volume. False when
// memory runs out.
bool appendSides(PointArray& sides, const TriangleInfo* infos, const uint8_t* facing, const int32_t* tri, int32_t n,
                 uint8_t lit, const Vec3* v, const Vec3* far, const Extruder& extrude) {
  for (int32_t t = 0; t < n; ++t) {
    if (facing[t] != lit) continue;
    const unsigned silhouette = silhouetteEdges(infos[t], facing, n, lit);
    // Most triangles lie inside their region and add no sides.
    if (!silhouette) continue;
    const int32_t* k = tri + 3 * t;
    const Vec3 c[3] = {v[k[0]], v[k[1]], v[k[2]]};
    Vec3 ext[3];
    for (int i = 0; i < 3; ++i) ext[i] = far ? far[k[i]] : extrude(c[i]);
    Vec3* s = extend(sides, 6 * __builtin_popcount(silhouette));
    if (!s) return false;
    for (int step = 0; step < 3; ++step) {
      const int e = lit ? step : 2 - step;
      if (!(silhouette & (1u << e))) continue;
      const int b = e == 2 ? 0 : e + 1;
      if (lit) {
        s[0] = c[e], s[1] = ext[e], s[2] = ext[b];
        s[3] = c[e], s[4] = ext[b], s[5] = c[b];
      } else {
        s[0] = c[b], s[1] = ext[b], s[2] = ext[e];
        s[3] = ext[e], s[4] = c[e], s[5] = c[b];
      }
      s += 6;
    }
  }
  return true;
}

}  // namespace

void MDL_Mesh::updateShadowVolume(MDL_Lamp* lamp) {
  VS_ASSERT(lamp);
  if (!material || !material->castShadows) return;
  if (!changed && !lamp->changed && shadowLamp == lamp) return;
  shadowLamp = lamp;
  // Emptied, not freed: the storage is reused by the next rebuild.
  shadowSides.resize(0);
  shadowFrontCap.resize(0);
  shadowBackCap.resize(0);
  changed = 0;

  TriangleInfo* infos = triangleInfos();
  const Vec3* v = vertex(0);
  const int32_t* tri = triangles();
  const int32_t n = triangleCount();
  if (!infos || !v || !tri || n <= 0) return;

  RigidTransform& meshWorld = getWorld();
  const RigidTransform& lampWorld = lamp->getWorld();
  // A flat scale or a depth that is zero, negative or not finite would put
  // the far end at infinity or behind the mesh: no volume then.
  const double k = length3(meshWorld.basis.X()) / lamp->shadowDepth;
  const double length = 1.0 / k;
  if (!(k > 0) || !std::isfinite(k) || !std::isfinite(length)) return;

  Extruder extrude;
  extrude.directional = lamp->kind == LAMP_SUN;
  extrude.length = length;
  meshWorld.toLocalPoint(lampWorld.position, extrude.lamp);
  Vec3 towards;
  meshWorld.toLocalDirection(-lampWorld.basis.Z(), towards);

  // The flags also go to a packed array of the mesh's own, which the
  // silhouette tests read many times over.
  if (!shadowFacing.resize(n)) return;
  uint8_t* facing = shadowFacing.data;
  int32_t litCount = 0;
  if (extrude.directional) {
    for (int32_t t = 0; t < n; ++t) litCount += facing[t] = infos[t].facesLight = dot3(infos[t].normal, towards) < 0;
  } else {
    for (int32_t t = 0; t < n; ++t)
      litCount += facing[t] = infos[t].facesLight = dot3(infos[t].normal, v[tri[3 * t]] - extrude.lamp) < 0;
  }
  extrude.offset = towards;
  const double reach = length3(towards);
  if (reach > 0) extrude.offset = towards * (length / reach);
  if (!std::isfinite(length3(extrude.offset))) return;

  const bool caps = lamp->shadowType == SHADOW_3D;
  const bool twoSided = meshData && meshData->doubleSided;
  // With caps every corner of a cap triangle is extruded, shared corners
  // many times over: extrude each vertex once instead.
  const Vec3* far = nullptr;
  const int32_t vertices = vertexCount();
  if (caps && vertices > 0 && shadowFar.resize(vertices)) {
    extrudeAll(extrude, v, shadowFar.data, vertices);
    far = shadowFar.data;
  }

  // Lit triangles: caps in their own winding, and the two side triangles of
  // each silhouette edge. The unlit side of a double-sided mesh faces the
  // lamp from behind: its caps and sides are the same with the winding
  // turned over.
  for (const uint8_t lit : {uint8_t{1}, uint8_t{0}}) {
    if (!lit && !twoSided) break;
    const int32_t count = lit ? litCount : n - litCount;
    if (caps && !appendCaps(shadowFrontCap, shadowBackCap, facing, count, tri, n, lit, v, far, extrude)) return;
    if (!appendSides(shadowSides, infos, facing, tri, n, lit, v, far, extrude)) return;
  }
}
