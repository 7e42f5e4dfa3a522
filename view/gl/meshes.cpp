// One mesh on screen: its matrix and its triangles, from buffer objects or
// from client arrays.
#include <GL/glew.h>

#include "core/assert.h"
#include "model/material.h"
#include "view/gl/matrix.h"
#include "view/gl/mesh_arrays.h"
#include "view/opengl.h"

namespace {

// Offsets into a bound buffer are passed where pointers go.
const void* atOffset(size_t offset) { return reinterpret_cast<const void*>(offset); }

void cullFor(const MeshData& data) {
  if (data.doubleSided)
    glDisable(GL_CULL_FACE);
  else
    glEnable(GL_CULL_FACE);
}

}  // namespace

void VIEW_OpenGL::objectMatrix(MDL_Mesh* mesh, double m[16]) {
  const RigidTransform& world = mesh->getWorld();
  glm4::fromTransform(m, world);
  if (mesh->type == OBJECT_MESH && mesh->displayMode == DISPLAY_MODE_SPRITE) {
    // The mesh keeps its world orientation against the screen: only its
    // position goes through the view.
    double w = 0;
    Vec3 p = glm4::transformPoint(modelView, world.position, &w);
    if (w != 0) p *= 1.0 / w;
    m[12] = p.x;
    m[13] = p.y;
    m[14] = p.z;
  } else {
    glm4::multiply(m, modelView, m);
  }
}

void VIEW_OpenGL::loadObjectMatrix(MDL_Mesh* mesh) {
  double m[16];
  objectMatrix(mesh, m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixd(m);
}

void VIEW_OpenGL::drawMesh(MDL_Mesh* mesh) {
  VS_ASSERT(mesh);
  if (!mesh->meshData) return;
  const MeshData& data = *mesh->meshData;
  const MeshArrays arrays(*mesh);
  const Vec3* positions = mesh->vertex(0);
  if (arrays.vertices <= 0 || data.triangleCount <= 0 || !data.triangles || !positions) return;
  loadObjectMatrix(mesh);
  cullFor(data);

  Material* material = mesh->material;
  const bool lit = !(material && material->shadeless);
  const Vec3* normals = arrays.normals && lit ? mesh->normal(0) : nullptr;
  MeshBuffers* const* cached =
      geometryPath == kGeometryBufferObjects && drawnFromBuffers(*mesh) ? meshBuffers.find(&data) : nullptr;

  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  const void* indices = data.triangles;
  if (cached) {
    glBindBuffer(GL_ARRAY_BUFFER, (*cached)->vertexBuffer);
    glVertexPointer(3, GL_DOUBLE, 0, atOffset(0));
    if (normals) glNormalPointer(GL_DOUBLE, 0, atOffset(arrays.normalOffset()));
    if (arrays.colors) glColorPointer(4, GL_DOUBLE, 0, atOffset(arrays.colorOffset()));
    if (arrays.uvs) glTexCoordPointer(2, GL_DOUBLE, 0, atOffset(arrays.uvOffset()));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, (*cached)->indexBuffer);
    indices = atOffset(0);
  } else {
    glVertexPointer(3, GL_DOUBLE, 0, positions);
    if (normals) glNormalPointer(GL_DOUBLE, 0, normals);
    if (arrays.colors) glColorPointer(4, GL_DOUBLE, 0, data.colors);
    if (arrays.uvs) glTexCoordPointer(2, GL_DOUBLE, 0, data.uvs);
  }
  if (normals)
    glEnableClientState(GL_NORMAL_ARRAY);
  else
    glDisableClientState(GL_NORMAL_ARRAY);
  if (arrays.colors) {
    glEnableClientState(GL_COLOR_ARRAY);
    glEnable(GL_COLOR_MATERIAL);
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
    glDisable(GL_COLOR_MATERIAL);
  }
  if (arrays.uvs)
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  else
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);

  const int32_t layers = material && material->layers.count > 1 ? material->layers.count : 1;
  for (int32_t layer = 0; layer < layers; ++layer) {
    applyMaterial(material, layer, false, false);
    glDrawElements(GL_TRIANGLES, 3 * data.triangleCount, GL_UNSIGNED_INT, indices);
  }
  glPopClientAttrib();
  if (cached) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
}

void VIEW_OpenGL::drawMeshDepth(MDL_Mesh* mesh) {
  VS_ASSERT(mesh);
  if (!mesh->meshData) return;
  const MeshData& data = *mesh->meshData;
  const Vec3* positions = mesh->vertex(0);
  if (data.vertexCount <= 0 || data.triangleCount <= 0 || !data.triangles || !positions) return;
  loadObjectMatrix(mesh);
  cullFor(data);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_DOUBLE, 0, positions);
  glDrawElements(GL_TRIANGLES, 3 * data.triangleCount, GL_UNSIGNED_INT, data.triangles);
  glPopClientAttrib();
}
