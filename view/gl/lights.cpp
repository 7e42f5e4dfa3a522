// The scene's lamps as the pipeline's eight lights.
#include <GL/glew.h>

#include "core/assert.h"
#include "model/lamp.h"
#include "model/scene.h"
#include "model/shadow_volume.h"
#include "view/opengl.h"

namespace {

void setLight(GLenum light, GLenum name, double a, double b, double c, double d) {
  const GLfloat v[4] = {static_cast<float>(a), static_cast<float>(b), static_cast<float>(c), static_cast<float>(d)};
  glLightfv(light, name, v);
}

void setLight(GLenum light, GLenum name, const Vec3& v, double w) { setLight(light, name, v.x, v.y, v.z, w); }

// Each light starts from the pipeline's own defaults, so that nothing a
// lamp does not set is left over from the lamp that had the light before.
void resetLight(GLenum light) {
  setLight(light, GL_POSITION, 0, 0, 1, 0);
  setLight(light, GL_SPOT_DIRECTION, 0, 0, -1, 0);
  glLightf(light, GL_SPOT_CUTOFF, 180.0f);
  glLightf(light, GL_SPOT_EXPONENT, 0.0f);
  glLightf(light, GL_CONSTANT_ATTENUATION, 1.0f);
  glLightf(light, GL_LINEAR_ATTENUATION, 0.0f);
  glLightf(light, GL_QUADRATIC_ATTENUATION, 0.0f);
}

// quad1 over the distance and quad2 over its square; a distance that is not
// positive sets none.
void setAttenuation(GLenum light, const MDL_Lamp& lamp) {
  glLightf(light, GL_CONSTANT_ATTENUATION, 1.0f);
  if (!(lamp.distance > 0)) return;
  glLightf(light, GL_LINEAR_ATTENUATION, static_cast<float>(lamp.quad1 / lamp.distance));
  glLightf(light, GL_QUADRATIC_ATTENUATION, static_cast<float>(lamp.quad2 / (lamp.distance * lamp.distance)));
}

}  // namespace

MDL_Lamp* VIEW_OpenGL::setupLights(Scene* scene, int32_t* lightIndex) {
  for (int i = 0; i < kMaxLights; ++i) glDisable(GL_LIGHT0 + i);
  const GLfloat none[4] = {0, 0, 0, 0};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  VS_ASSERT(scene);

  int32_t used = 0;
  for (int32_t i = 0; i < scene->lamps.count && used < kMaxLights; ++i) {
    MDL_Lamp* lamp = listItem<MDL_Lamp>(scene->lamps, i);
    VS_ASSERT(lamp);
    if (!lamp->on) continue;
    const GLenum light = GL_LIGHT0 + used++;
    glEnable(light);
    resetLight(light);
    const RigidTransform& world = lamp->getWorld();
    switch (lamp->kind) {
      case LAMP_LAMP:
        setLight(light, GL_POSITION, world.position, 1);
        setAttenuation(light, *lamp);
        break;
      case LAMP_SUN:
        setLight(light, GL_POSITION, world.basis.Z(), 0);
        break;
      case LAMP_SPOT: {
        setLight(light, GL_POSITION, world.position, 1);
        setLight(light, GL_SPOT_DIRECTION, -world.basis.Z(), 0);
        // The pipeline refuses a cone outside 0..90 degrees (180 is "no cone").
        double cutoff = lamp->spotSize;
        if (!(cutoff >= 0)) cutoff = 0;
        if (cutoff > 90) cutoff = 90;
        glLightf(light, GL_SPOT_CUTOFF, static_cast<float>(cutoff));
        glLightf(light, GL_SPOT_EXPONENT, static_cast<float>(lamp->spotExponent));
        setAttenuation(light, *lamp);
        break;
      }
      default:
        break;
    }
    const double e = lamp->energy;
    const ColorRGBA& c = lamp->color;
    if (lamp->noDiffuse)
      setLight(light, GL_DIFFUSE, 0, 0, 0, 1);
    else
      setLight(light, GL_DIFFUSE, c.r * e, c.g * e, c.b * e, 1);
    if (lamp->noSpecular)
      setLight(light, GL_SPECULAR, 0, 0, 0, 1);
    else
      setLight(light, GL_SPECULAR, c.r * e, c.g * e, c.b * e, 1);
    const ColorRGBA& a = lamp->ambientColor;
    setLight(light, GL_AMBIENT, a.r, a.g, a.b, a.a);
  }
  return findShadowLamp(*scene, lightIndex);
}
