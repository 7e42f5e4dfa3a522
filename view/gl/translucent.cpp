// Translucent triangles, back to front: every triangle of every translucent
// mesh is taken to eye space, ordered by the tree of bsp.cpp and drawn from
// one set of client arrays, one draw per run of a material.
#include <GL/glew.h>

#include <algorithm>

#include "core/assert.h"
#include "model/camera.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "view/gl/matrix.h"
#include "view/gl/mesh_arrays.h"
#include "view/gl/translucent_source.h"
#include "view/opengl.h"

static_assert(sizeof(Vec3) == 3 * sizeof(double) && sizeof(Vec2) == 2 * sizeof(double) &&
                  sizeof(ColorRGBA) == 4 * sizeof(double),
              "the streams are handed to OpenGL as packed doubles");

namespace {

constexpr ColorRGBA kNoColor{0, 0, 0, -1};

bool takesPart(const MDL_Mesh* mesh) {
  VS_ASSERT(mesh);
  if (!mesh->meshData || !(mesh->state & STATE_VISIBLE) || mesh->triangleCount() <= 0) return false;
  const bool translucentColours = mesh->meshData->translucentColorCount >= 1;
  const Material* m = mesh->material;
  if (!m || m->mirror) return translucentColours;
  // Alpha exactly 0 is not translucent: such meshes only write depth.
  return m->isTranslucent() || translucentColours;
}

// The sign of the 3 x 3 part of a column-major 4 x 4 matrix.
double basisDeterminant(const double m[16]) {
  const Vec3 x(m[0], m[1], m[2]), y(m[4], m[5], m[6]), z(m[8], m[9], m[10]);
  return dot3(x, cross3(y, z));
}

// Takes one mesh's triangles to eye space and hands them to the tree.
struct MeshGather {
  const TranslucentSource::Mesh& mesh;
  int32_t meshIndex;
  int32_t vertices;
  bool doubleSided;
  bool mirrored;  // the view turns the winding over

  // One triangle into the tree, unless it cannot be seen.
  void gatherTriangle(int32_t t, BspTree* tree, TranslucentSource* source) const {
    const int32_t* corner = mesh.data->triangles + 3 * size_t(t);
    for (int v = 0; v < 3; ++v)
      if (corner[v] < 0 || corner[v] >= vertices) return;
    BspTriangle r;
    for (int v = 0; v < 3; ++v) r.position[v] = TranslucentSource::toEye(mesh, corner[v]);
    const Vec3 &p0 = r.position[0], &p1 = r.position[1], &p2 = r.position[2];
    // Wholly at or behind the eye plane (NaNs fail the test too).
    if (!(p0.z < 0 || p1.z < 0 || p2.z < 0)) return;
    const double facing = dot3(p0, cross3(p1, p2));
    const bool back = mirrored ? facing < 0 : facing > 0;
    if (back && !doubleSided) return;
    const Vec3 e1 = p1 - p0, e2 = p2 - p0;
    r.plane = facing > 0 ? cross3(e1, e2) : cross3(e2, e1);
    // A triangle without area covers no pixel, but as a node its plane
    // would take everything after it as coplanar and lose their order.
    if (!normalize3(r.plane)) return;
    // Numbered as the tree numbers what it keeps.
    if (!source->triangles.append({meshIndex, t})) return;
    if (tree->insert(0, r) < 0) source->triangles.resize(source->triangles.count - 1);
  }

  // Interleaved from both ends and the middle, so that a mesh whose
  // triangles come in spatial order does not make a list-shaped tree.
  void gather(BspTree* tree, TranslucentSource* source) const {
    const int32_t count = mesh.data->triangleCount, q = count / 4;
    for (int32_t k = 0; k < q; ++k) {
      gatherTriangle(k, tree, source);
      gatherTriangle(2 * q - 1 - k, tree, source);
      gatherTriangle(2 * q + k, tree, source);
      gatherTriangle(4 * q - 1 - k, tree, source);
    }
    for (int32_t t = 4 * q; t < count; ++t) gatherTriangle(t, tree, source);
  }
};

}  // namespace

Vec3 TranslucentSource::toEye(const Mesh& mesh, int32_t vertex) {
  double w;
  return glm4::transformPoint(mesh.toEye, mesh.positions[vertex], &w);
}

