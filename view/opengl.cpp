#include "view/opengl.h"

#include <GL/glew.h>

#include <cstring>
#include <vector>

#include "core/assert.h"
#include "model/image_source.h"
#include "view/pixel_image.h"

namespace {

const char kVertexBufferExtension[] = "GL_ARB_vertex_buffer_object";

// The extension string is split at single spaces and each token compared whole.
bool hasExtension(const char* extensions, const char* name) {
  if (!extensions) return false;
  const size_t length = strlen(name);
  for (const char* p = extensions;;) {
    const char* space = strchr(p, ' ');
    const size_t token = space ? static_cast<size_t>(space - p) : strlen(p);
    if (token == length && memcmp(p, name, length) == 0) return true;
    if (!space) return false;
    p = space + 1;
  }
}

const char* glText(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

}  // namespace

int32_t VIEW_OpenGL::parseVersion(const char* version) {
  if (!version || !version[0] || !version[1] || !version[2]) return 0;
  return 10 * (version[0] - '0') + (version[2] - '0');
}

void VIEW_OpenGL::setDefaultTextureFilter(int32_t filter) {
  defaultFilter = filter;
  resetTextureCache();
}

void VIEW_OpenGL::resetTextureCache() { flushImagesRequested = 1; }
void VIEW_OpenGL::resetGlyphTextureCache() { flushGlyphsRequested = 1; }

void VIEW_OpenGL::detectGeometryPath() {
  glewExperimental = GL_TRUE;
  const bool glewReady = glewInit() == GLEW_OK;
  // Buffer objects only when GLEW actually gave us their entry points.
  const bool entryPoints =
      glewReady && glGenBuffers && glBindBuffer && glBufferData && glBufferSubData && glDeleteBuffers;
  if (entryPoints && hasExtension(glText(GL_EXTENSIONS), kVertexBufferExtension)) {
    geometryPath = kGeometryBufferObjects;
  }
}

void VIEW_OpenGL::releaseBuffers() {
  if (geometryPath != kGeometryBufferObjects) return;
  meshBuffers.drain([](MeshBuffers*& buffers) {
    if (!buffers) return;
    glDeleteBuffers(1, &buffers->indexBuffer);
    glDeleteBuffers(1, &buffers->vertexBuffer);
    delete buffers;
  });
  meshBuffers.clear();
}

void VIEW_OpenGL::beginFrame(HDC dc, bool wireframe) {
  if (!makeCurrent(dc)) return;
  glVersion = glText(GL_VERSION);
  glVendor = glText(GL_VENDOR);
  glRenderer = glText(GL_RENDERER);
  versionNumber = parseVersion(glVersion);
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  maxTextureSize = size;

  if (flushGlyphsRequested) {
    flushGlyphsRequested = 0;
    flushGlyphTextureCache();
  }
  if (flushImagesRequested) {
    flushImagesRequested = 0;
    flushTextureCache();
  }
  ++frameNumber;
  dropUnusedGlyphs();

  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnableClientState(GL_VERTEX_ARRAY);
  glAlphaFunc(GL_EQUAL, 1.0f);
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  if (versionNumber >= 12) glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
  glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
  glClearDepth(1.0);
}

void VIEW_OpenGL::forgetTexture(ImageSource* source) {
  if (!source) return;
  ImageTexture* texture = imageTextures.find(source->id);
  if (!texture) return;
  glDeleteTextures(1, &texture->texture);
  imageTextures.remove(source->id);
}

void VIEW_OpenGL::endFrame(HDC dc) {
  swapBuffers(dc);
  doneCurrent(dc);
}

bool VIEW_OpenGL::readRectangle(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t format,
                                uint32_t type, void* pixels) {
  if (!makeCurrent(dc)) return false;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, format, type, pixels);
  doneCurrent(dc);
  return true;
}

// The buffers start zeroed, so whatever OpenGL leaves unwritten reads as 0.
bool VIEW_OpenGL::readPixels(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) {
  VS_ASSERT(out);
  if (!out->allocate(width, height, 3)) return false;
  if (readRectangle(dc, x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, out->pixels)) return true;
  out->release();
  return false;
}

bool VIEW_OpenGL::readStencil(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) {
  VS_ASSERT(out);
  if (!out->allocate(width, height, 1)) return false;
  if (!readRectangle(dc, x, y, width, height, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, out->pixels)) {
    out->release();
    return false;
  }
  // Stretch the values used over 0..255 so that a few stencil levels show.
  const size_t n = size_t(width) * size_t(height);
  uint8_t lo = 255, hi = 0;
  for (size_t i = 0; i < n; ++i) {
    if (out->pixels[i] < lo) lo = out->pixels[i];
    if (out->pixels[i] > hi) hi = out->pixels[i];
  }
  if (lo != hi) {
    for (size_t i = 0; i < n; ++i) out->pixels[i] = static_cast<uint8_t>((out->pixels[i] - lo) * 255 / (hi - lo));
  }
  return true;
}

bool VIEW_OpenGL::readDepth(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) {
  VS_ASSERT(out);
  if (!out->allocate(width, height, 1)) return false;
  const size_t n = size_t(width) * size_t(height);
  std::vector<GLuint> depth(n);
  if (!readRectangle(dc, x, y, width, height, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, depth.data())) {
    out->release();
    return false;
  }
  GLuint lo = 0xFFFFFFFFu, hi = 0;
  for (GLuint v : depth) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  uint32_t step = (hi - lo) / 255;
  if (step == 0) step = 1;
  // Integer steps can overshoot 255 by a little: clamp rather than wrap.
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = (depth[i] - lo) / step;
    out->pixels[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
  }
  return true;
}

void VIEW_OpenGL::clear(const double rgba[4]) {
  glDisable(GL_SCISSOR_TEST);
  VS_ASSERT(rgba);
  if (!(rgba[3] > 0)) return;
  glClearColor(static_cast<float>(rgba[0]), static_cast<float>(rgba[1]), static_cast<float>(rgba[2]),
               static_cast<float>(rgba[3]));
  glClear(GL_COLOR_BUFFER_BIT);
}

const char* VIEW_OpenGL::getGLVersion() { return glVersion; }
const char* VIEW_OpenGL::getGLRenderer() { return glRenderer; }
const char* VIEW_OpenGL::getGLVendor() { return glVendor; }

const char* VIEW_OpenGL::getGeometryPathName() {
  switch (geometryPath) {
    case kGeometryBufferObjects:
      return "VBO";
    case kGeometryShaders:
      return "SHADER";
    default:
      return "NONE";
  }
}

bool VIEW_OpenGL::makeCurrent(HDC) { return true; }
bool VIEW_OpenGL::doneCurrent(HDC) { return true; }
bool VIEW_OpenGL::swapBuffers(HDC) { return true; }

void VIEW_OpenGL::flushTextureCache() {
  imageTextures.drain([](ImageTexture& t) {
    if (t.texture) glDeleteTextures(1, &t.texture);
  });
}

void VIEW_OpenGL::flushGlyphTextureCache() {
  glyphTextures.drain([](GlyphTexture& t) {
    if (t.texture) glDeleteTextures(1, &t.texture);
  });
  kerningPairs.drain([](KerningEntry&) {});
}
