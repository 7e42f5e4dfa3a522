// The fixed-function OpenGL renderer. It draws into whatever context is
// current; VIEW_OpenGLWin32 owns a context and makes it current only between
// beginFrame and endFrame.
#pragma once

#include <cstdint>

#include "view/texture_cache.h"
#include "view/view_generic.h"

constexpr int32_t kGeometryClientArrays = 0;  // "NONE"
constexpr int32_t kGeometryBufferObjects = 1;  // "VBO"
constexpr int32_t kGeometryShaders = 2;        // "SHADER": named, never chosen

class VIEW_OpenGL : public VIEW_Generic {
 public:
  VIEW_OpenGL() = default;
  // Makes no OpenGL call: whoever owns the context deletes the buffer
  // objects (releaseBuffers) while it is current. Texture objects are the
  // window's to flush on close.
  ~VIEW_OpenGL() override = default;

  void setDefaultTextureFilter(int32_t filter) override;
  void resetTextureCache() override;
  void resetGlyphTextureCache() override;
  void detectGeometryPath() override;
  void releaseBuffers() override;
  void beginFrame(HDC dc, bool wireframe) override;
  void forgetTexture(ImageSource* source) override;
  void endFrame(HDC dc) override;
  bool readStencil(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  bool readPixels(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  bool readDepth(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  void clear(const double rgba[4]) override;
  const char* getGLVersion() override;
  const char* getGLRenderer() override;
  const char* getGLVendor() override;
  const char* getGeometryPathName() override;

  // Context binding; this class draws into the current context, so all three
  // succeed.
  virtual bool makeCurrent(HDC dc);
  virtual bool doneCurrent(HDC dc);
  virtual bool swapBuffers(HDC dc);

  // Deletes every cached texture object; the maps keep their bucket arrays.
  void flushTextureCache();
  void flushGlyphTextureCache();

  // 10 x major + minor from a GL_VERSION string ("2.1 Mesa" gives 21); 0 for
  // null or a string too short to hold both digits.
  static int32_t parseVersion(const char* version);

  double viewportWidth = 0, viewportHeight = 0;  // pixels, set per viewport
  double modelView[16] = {};                     // column-major
  double projection[16] = {};
  double clipMatrix[16] = {};  // projection x model-view
  GlyphTextureMap glyphTextures;
  ImageTextureMap imageTextures;
  const char* glVersion = nullptr;  // not owned; refreshed by every beginFrame
  const char* glVendor = nullptr;
  const char* glRenderer = nullptr;
  int32_t versionNumber = 0;
  int32_t maxTextureSize = 0;
  int32_t defaultFilter = 2;  // FILTER_LINEAR
  int32_t geometryPath = kGeometryClientArrays;
  uint8_t flushGlyphsRequested = 0;
  uint8_t flushImagesRequested = 0;

 private:
  // glReadPixels of the rectangle with the context made current; false when
  // it cannot be.
  bool readRectangle(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t format, uint32_t type,
                     void* pixels);
};
