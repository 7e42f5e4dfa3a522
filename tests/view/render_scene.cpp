#include "tests/view/render_scene.h"

#include <GL/glew.h>
#include <SDL.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "model/shadow_volume.h"
#include "platform/testing.h"
#include "view/pixel_image.h"

namespace rendertest {

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tolerance) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << got << ", want " << want << " +-" << tolerance;
}

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Without a window or a context the rest of the test has nothing to draw
// with: it stops here, failed, whichever helper of the test it was in.
[[noreturn]] void noFrame(const char* what) {
  throw std::runtime_error(std::string("no test frame: ") + what + " (SDL: " + SDL_GetError() + ")");
}

}  // namespace

void Frame::open(int w, int h) {
  TearDown();
  scene = std::make_unique<Scene>("test");
  vsplat::setOffscreen(true);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = windowProc;
  wc.lpszClassName = "vsRenderScene";
  RegisterClassA(&wc);
  window = CreateWindowExA(0, wc.lpszClassName, "scene", WS_POPUP, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr);
  if (!window) noFrame("the window could not be made");
  dc = GetDC(window);
  view = std::make_unique<VIEW_OpenGLWin32>(dc, 1);
  if (!view->context) noFrame("the window has no OpenGL context");
  RECT r;
  GetClientRect(window, &r);
  width = r.right - r.left;
  height = r.bottom - r.top;
  ASSERT_EQ(width, w);
  ASSERT_EQ(height, h);
  viewport.camera = nullptr;
  viewport.background[0] = viewport.background[1] = viewport.background[2] = 0;
  viewport.background[3] = 1;
  viewport.shadowMode = 1;
}

void Frame::TearDown() {
  if (view && view->makeCurrent(dc)) {
    view->releaseBuffers();
    view->doneCurrent(dc);
  }
  view.reset();
  scene.reset();  // deletes the objects before the data they show
  data.clear();
  for (Material* m : materials) m->destroy();
  materials.clear();
  cam = nullptr;
  if (window) {
    ReleaseDC(window, dc);
    DestroyWindow(window);
    window = nullptr;
  }
}

Material* Frame::material(const ColorRGBA& diffuse, bool shadeless) {
  Material* m = new Material;
  m->diffuse = diffuse;
  m->shadeless = shadeless;
  m->ambient = {0, 0, 0, 1};
  m->specular = {0, 0, 0, 1};
  materials.push_back(m);
  return m;
}

MDL_Mesh* Frame::mesh(MeshData* d, Material* m, const Vec3& position) {
  bool known = false;
  for (auto& owned : data) known = known || owned.get() == d;
  if (!known) data.emplace_back(d);
  MDL_Mesh* mesh = new MDL_Mesh;
  mesh->meshData = d;
  mesh->material = m;
  placeAt(mesh, position);
  scene->registerObject(mesh);
  return mesh;
}

MDL_AnimatedMesh* Frame::skinnedMesh(MeshData* d, Material* m, const Vec3& position) {
  MDL_AnimatedMesh* skinned = new MDL_AnimatedMesh;
  skinned->meshData = d;
  skinned->material = m;
  placeAt(skinned, position);
  scene->registerObject(skinned);
  return skinned->allocateSkinned() ? skinned : nullptr;
}

MDL_Lamp* Frame::lamp(int kind, const Vec3& position, const ColorRGBA& color) {
  MDL_Lamp* lamp = new MDL_Lamp;
  lamp->kind = kind;
  lamp->color = color;
  placeAt(lamp, position);
  scene->registerObject(lamp);
  return lamp;
}

MDL_Camera* Frame::camera(const Vec3& eye, const Vec3& target) {
  cam = new MDL_Camera;
  lookAt(cam, eye, target);
  scene->registerObject(cam);
  viewport.camera = cam;
  return cam;
}

Material* Frame::overMirror() {
  open(128, 96);
  camera({0, -8, 8}, {0, 0, 0});
  viewport.background[2] = 1;
  Material* glass = material({0.5, 0.5, 0.5, 0}, true);
  glass->mirror = true;
  mesh(quadData(5), glass);
  return glass;
}

