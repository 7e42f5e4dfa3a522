// Stencil shadows of the shadow lamp: the casters' volumes count, per
// pixel, how deep it lies in shadow; then marked pixels are darkened or
// drawn again without that lamp.
#include <GL/glew.h>

#include "model/viewport.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "model/shadow_volume.h"
#include "view/opengl.h"

namespace {

void drawTriangles(const PointArray& points) {
  if (points.count <= 0) return;
  glVertexPointer(3, GL_DOUBLE, 0, points.data);
  glDrawArrays(GL_TRIANGLES, 0, points.count);
}

// A caster must have a material that casts: one without casts nothing.
bool drawsVolume(MDL_Mesh* mesh) { return castsShadow(mesh) && mesh->material; }

}  // namespace

void VIEW_OpenGL::drawShadowVolumes(Scene* scene, bool depthFail) {
  glEnable(GL_CULL_FACE);
  glDisable(GL_NORMALIZE);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_STENCIL_TEST);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glStencilFunc(GL_ALWAYS, 1, ~0u);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);

  auto eachCaster = [&](auto&& draw) {
    for (int32_t i = 0; i < scene->meshes.count; ++i) {
      MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
      if (!drawsVolume(mesh)) continue;
      loadObjectMatrix(mesh);
      draw(*mesh);
    }
  };

  if (!depthFail) {
    glDepthFunc(GL_LEQUAL);
    glFrontFace(GL_CCW);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    eachCaster([](MDL_Mesh& m) { drawTriangles(m.shadowSides); });
    glFrontFace(GL_CW);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    eachCaster([](MDL_Mesh& m) { drawTriangles(m.shadowSides); });
    return;
  }
  glDepthFunc(GL_LESS);
  glStencilOp(GL_KEEP, GL_INCR, GL_KEEP);
  eachCaster([](MDL_Mesh& m) {
    glFrontFace(GL_CW);
    drawTriangles(m.shadowFrontCap);
    drawTriangles(m.shadowSides);
    glFrontFace(GL_CCW);
    drawTriangles(m.shadowBackCap);
  });
  glStencilOp(GL_KEEP, GL_DECR, GL_KEEP);
  eachCaster([](MDL_Mesh& m) {
    glFrontFace(GL_CCW);
    drawTriangles(m.shadowFrontCap);
    drawTriangles(m.shadowSides);
    glFrontFace(GL_CW);
    drawTriangles(m.shadowBackCap);
  });
}

void VIEW_OpenGL::drawShadows(Viewport* viewport, Scene* scene, MDL_Lamp* lamp, int32_t lightIndex,
                              const Mirror& mirror) {
  drawShadowVolumes(scene, lamp->shadowType == SHADOW_3D);
  glFrontFace(GL_CCW);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glEnable(GL_STENCIL_TEST);
  glStencilFunc(GL_NOTEQUAL, 0, ~0u);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  const double c = lamp->shadowCoeff;

  if (viewport->shadowMode == 0) {
    unmarkNonReceivers(viewport, scene, mirror);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    if (c < 1)
      glEnable(GL_BLEND);
    else
      glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_COLOR_MATERIAL);
    glColor4d(0, 0, 0, c);
    drawViewportQuad(0);
    return;
  }

  // Drawn again with the shadow lamp's diffuse part only, for the marked
  // pixels alone.
  const GLenum light = GL_LIGHT0 + lightIndex;
  GLfloat diffuse[4], specular[4];
  glGetLightfv(light, GL_DIFFUSE, diffuse);
  glGetLightfv(light, GL_SPECULAR, specular);
  const float k = static_cast<float>(1 - c);
  const GLfloat dimmed[4] = {k * diffuse[0], k * diffuse[1], k * diffuse[2], 1};
  const GLfloat black[4] = {0, 0, 0, 1};
  glLightfv(light, GL_DIFFUSE, dimmed);
  glLightfv(light, GL_SPECULAR, black);
  glDepthMask(GL_TRUE);
  drawOpaque(scene);
  if (mirror.mesh && mirror.mesh->material->diffuse.a > 0) {
    glEnable(GL_BLEND);
    drawMesh(mirror.mesh);
  }
  glLightfv(light, GL_DIFFUSE, diffuse);
  glLightfv(light, GL_SPECULAR, specular);
}

void VIEW_OpenGL::unmarkNonReceivers(Viewport* viewport, Scene* scene, const Mirror& mirror) {
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glDepthMask(GL_FALSE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glStencilFunc(GL_ALWAYS, 0, ~0u);
  glStencilOp(GL_KEEP, GL_KEEP, GL_ZERO);
  // Meshes that take no light receive no shadow, as when they are drawn
  // again without the lamp's share.
  drawNonReceiverDepth(scene);
  // Where nothing was drawn the depth is still the cleared one, or that of
  // the quad that painted the background back over the reflection: an open
  // volume that reaches past every receiver marks no shadow there.
  const bool painted = mirror.mesh && viewport->background[3] > 0;
  drawViewportQuad(painted ? widen(kBackgroundDepth) : 1.0);
  glStencilFunc(GL_NOTEQUAL, 0, ~0u);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}
