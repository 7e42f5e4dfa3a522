#include "view/opengl_win32.h"

#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>

#include "model/image_source.h"
#include "platform/testing.h"
#include "tests/view/render_scene.h"
#include "view/pixel_image.h"

namespace {

// A hidden 64 x 48 window with the renderer on its device context.
class Renderer : public rendertest::Frame {
 protected:
  // The pixel at (x, y) of the back buffer, read through the renderer.
  std::vector<int> pixel(int x, int y) {
    PixelImage image;
    EXPECT_TRUE(view->readPixels(dc, x, y, 1, 1, &image));
    if (!image.pixels) return {};
    return {image.pixels[0], image.pixels[1], image.pixels[2]};
  }
};

}  // namespace

TEST_F(Renderer, ConstructionChoosesBufferObjectsAndLeavesNoContextCurrent) {
  EXPECT_EQ(view->geometryPath, kGeometryBufferObjects);  // Mesa offers the extension
  EXPECT_STREQ(view->getGeometryPathName(), "VBO");
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  EXPECT_EQ(view->getGLVersion(), nullptr);  // read by the first frame
  EXPECT_EQ(view->defaultFilter, 2);
}

TEST_F(Renderer, FrameMakesTheContextCurrentAndSetsTheSharedState) {
  for (bool wireframe : {false, true}) {
    view->beginFrame(dc, wireframe);
    ASSERT_NE(SDL_GL_GetCurrentContext(), nullptr);
    ASSERT_NE(view->getGLVersion(), nullptr);
    EXPECT_EQ(view->versionNumber, VIEW_OpenGL::parseVersion(view->getGLVersion()));
    EXPECT_GE(view->versionNumber, 12);
    EXPECT_NE(view->getGLRenderer(), nullptr);
    EXPECT_NE(view->getGLVendor(), nullptr);
    EXPECT_GT(view->maxTextureSize, 0);
    GLint v = 0, modes[2] = {};
    glGetIntegerv(GL_BLEND_SRC, &v);
    EXPECT_EQ(v, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &v);
    EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &v);
    EXPECT_EQ(v, GL_EQUAL);
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], wireframe ? GL_LINE : GL_FILL);
    glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &v);
    EXPECT_EQ(v, GL_SEPARATE_SPECULAR_COLOR);
    glGetIntegerv(GL_LIGHT_MODEL_TWO_SIDE, &v);
    EXPECT_EQ(v, 1);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &v);
    EXPECT_EQ(v, GL_DIFFUSE);
    view->endFrame(dc);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  }
}

TEST_F(Renderer, ClearWithZeroAlphaKeepsThePixels) {
  view->beginFrame(dc, false);
  const double red[4] = {1, 0, 0, 1}, none[4] = {0, 1, 0, 0}, blue[4] = {0, 0, 1, 0.5};
  view->clear(red);
  EXPECT_EQ(pixel(3, 3), (std::vector<int>{255, 0, 0}));
  view->beginFrame(dc, false);  // the read-back let go of the context
  view->clear(none);
  EXPECT_EQ(pixel(3, 3), (std::vector<int>{255, 0, 0}));
  view->beginFrame(dc, false);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 1, 1);
  view->clear(blue);  // the scissor is switched off first: the whole window
  EXPECT_EQ(pixel(width - 1, height - 1), (std::vector<int>{0, 0, 255}));
}

TEST_F(Renderer, StencilReadBackStretchesOnlyWhenValuesDiffer) {
  view->beginFrame(dc, false);
  glClearStencil(5);
  glClear(GL_STENCIL_BUFFER_BIT);
  PixelImage image;
  ASSERT_TRUE(view->readStencil(dc, 0, 0, 4, 2, &image));
  ASSERT_EQ(image.channels, 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image.pixels[i], 5) << i;  // uniform: raw values

  view->beginFrame(dc, false);
  glClearStencil(200);  // read as unsigned bytes: no sign to lose
  glClear(GL_STENCIL_BUFFER_BIT);
  ASSERT_TRUE(view->readStencil(dc, 0, 0, 4, 2, &image));
  EXPECT_EQ(image.pixels[0], 200);

  view->beginFrame(dc, false);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 2, 2);
  glClearStencil(3);
  glClear(GL_STENCIL_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  ASSERT_TRUE(view->readStencil(dc, 0, 0, 4, 2, &image));
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.pixels[0], 0);    // 3: the minimum
  EXPECT_EQ(image.pixels[3], 255);  // 5: the maximum
}

