// One viewport's picture: the order of the passes, and the viewport and
// projection they share.
#include <GL/glew.h>

#include <cmath>

#include "core/assert.h"
#include "model/camera.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "model/viewport.h"
#include "view/gl/matrix.h"
#include "view/opengl.h"

namespace {

// No window reaches this far, and within it GL's integer rectangles (corner
// plus size included) cannot overflow.
constexpr double kMaxViewportPixels = 1 << 24;

}  // namespace

bool VIEW_OpenGL::viewportPixels(const double origin[2], const double size[2], int32_t rect[4]) {
  VS_ASSERT(origin && size);
  for (int k = 0; k < 2; ++k) {
    const double extent = std::floor(size[k] + 0.5);
    // Written so that NaN fails too.
    if (!(std::fabs(origin[k]) <= kMaxViewportPixels) || !(extent >= 1 && extent <= kMaxViewportPixels))
      return false;
    rect[k] = static_cast<int32_t>(origin[k]);
    rect[2 + k] = static_cast<int32_t>(extent);
  }
  return true;
}

void VIEW_OpenGL::setupViewport(MDL_Camera* camera, const double origin[2], const double size[2]) {
  int32_t rect[4];
  if (!viewportPixels(origin, size, rect)) return;
  const GLint x0 = rect[0], y0 = rect[1];
  const GLsizei w = rect[2], h = rect[3];
  glViewport(x0, y0, w, h);
  glScissor(x0, y0, w, h);
  viewportWidth = w;
  viewportHeight = h;

  for (double& e : projection) e = 0;
  if (camera) {
    const double c = camera->invTanHalfAngle;
    const double n = camera->clipStart, f = camera->clipEnd;
    projection[0] = c;
    projection[5] = size[0] / size[1] * c;
    projection[10] = (f + n) / (n - f);
    projection[11] = -1;
    projection[14] = 2 * f * n / (n - f);
    double world[16];
    glm4::fromTransform(world, camera->getWorld());
    glm4::invert(modelView, world);
  } else {
    projection[0] = 2 / size[0];
    projection[5] = -2 / size[1];
    projection[12] = -1;
    projection[13] = 1;
    projection[15] = 1;
    glm4::identity(modelView);
  }
  reloadMatrices();
  glm4::multiply(clipMatrix, projection, modelView);
}

void VIEW_OpenGL::reloadMatrices() {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixd(projection);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixd(modelView);
}

void VIEW_OpenGL::drawViewportQuad(double depth) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const float z = static_cast<float>(depth);
  // Counter-clockwise, so that culling keeps it.
  const GLfloat quad[6][3] = {{-1, -1, z}, {1, -1, z}, {1, 1, z}, {-1, -1, z}, {1, 1, z}, {-1, 1, z}};
  glVertexPointer(3, GL_FLOAT, 0, quad);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  reloadMatrices();
}

void VIEW_OpenGL::renderViewport(Viewport* viewport, const double origin[2], const double size[2], FontRecord* font) {
  VS_ASSERT(viewport);
  if (!viewport->camera) return;
  MDL_Camera* camera = viewport->camera;
  Scene* scene = camera->scene;
  if (!scene) return;
  // Nothing can be seen through less than a pixel, a rectangle no window
  // holds, or an empty depth range (the projection would divide by zero).
  int32_t rect[4];
  if (!viewportPixels(origin, size, rect)) return;
  if (camera->clipStart == camera->clipEnd) return;

  scene->sortOverlays();
  uploadBuffers(scene);
  const Mirror mirror = chooseMirror(scene);
  mirrorMesh = mirror.mesh;

  setupViewport(camera, origin, size);
  int32_t lightIndex = 0;
  MDL_Lamp* shadowLamp = setupLights(scene, &lightIndex);

  const double* background = viewport->background;
  glEnable(GL_SCISSOR_TEST);
  glClearStencil(0);
  glDepthMask(GL_TRUE);
  if (background[3] > 0) {
    glClearColor(static_cast<float>(background[0]), static_cast<float>(background[1]),
                 static_cast<float>(background[2]), static_cast<float>(background[3]));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  } else {
    glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);

  if (mirror.mesh) drawReflection(viewport, mirror, origin, size);

  glDisable(GL_STENCIL_TEST);
  drawOpaque(scene);
  if (mirror.mesh && mirror.mesh->material->diffuse.a > 0) {
    glEnable(GL_BLEND);
    drawMesh(mirror.mesh);
  }

  if (shadowLamp) drawShadows(viewport, scene, shadowLamp, lightIndex, mirror);

  glDisable(GL_STENCIL_TEST);
  drawTranslucent(camera);

  setupOverlayState(origin, size);
  drawOverlays(scene, font);
  mirrorMesh = nullptr;
}
