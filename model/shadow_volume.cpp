#include "model/shadow_volume.h"

#include <cmath>

#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"

MDL_Lamp* findShadowLamp(const Scene& scene, int32_t* lightIndex) {
  int32_t used = 0;
  for (int32_t i = 0; i < scene.lamps.count && used < kMaxLights; ++i) {
    MDL_Lamp* lamp = listItem<MDL_Lamp>(scene.lamps, i);
    if (!lamp || !lamp->on) continue;
    if (lamp->shadows) {
      if (lightIndex) *lightIndex = used;
      return lamp;
    }
    ++used;
  }
  return nullptr;
}

bool castsShadow(MDL_Mesh* mesh) {
  if (!mesh || (mesh->type != OBJECT_MESH && mesh->type != OBJECT_ANIMATED_MESH)) return false;
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

// n new points at the end of the array; null when memory runs out.
Vec3* extend(PointArray& points, int32_t n) {
  if (!points.resize(points.count + n)) return nullptr;
  return points.data + points.count - n;
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

}  // namespace

void MDL_Mesh::updateShadowVolume(MDL_Lamp* lamp) {
  if (!lamp || !material || !material->castShadows) return;
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

  for (int32_t t = 0; t < n; ++t) {
    const Vec3 d = extrude.directional ? towards : v[tri[3 * t]] - extrude.lamp;
    infos[t].facesLight = dot3(infos[t].normal, d) < 0;
  }
  extrude.offset = towards;
  const double reach = length3(towards);
  if (reach > 0) extrude.offset = towards * (length / reach);
  if (!std::isfinite(length3(extrude.offset))) return;

  const bool caps = lamp->shadowType == SHADOW_3D;
  for (int32_t t = 0; t < n; ++t) {
    const TriangleInfo& info = infos[t];
    if (!info.facesLight) continue;
    // Most lit triangles lie inside the lit region: without caps they add
    // nothing, and nothing needs extruding.
    bool silhouette[3];
    for (int e = 0; e < 3; ++e) {
      const int32_t other = info.neighbours[e];
      silhouette[e] = !(other >= 0 && other < n && infos[other].facesLight);
    }
    if (!caps && !silhouette[0] && !silhouette[1] && !silhouette[2]) continue;
    const int32_t* k3 = tri + 3 * t;
    const Vec3 c[3] = {v[k3[0]], v[k3[1]], v[k3[2]]};
    const Vec3 far[3] = {extrude(c[0]), extrude(c[1]), extrude(c[2])};
    if (caps) {
      Vec3* front = extend(shadowFrontCap, 3);
      Vec3* back = extend(shadowBackCap, 3);
      if (!front || !back) return;
      for (int i = 0; i < 3; ++i) {
        front[i] = c[i];
        back[i] = far[i];
      }
    }
    for (int e = 0; e < 3; ++e) {
      if (!silhouette[e]) continue;
      const int b = (e + 1) % 3;
      Vec3* s = extend(shadowSides, 6);
      if (!s) return;
      s[0] = c[e], s[1] = far[e], s[2] = far[b];
      s[3] = c[e], s[4] = far[b], s[5] = c[b];
    }
  }

  if (!meshData || !meshData->doubleSided) return;
  // The unlit side of a double-sided mesh faces the lamp from behind: its
  // volume is the same with the winding turned over.
  for (int32_t t = 0; t < n; ++t) {
    const TriangleInfo& info = infos[t];
    if (info.facesLight) continue;
    bool silhouette[3];
    for (int e = 0; e < 3; ++e) {
      const int32_t other = info.neighbours[e];
      silhouette[e] = !(other >= 0 && other < n && !infos[other].facesLight);
    }
    if (!caps && !silhouette[0] && !silhouette[1] && !silhouette[2]) continue;
    const int32_t* k3 = tri + 3 * t;
    const Vec3 c[3] = {v[k3[0]], v[k3[1]], v[k3[2]]};
    const Vec3 far[3] = {extrude(c[0]), extrude(c[1]), extrude(c[2])};
    if (caps) {
      Vec3* back = extend(shadowBackCap, 3);
      Vec3* front = extend(shadowFrontCap, 3);
      if (!front || !back) return;
      for (int i = 0; i < 3; ++i) {
        back[i] = far[2 - i];
        front[i] = c[2 - i];
      }
    }
    for (int e = 2; e >= 0; --e) {
      if (!silhouette[e]) continue;
      const int b = (e + 1) % 3;
      Vec3* s = extend(shadowSides, 6);
      if (!s) return;
      s[0] = c[b], s[1] = far[b], s[2] = far[e];
      s[3] = far[e], s[4] = c[e], s[5] = c[b];
    }
  }
}
