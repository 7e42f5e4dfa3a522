#include "view/view_generic.h"

VIEW_Generic::~VIEW_Generic() {
  // Records still here belong to a renderer without a context to delete
  // their buffer objects in; free the records at least.
  meshBuffers.drain([](MeshBuffers*& buffers) { delete buffers; });
}

void VIEW_Generic::setDefaultTextureFilter(int32_t) {}
void VIEW_Generic::resetTextureCache() {}
void VIEW_Generic::resetGlyphTextureCache() {}
void VIEW_Generic::detectGeometryPath() {}
void VIEW_Generic::releaseBuffers() {}
void VIEW_Generic::beginFrame(HDC, bool) {}
void VIEW_Generic::forgetTexture(ImageSource*) {}
void VIEW_Generic::forgetMeshData(const MeshData* data) {
  if (MeshBuffers** buffers = meshBuffers.find(data)) {
    delete *buffers;
    meshBuffers.remove(data);
  }
}
void VIEW_Generic::endFrame(HDC) {}
bool VIEW_Generic::readStencil(HDC, int32_t, int32_t, int32_t, int32_t, PixelImage*) { return true; }
bool VIEW_Generic::readPixels(HDC, int32_t, int32_t, int32_t, int32_t, PixelImage*) { return true; }
bool VIEW_Generic::readDepth(HDC, int32_t, int32_t, int32_t, int32_t, PixelImage*) { return true; }
void VIEW_Generic::clear(const double*) {}
void VIEW_Generic::renderViewport(Viewport*, const double*, const double*, FontRecord*) {}
void VIEW_Generic::drawCaption(const double*, const double*, const char*, FontRecord*, double, double) {}
void VIEW_Generic::drawLoadingScreen(const double*, const double*, const char*, FontRecord*, MDL_Object*) {}
void VIEW_Generic::drawMessage(const double*, const double*, const char*, FontRecord*) {}
const char* VIEW_Generic::getGLVersion() { return nullptr; }
const char* VIEW_Generic::getGLRenderer() { return nullptr; }
const char* VIEW_Generic::getGLVendor() { return nullptr; }
const char* VIEW_Generic::getGeometryPathName() { return nullptr; }
