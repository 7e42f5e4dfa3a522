// The planar mirror: the scene drawn again from the camera reflected in the
// mirror's plane, kept only where the mirror itself lies.
#include <GL/glew.h>

#include "core/assert.h"
#include "model/camera.h"
#include "model/constants.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "model/viewport.h"
#include "view/opengl.h"

namespace {

// p reflected in the plane through q with unit normal n.
Vec3 reflectPoint(const Vec3& p, const Vec3& q, const Vec3& n) { return p - n * (2 * dot3(p - q, n)); }
Vec3 reflectDirection(const Vec3& a, const Vec3& n) { return a - n * (2 * dot3(a, n)); }

}  // namespace

VIEW_OpenGL::Mirror VIEW_OpenGL::chooseMirror(Scene* scene) {
  Mirror mirror;
  for (int32_t i = scene->meshes.count - 1; i >= 0; --i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    VS_ASSERT(mesh);
    if (!(mesh->state & STATE_VISIBLE) || !mesh->material || !mesh->material->mirror) continue;
    // The plane comes from the first vertex and its normal; without them
    // there is no plane and the mesh is not the mirror.
    const Vec3* v = mesh->vertex(0);
    const Vec3* n = mesh->normal(0);
    const MeshData* data = mesh->meshData;
    if (mesh->triangleCount() <= 0 || data->vertexCount <= 0 || !v || !n || data->normalCount < 1) continue;
    const RigidTransform& world = mesh->getWorld();
    Vec3 normal = world.basis * *n;
    if (!normalize3(normal)) continue;
    mirror.mesh = mesh;
    mirror.point = world.toWorldPoint(*v);
    mirror.normal = normal;
    break;
  }
  return mirror;
}

void VIEW_OpenGL::drawReflection(Viewport* viewport, const Mirror& mirror, const double origin[2],
                                 const double size[2]) {
  MDL_Camera* camera = viewport->camera;
  Scene* scene = camera->scene;
  const Vec3& q = mirror.point;
  const Vec3& n = mirror.normal;

  // A viewport without a colour of its own has nothing to paint over the
  // reflection beside the mirror: the reflection is kept to the mirror's
  // pixels (marked in the stencil, from the camera) as it is drawn.
  const bool painted = viewport->background[3] > 0;
  if (!painted) {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    drawMeshDepth(mirror.mesh);
    glStencilFunc(GL_EQUAL, 1, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  }

  RigidTransform& world = camera->getWorld();
  const RigidTransform saved = world;
  world.position = reflectPoint(saved.position, q, n);
  for (int a = 0; a < 3; ++a) world.basis.axis[a] = reflectDirection(saved.basis.axis[a], n);
  world.inverseStale = 1;

  setupViewport(camera, origin, size);
  setupLights(scene, nullptr);
  // Only what lies in front of the mirror is reflected.
  const GLdouble plane[4] = {n.x, n.y, n.z, -dot3(n, q)};
  glClipPlane(GL_CLIP_PLANE0, plane);
  glEnable(GL_CLIP_PLANE0);
  if (painted) glDisable(GL_STENCIL_TEST);
  // The reflection turns the winding of every triangle over.
  glFrontFace(GL_CW);
  drawOpaque(scene);
  drawTranslucent(camera);
  glFrontFace(GL_CCW);
  glDisable(GL_CLIP_PLANE0);
  glDisable(GL_STENCIL_TEST);

  world = saved;
  world.inverseStale = 1;
  setupViewport(camera, origin, size);
  setupLights(scene, nullptr);
  glDepthMask(GL_TRUE);
  glEnable(GL_SCISSOR_TEST);  // this viewport's depth (and marks) only
  glClear(painted ? GL_DEPTH_BUFFER_BIT : GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glDisable(GL_BLEND);
  drawMesh(mirror.mesh);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

  const double* background = viewport->background;
  if (background[3] > 0) {
    // Everywhere but on the mirror the reflection is painted over with the
    // background, just in front of the far plane.
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_COLOR_MATERIAL);
    glColor4d(background[0], background[1], background[2], background[3]);
    glDepthFunc(GL_LESS);
    drawViewportQuad(widen(kBackgroundDepth));
  }
}
