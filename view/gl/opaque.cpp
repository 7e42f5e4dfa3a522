// The opaque meshes of a scene, and the depth of meshes with alpha 0.
#include <GL/glew.h>

#include "core/assert.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "view/opengl.h"

namespace {

bool drawable(const MDL_Mesh* mesh) {
  VS_ASSERT(mesh);
  return (mesh->state & STATE_VISIBLE) && mesh->triangleCount() > 0;
}

// Whether the opaque pass draws the mesh in colour. The viewport's mirror
// is drawn by the mirror pass; any other mirror-material mesh is an
// ordinary mesh (mirror materials never go to the translucent pass).
bool opaque(const MDL_Mesh* mesh, const MDL_Mesh* mirror) {
  if (mesh == mirror || mesh->meshData->translucentColorCount != 0) return false;
  const Material* m = mesh->material;
  if (!m || m->mirror) return true;
  if (m->diffuse.a < 1) return false;
  if (m->layers.count == 0) return true;
  const MaterialLayer& first = m->layers[0];
  if (first.color.a < 1) return false;
  return !(first.image && first.image->hasAlpha && !first.image->binaryAlpha);
}

}  // namespace

void VIEW_OpenGL::drawOpaque(Scene* scene) {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glCullFace(GL_BACK);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glEnable(GL_NORMALIZE);
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    if (drawable(mesh) && opaque(mesh, mirrorMesh)) drawMesh(mesh);
  }

  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    if (drawable(mesh) && mesh->material && !mesh->material->mirror && mesh->material->diffuse.a == 0)
      drawMeshDepth(mesh);
  }
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void VIEW_OpenGL::drawNonReceiverDepth(Scene* scene) {
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    if (drawable(mesh) && opaque(mesh, mirrorMesh) && mesh->material && mesh->material->shadeless) drawMeshDepth(mesh);
  }
  if (mirrorMesh && mirrorMesh->material->shadeless) drawMeshDepth(mirrorMesh);
}
