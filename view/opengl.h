// The fixed-function OpenGL renderer. It draws into whatever context is
// current; VIEW_OpenGLWin32 owns a context and makes it current only between
// beginFrame and endFrame.
#pragma once

#include <cstdint>

#include "model/vec3.h"
#include "view/gl/bsp.h"
#include "view/gl/glyph_batch.h"
#include "view/gl/translucent_source.h"
#include "view/texture_cache.h"
#include "view/view_generic.h"

class MDL_Camera;
class MDL_Image;
class MDL_Lamp;
class MDL_Mesh;
class MDL_Polyline;
class MDL_Text;
class Material;
class Scene;
struct ColorRGBA;

constexpr int32_t kGeometryClientArrays = 0;   // "NONE"
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
  void forgetMeshData(const MeshData* data) override;
  void endFrame(HDC dc) override;
  bool readStencil(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  bool readPixels(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  bool readDepth(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, PixelImage* out) override;
  void clear(const double rgba[4]) override;
  void renderViewport(Viewport* viewport, const double origin[2], const double size[2], FontRecord* font) override;
  void drawCaption(const double origin[2], const double size[2], const char* text, FontRecord* font, double textSize,
                   double alpha) override;
  void drawLoadingScreen(const double origin[2], const double size[2], const char* text, FontRecord* font,
                         MDL_Object* logo) override;
  void drawMessage(const double origin[2], const double size[2], const char* text, FontRecord* font) override;
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
  // Glyphs and kerning pairs (each kept per size) that no frame asked for
  // in the last kGlyphKeepFrames frames are dropped, looked for once every
  // kGlyphKeepFrames frames as a frame begins: a text whose size changes
  // every frame cannot fill the caches. glyphs.cpp
  static constexpr uint32_t kGlyphKeepFrames = 64;
  void dropUnusedGlyphs();

  // 10 x major + minor from a GL_VERSION string ("2.1 Mesa" gives 21); 0 for
  // null or a string too short to hold both digits.
  static int32_t parseVersion(const char* version);

  // ---- The viewport pass and what it is made of; each lives in its own
  // file under view/gl/.
  // The plane a mirror mesh reflects in (world space).
  struct Mirror {
    MDL_Mesh* mesh = nullptr;
    Vec3 point, normal;  // normal of unit length
  };
  // The viewport's whole pixels (x, y, width, height): the corner truncated,
  // the size rounded. False for a viewport under a pixel, or one whose
  // numbers are not finite or lie past any window. viewport.cpp
  static bool viewportPixels(const double origin[2], const double size[2], int32_t rect[4]);
  // Viewport, scissor and both matrices; without a camera the overlay
  // projection (pixels from the top left, depth 0). Sets nothing for a
  // viewport viewportPixels refuses.
  void setupViewport(MDL_Camera* camera, const double origin[2], const double size[2]);
  // Up to eight of the scene's lamps; answers the shadow lamp (or null) and
  // its light number. lights.cpp
  MDL_Lamp* setupLights(Scene* scene, int32_t* lightIndex);
  // Colours, lighting, blending and the layer's texture; true when
  // texturing is on. materials.cpp
  bool applyMaterial(Material* material, int32_t layer, bool overlay, bool forceBlend);
  // The mesh's matrix (or its sprite matrix) after the view. meshes.cpp
  void objectMatrix(MDL_Mesh* mesh, double out[16]);
  void loadObjectMatrix(MDL_Mesh* mesh);
  void drawMesh(MDL_Mesh* mesh);
  // Positions only, for the depth buffer.
  void drawMeshDepth(MDL_Mesh* mesh);
  // Buffer objects of the scene's meshes, uploaded or dropped as their data
  // changed. buffers.cpp
  void uploadBuffers(Scene* scene);
  // Opaque meshes, then the depth of invisible ones; the viewport's mirror
  // is left out. opaque.cpp
  void drawOpaque(Scene* scene);
  // The positions of what the opaque pass and the mirror showed that takes
  // no light, and so receives no shadow.
  void drawNonReceiverDepth(Scene* scene);
  // The last visible mirror of the scene that can give a plane. mirror.cpp
  Mirror chooseMirror(Scene* scene);
  // The reflection seen in the mirror, left in the colour buffer with the
  // depth of the mirror itself.
  void drawReflection(Viewport* viewport, const Mirror& mirror, const double origin[2], const double size[2]);
  // Stencil shadow volumes of the scene's casters. shadows.cpp
  void drawShadowVolumes(Scene* scene, bool depthFail);
  // Darkens (mode 0) or relights (other modes) what the volumes marked.
  void drawShadows(Viewport* viewport, Scene* scene, MDL_Lamp* lamp, int32_t lightIndex, const Mirror& mirror);
  // Takes the pixels that show no receiver out of the volumes' marks: the
  // background and meshes that take no light.
  void unmarkNonReceivers(Viewport* viewport, Scene* scene, const Mirror& mirror);
  // A quad over the whole viewport at a depth, with identity matrices;
  // the camera's matrices are loaded again afterwards. viewport.cpp
  void drawViewportQuad(double depth);
  // The depth of the quad that paints the background back over a mirror's
  // reflection, just in front of the far plane.
  static constexpr float kBackgroundDepth = 0.99995f;
  void reloadMatrices();

  // ---- Passes and caches built with the translucent, overlay and texture
  // code; each has its own file under view/gl/.
  // Translucent triangles of the camera's scene, far to near from the eye.
  // translucent.cpp, with the tree in bsp.cpp
  void drawTranslucent(MDL_Camera* camera);
  // The streams the last walk filled, drawn in runs of one material.
  void drawTranslucentStreams();
  // ---- The 2-D overlays, in pixels from the viewport's top left, one unit
  // of an object's placement being the viewport's width. overlays.cpp
  // The overlay projection and the flat, blended state every overlay
  // expects.
  void setupOverlayState(const double origin[2], const double size[2]);
  // The scene's visible texts, images and polylines in overlay-list order
  // (ascending z after the viewport's sort): of equal z, the later covers.
  void drawOverlays(Scene* scene, FontRecord* font);
  void drawText(MDL_Text* text);
  void drawImage(MDL_Image* image);
  void drawPolyline(MDL_Polyline* polyline);
  // A one-off text at (x, y) in overlay units, upright and unscaled.
  void drawTextAt(const double position[2], FontRecord* font, const char* text, const ColorRGBA& color, double size);
  // The glyph's texture at the face's current size, bound when it has one
  // (a space has none); null for a font without a usable face. glyphs.cpp
  GlyphTexture* getGlyphTexture(FontRecord* font, uint32_t code);
  // The kerning of two glyph indices at the face's current size; zero for
  // a face without kerning. Kept with the glyphs.
  KerningDelta getKerning(FontRecord* font, uint32_t left, uint32_t right);
  // The texture of an image source, bound; null when it has none.
  ImageTexture* getTexture(ImageSource* source);
  // The same for a video frame: uploaded as it is, replaced when changed.
  ImageTexture* getFrameTexture(ImageSource* frame);
  // A source's filter code as applied: 0 takes the default, and anything
  // outside nearest..mipmap is linear (no filter would leave it incomplete).
  int32_t resolveFilter(int32_t filter) const;

  // The mirror of the viewport being drawn (null: none).
  MDL_Mesh* mirrorMesh = nullptr;

  double viewportWidth = 0, viewportHeight = 0;  // pixels, set per viewport
  double modelView[16] = {};                     // column-major
  double projection[16] = {};
  double clipMatrix[16] = {};             // projection x model-view
  BspTree bsp;                            // rebuilt every translucent pass
  TranslucentSource translucentSource;    // what the pass handed the tree
  TranslucentStreams translucentStreams;  // filled by its walk
  GlyphBatch glyphBatch;                  // the quads of the text being drawn
  GlyphTextureMap glyphTextures;
  KerningMap kerningPairs;
  ImageTextureMap imageTextures;
  const char* glVersion = nullptr;  // not owned; refreshed by every beginFrame
  const char* glVendor = nullptr;
  const char* glRenderer = nullptr;
  int32_t versionNumber = 0;
  int32_t maxTextureSize = 0;
  int32_t defaultFilter = 2;  // FILTER_LINEAR
  int32_t geometryPath = kGeometryClientArrays;
  uint32_t frameNumber = 0;  // counts beginFrame calls
  uint8_t flushGlyphsRequested = 0;
  uint8_t flushImagesRequested = 0;

 private:
  // glReadPixels of the rectangle with the context made current; false when
  // it cannot be.
  bool readRectangle(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t format, uint32_t type,
                     void* pixels);
};