TEST_F(Renderer, DepthReadBackSpreadsOverTheBytes) {
  view->beginFrame(dc, false);
  glClearDepth(1.0);
  glClear(GL_DEPTH_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 1, 1);
  glClearDepth(0.0);
  glClear(GL_DEPTH_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  PixelImage image;
  ASSERT_TRUE(view->readDepth(dc, 0, 0, 2, 1, &image));
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(image.pixels[1], 255);
}

TEST_F(Renderer, EmptyReadBacksFail) {
  PixelImage image;
  for (auto size : {std::pair<int, int>{0, 5}, {5, 0}, {-1, -1}}) {
    EXPECT_FALSE(view->readPixels(dc, 0, 0, size.first, size.second, &image));
    EXPECT_FALSE(view->readStencil(dc, 0, 0, size.first, size.second, &image));
    EXPECT_FALSE(view->readDepth(dc, 0, 0, size.first, size.second, &image));
  }
}

TEST_F(Renderer, TextureFlushesWaitForTheNextFrame) {
  view->beginFrame(dc, false);
  GLuint names[2];
  glGenTextures(2, names);
  glBindTexture(GL_TEXTURE_2D, names[0]);
  glBindTexture(GL_TEXTURE_2D, names[1]);
  view->imageTextures.insert(7)->texture = names[0];
  GlyphKey key = {1, 'A', 65536};
  view->glyphTextures.insert(key)->texture = names[1];
  view->endFrame(dc);

  view->setDefaultTextureFilter(3);
  EXPECT_EQ(view->defaultFilter, 3);
  EXPECT_EQ(view->flushImagesRequested, 1);
  EXPECT_EQ(view->flushGlyphsRequested, 0);
  EXPECT_EQ(view->imageTextures.count(), 1);  // nothing happens before the frame
  view->beginFrame(dc, false);
  EXPECT_EQ(view->flushImagesRequested, 0);
  EXPECT_EQ(view->imageTextures.count(), 0);
  EXPECT_GT(view->imageTextures.bucketCount(), 0);  // the buckets stay
  EXPECT_FALSE(glIsTexture(names[0]));
  EXPECT_EQ(view->glyphTextures.count(), 1);

  view->resetGlyphTextureCache();
  view->beginFrame(dc, false);
  EXPECT_EQ(view->glyphTextures.count(), 0);
  EXPECT_FALSE(glIsTexture(names[1]));
}

TEST_F(Renderer, ForgetTextureDeletesOnlyThatSource) {
  view->beginFrame(dc, false);
  GLuint names[2];
  glGenTextures(2, names);
  for (GLuint n : names) glBindTexture(GL_TEXTURE_2D, n);
  view->imageTextures.insert(1)->texture = names[0];
  view->imageTextures.insert(2)->texture = names[1];
  ImageSource source;
  source.id = 2;
  view->forgetTexture(&source);
  source.id = 99;
  view->forgetTexture(&source);
  EXPECT_EQ(view->imageTextures.count(), 1);
  EXPECT_NE(view->imageTextures.find(1), nullptr);
  EXPECT_TRUE(glIsTexture(names[0]));
  EXPECT_FALSE(glIsTexture(names[1]));
  view->endFrame(dc);
}

TEST_F(Renderer, ReleaseBuffersDeletesBufferObjectsOnlyOnTheBufferPath) {
  view->beginFrame(dc, false);
  GLuint names[2];
  glGenBuffers(2, names);
  for (GLuint n : names) glBindBuffer(GL_ARRAY_BUFFER, n);
  const MeshData* mesh = reinterpret_cast<const MeshData*>(&names);
  *view->meshBuffers.insert(mesh) = new MeshBuffers{names[0], names[1]};

  view->geometryPath = kGeometryClientArrays;
  view->releaseBuffers();
  EXPECT_EQ(view->meshBuffers.count(), 1);
  EXPECT_TRUE(glIsBuffer(names[0]));

  view->geometryPath = kGeometryBufferObjects;
  view->releaseBuffers();
  EXPECT_EQ(view->meshBuffers.count(), 0);
  EXPECT_EQ(view->meshBuffers.bucketCount(), 0);
  EXPECT_EQ(view->meshBuffers.multiplier(), 1u);
  EXPECT_FALSE(glIsBuffer(names[0]));
  EXPECT_FALSE(glIsBuffer(names[1]));
  view->endFrame(dc);
}

TEST(RendererWithoutContext, SkipsFramesAndReadsNothing) {
  vsplat::DebugCapture log;
  VIEW_OpenGLWin32 view(nullptr, 1);
  EXPECT_EQ(view.context, nullptr);
  // The log says why the window will stay black.
  EXPECT_EQ(log.text(), "OpenGL: no rendering context for the window, so nothing is drawn (no OpenGL pixel format).\n");
  EXPECT_FALSE(view.makeCurrent(nullptr));
  view.beginFrame(nullptr, false);
  EXPECT_EQ(view.getGLVersion(), nullptr);
  PixelImage image;
  EXPECT_FALSE(view.readPixels(nullptr, 0, 0, 2, 2, &image));
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_STREQ(view.getGeometryPathName(), "NONE");
}

TEST(RendererNames, VersionNumbersAndGeometryPaths) {
  struct Version {
    const char* text;
    int32_t number;
  };
  for (const Version& v :
       {Version{"1.1 Generic", 11}, Version{"2.1", 21}, Version{"4.5 (Compatibility Profile) Mesa 22.3.6", 45},
        Version{nullptr, 0}, Version{"", 0}, Version{"3", 0}}) {
    EXPECT_EQ(VIEW_OpenGL::parseVersion(v.text), v.number) << (v.text ? v.text : "null");
  }
  VIEW_OpenGL view;
  struct Path {
    int32_t path;
    const char* name;
  };
  for (const Path& p : {Path{0, "NONE"}, Path{1, "VBO"}, Path{2, "SHADER"}, Path{3, "NONE"}, Path{-1, "NONE"}}) {
    view.geometryPath = p.path;
    EXPECT_STREQ(view.getGeometryPathName(), p.name);
  }
}

TEST(RendererBase, DefaultsDoNothingAndReadBacksSucceed) {
  VIEW_Generic base;
  PixelImage image;
  EXPECT_TRUE(base.readPixels(nullptr, 0, 0, 4, 4, &image));
  EXPECT_TRUE(base.readStencil(nullptr, 0, 0, 0, 0, &image));
  EXPECT_TRUE(base.readDepth(nullptr, 0, 0, 4, 4, &image));
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(base.getGLVersion(), nullptr);
  EXPECT_EQ(base.getGeometryPathName(), nullptr);
  *base.meshBuffers.insert(nullptr) = new MeshBuffers{1, 2};  // freed by the destructor
}
