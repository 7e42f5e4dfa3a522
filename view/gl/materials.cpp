// A material's colours, lighting, blending and texture layer.
#include <GL/glew.h>

#include <algorithm>

#include "model/image_source.h"
#include "model/material.h"
#include "view/gl/matrix.h"
#include "view/opengl.h"

namespace {

void setMaterial(GLenum name, const ColorRGBA& c) {
  const GLfloat v[4] = {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b),
                        static_cast<float>(c.a)};
  glMaterialfv(GL_FRONT_AND_BACK, name, v);
}

ColorRGBA tinted(const ColorRGBA& a, const ColorRGBA& b) { return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a}; }

// The layer's texture transform, and for overlays and video frames first
// the map of 0..1 onto the part of the texture the image fills (a frame
// sits in the corner of its texture, which content cannot know).
void loadTextureMatrix(const MaterialLayer& layer, const ImageTexture* texture, bool overlay) {
  glMatrixMode(GL_TEXTURE);
  double m[16];
  glm4::identity(m);
  if (texture) {
    glm4::fromTransform(m, layer.textureTransform);
    if (overlay || (layer.image && layer.image->rawPixels)) {
      double used[16];
      glm4::identity(used);
      used[0] = texture->s1 - texture->s0;
      used[5] = texture->t1 - texture->t0;
      used[12] = texture->s0;
      used[13] = texture->t0;
      glm4::multiply(m, used, m);
    }
  }
  glLoadMatrixd(m);
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

bool VIEW_OpenGL::applyMaterial(Material* material, int32_t layerIndex, bool overlay, bool forceBlend) {
  if (!material) {
    if (overlay) {
      glDisable(GL_LIGHTING);
      glColor4d(1, 1, 1, 1);
    } else {
      glEnable(GL_LIGHTING);
      setMaterial(GL_SPECULAR, {1, 1, 1, 1});
      setMaterial(GL_DIFFUSE, {1, 1, 1, 1});
      setMaterial(GL_AMBIENT, {0.5, 0.5, 0.5, 1});
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    }
    glDisable(GL_TEXTURE_2D);
    if (forceBlend)
      glEnable(GL_BLEND);
    else
      glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    return false;
  }

  const MaterialLayer* layer =
      layerIndex >= 0 && layerIndex < material->layers.count ? &material->layers[layerIndex] : nullptr;
  ImageTexture* texture = nullptr;
  bool blendedAlpha = false;
  glDisable(GL_ALPHA_TEST);
  if (layer) {
    ImageSource* image = layer->image;
    texture = image ? getTexture(image) : nullptr;
    loadTextureMatrix(*layer, texture, overlay);
    if (image && image->hasAlpha) {
      if (image->binaryAlpha) {
        if (texture) glEnable(GL_ALPHA_TEST);
      } else {
        blendedAlpha = true;
      }
    }
  }

  const ColorRGBA diffuse = layer ? tinted(material->diffuse, layer->color) : material->diffuse;
  if (material->shadeless || overlay) {
    glDisable(GL_LIGHTING);
    glColor4d(diffuse.r, diffuse.g, diffuse.b, diffuse.a);
  } else {
    glEnable(GL_LIGHTING);
    setMaterial(GL_DIFFUSE, diffuse);
    setMaterial(GL_AMBIENT, material->ambient);
    setMaterial(GL_SPECULAR, material->specular);
    const double shininess = std::min(material->shininess * 1.2000000476837158, 128.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, static_cast<float>(shininess));
  }

  const bool translucent = diffuse.a < 1 || blendedAlpha;
  if (translucent || forceBlend)
    glEnable(GL_BLEND);
  else
    glDisable(GL_BLEND);
  if (texture)
    glEnable(GL_TEXTURE_2D);
  else
    glDisable(GL_TEXTURE_2D);
  return texture != nullptr;
}
