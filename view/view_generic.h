// The renderer interface the controller draws through. Every operation has
// an empty default, so a player without graphics runs the content unchanged.
#pragma once

#include <cstdint>

#include "model/hash_map.h"
#include "platform/win32.h"

struct FontRecord;
struct ImageSource;
struct MeshData;
struct PixelImage;
struct Viewport;
class MDL_Object;

// The OpenGL buffer objects holding one mesh's shared data.
struct MeshBuffers {
  uint32_t vertexBuffer;  // GL_ARRAY_BUFFER
  uint32_t indexBuffer;   // GL_ELEMENT_ARRAY_BUFFER
};

class VIEW_Generic {
 public:
  VIEW_Generic() = default;
  virtual ~VIEW_Generic();
  VIEW_Generic(const VIEW_Generic&) = delete;
  VIEW_Generic& operator=(const VIEW_Generic&) = delete;

  virtual void setDefaultTextureFilter(int32_t filter);
  virtual void resetTextureCache();
  virtual void resetGlyphTextureCache();
  virtual void detectGeometryPath();
  virtual void releaseBuffers();
  virtual void beginFrame(HDC dc, bool wireframe);
  virtual void forgetTexture(ImageSource* source);
  // Drops the buffers kept for this geometry (before its memory goes).
  virtual void forgetMeshData(const MeshData* data);
  virtual void endFrame(HDC dc);
  // Read-backs of a window rectangle into *out (owned pixels, bottom row
  // first). The defaults read nothing and report success.
  virtual bool readStencil(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out);
  virtual bool readPixels(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out);
  virtual bool readDepth(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out);
  virtual void clear(const double rgba[4]);
  // Origins and sizes are pixels of the letter-boxed content rectangle.
  virtual void renderViewport(Viewport* viewport, const double origin[2], const double size[2], FontRecord* font);
  virtual void drawCaption(const double origin[2], const double size[2], const char* text, FontRecord* font,
                           double textSize, double alpha);
  virtual void drawLoadingScreen(const double origin[2], const double size[2], const char* text, FontRecord* font,
                                 MDL_Object* logo);
  virtual void drawMessage(const double origin[2], const double size[2], const char* text, FontRecord* font);
  virtual const char* getGLVersion();
  virtual const char* getGLRenderer();
  virtual const char* getGLVendor();
  virtual const char* getGeometryPathName();

  // Buffer objects per shared mesh data, filled by the viewport pass.
  HashMap<const MeshData*, MeshBuffers*> meshBuffers;
};