void Frame::draw(bool shadowStep) {
  if (shadowStep) updateShadowVolumes(*scene);
  view->beginFrame(dc, false);
  static const double grey[4] = {0.5, 0.5, 0.5, 1};
  view->clear(grey);
  const double origin[2] = {0, 0};
  const double size[2] = {double(width), double(height)};
  view->renderViewport(&viewport, origin, size, nullptr);
  // The pass ends in the overlay projection: the camera's, to find points.
  if (cam) view->setupViewport(cam, origin, size);
  for (int i = 0; i < 16; ++i) clip[i] = view->clipMatrix[i];
  PixelImage image;
  ASSERT_TRUE(view->readPixels(dc, 0, 0, width, height, &image));
  pixels.assign(image.pixels, image.pixels + size_t(width) * height * 3);
  view->beginFrame(dc, false);
  depths.assign(size_t(width) * height, 0.0f);
  glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
  view->beginFrame(dc, false);
  view->endFrame(dc);
}

Rgb Frame::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height || pixels.empty()) return {-1, -1, -1};
  const uint8_t* p = &pixels[(size_t(height - 1 - y) * width + x) * 3];
  return {p[0], p[1], p[2]};
}

float Frame::depthAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height || depths.empty()) return -1;
  return depths[size_t(height - 1 - y) * width + x];
}

void Frame::windowPoint(const Vec3& p, int* x, int* y) const {
  const double c[4] = {clip[0] * p.x + clip[4] * p.y + clip[8] * p.z + clip[12],
                       clip[1] * p.x + clip[5] * p.y + clip[9] * p.z + clip[13],
                       clip[2] * p.x + clip[6] * p.y + clip[10] * p.z + clip[14],
                       clip[3] * p.x + clip[7] * p.y + clip[11] * p.z + clip[15]};
  *x = static_cast<int>(std::floor((c[0] / c[3] + 1) * 0.5 * width));
  *y = height - 1 - static_cast<int>(std::floor((c[1] / c[3] + 1) * 0.5 * height));
}

Rgb Frame::atWorld(const Vec3& p) const {
  int x, y;
  windowPoint(p, &x, &y);
  return at(x, y);
}

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  // A negative row stride writes the bottom-up rows top row first.
  const png_int_32 stride = -static_cast<png_int_32>(width * 3);
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), stride, nullptr) != 0;
}

bool readPng(const std::string& path, Picture* picture) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->rgb.assign(PNG_IMAGE_SIZE(image), 0);
  // Bottom row first, as writePng takes them.
  const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
  if (png_image_finish_read(&image, nullptr, picture->rgb.data(), stride, nullptr)) return true;
  png_image_free(&image);
  return false;
}

namespace {

// The largest channel difference of pixel i.
int pixelDifference(const Picture& a, const Picture& b, size_t i) {
  int most = 0;
  for (size_t c = 3 * i; c < 3 * i + 3; ++c) most = std::max(most, std::abs(int(a.rgb[c]) - int(b.rgb[c])));
  return most;
}

bool sameSize(const Picture& a, const Picture& b) {
  const size_t bytes = size_t(a.width) * size_t(a.height) * 3;
  return a.width == b.width && a.height == b.height && a.rgb.size() == bytes && b.rgb.size() == bytes;
}

}  // namespace

PictureDifference comparePictures(const Picture& want, const Picture& got, int tolerance) {
  PictureDifference d;
  if (!sameSize(want, got)) {
    d.differing = -1;
    return d;
  }
  for (size_t i = 0; i < want.rgb.size() / 3; ++i) {
    const int difference = pixelDifference(want, got, i);
    d.largest = std::max(d.largest, difference);
    if (difference > tolerance) ++d.differing;
  }
  return d;
}

Picture differenceImage(const Picture& want, const Picture& got, int tolerance) {
  Picture out{want.width, want.height, std::vector<uint8_t>(want.rgb.size())};
  if (!sameSize(want, got)) return out;
  for (size_t i = 0; i < want.rgb.size() / 3; ++i) {
    uint8_t* p = &out.rgb[3 * i];
    if (pixelDifference(want, got, i) > tolerance) {
      p[0] = 255, p[1] = 0, p[2] = 0;
      continue;
    }
    const uint8_t* w = &want.rgb[3 * i];
    const int grey = 192 + (w[0] + w[1] + w[2]) / 12;  // 192..255
    p[0] = p[1] = p[2] = static_cast<uint8_t>(grey);
  }
  return out;
}

}  // namespace rendertest