BspVertex TranslucentSource::corner(int32_t triangle, int k) const {
  const Triangle& t = triangles[triangle];
  const Mesh& mesh = meshes[t.mesh];
  const MeshData* data = mesh.data;
  const int32_t i = data->triangles[3 * size_t(t.index) + k];
  BspVertex v;
  v.position = toEye(mesh, i);
  v.normal = mesh.normals ? mesh.normalToEye * mesh.normals[i] : -tree_->plane(triangle);
  v.uv = mesh.uvs ? Vec2(data->uvs[2 * size_t(i)], data->uvs[2 * size_t(i) + 1]) : Vec2();
  if (mesh.colors) {
    v.color = data->colors[i];
    // Negative alpha marks "no colours"; OpenGL would clamp it to 0.
    v.color.a = std::max(v.color.a, 0.0);
  } else {
    v.color = kNoColor;
  }
  return v;
}

Material* TranslucentSource::material(int32_t triangle) const { return meshes[triangles[triangle].mesh].material; }

void VIEW_OpenGL::drawTranslucent(MDL_Camera* camera) {
  bsp.reset();
  translucentSource.reset(&bsp);
  VS_ASSERT(camera && camera->scene);
  Scene* scene = camera->scene;
  const bool mirrored = basisDeterminant(modelView) < 0;
  const Matrix3& fromWorld = camera->getWorld().inverse();
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    if (!takesPart(mesh) || !mesh->meshData->triangles) continue;
    const MeshArrays arrays(*mesh);
    TranslucentSource::Mesh m{};
    m.data = mesh->meshData;
    m.material = mesh->material;
    m.positions = mesh->vertex(0);
    if (!m.positions || arrays.vertices <= 0) continue;
    m.normals = arrays.normals ? mesh->normal(0) : nullptr;
    m.uvs = arrays.uvs;
    m.colors = arrays.colors;
    objectMatrix(mesh, m.toEye);
    Matrix3::mul(m.normalToEye, fromWorld, mesh->getWorld().basis);
    if (!translucentSource.meshes.append(m)) continue;
    const int32_t index = translucentSource.meshes.count - 1;
    const MeshGather g{translucentSource.meshes[index], index, arrays.vertices, m.data->doubleSided, mirrored};
    g.gather(&bsp, &translucentSource);
  }
  bsp.walk(0, translucentSource, &translucentStreams);
  if (translucentStreams.triangles() > 0) drawTranslucentStreams();
}

void VIEW_OpenGL::drawTranslucentStreams() {
  const TranslucentStreams& s = translucentStreams;
  const int32_t triangles = s.triangles();
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  // The vertices are in eye space already.
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(projection);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glVertexPointer(3, GL_DOUBLE, 0, s.positions.data);
  glNormalPointer(GL_DOUBLE, 0, s.normals.data);
  glEnableClientState(GL_NORMAL_ARRAY);
  glColorPointer(4, GL_DOUBLE, 0, s.colors.data);
  glTexCoordPointer(2, GL_DOUBLE, 0, s.uvs.data);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);

  const auto coloured = [&s](int32_t t) { return s.colors[3 * t].a >= 0; };
  for (int32_t first = 0; first < triangles;) {
    Material* material = s.materials[first];
    const bool colours = coloured(first);
    // A run also ends where vertex colours come or go, so that a mesh
    // without colours is never drawn with another mesh's.
    int32_t end = first + 1;
    while (end < triangles && s.materials[end] == material && coloured(end) == colours) ++end;
    const int32_t layers = material && material->layers.count > 1 ? material->layers.count : 1;
    for (int32_t layer = 0; layer < layers; ++layer) {
      // Colour material first: while it is on, OpenGL keeps the tracked
      // colours from the current colour and drops the material's own.
      if (colours) {
        glEnable(GL_COLOR_MATERIAL);
        glEnableClientState(GL_COLOR_ARRAY);
      } else {
        glDisable(GL_COLOR_MATERIAL);
        glDisableClientState(GL_COLOR_ARRAY);
      }
      applyMaterial(material, layer, false, true);
      glDrawArrays(GL_TRIANGLES, 3 * first, 3 * (end - first));
    }
    first = end;
  }
  glPopClientAttrib();
  reloadMatrices();
}
