// Small scenes drawn by the real renderer into a hidden window: hand-made
// geometry, lamps, a camera and a viewport, and the pixels read back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/viewport.h"
#include "model/animated_mesh.h"
#include "model/camera.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/scene.h"
#include "support/test_geometry.h"
#include "view/opengl_win32.h"

namespace rendertest {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c);
// Every channel within tolerance of the wanted one.
::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tolerance = 1);

using namespace testgeometry;

class Frame : public ::testing::Test {
 protected:
  void SetUp() override { open(64, 48); }
  void TearDown() override;

  // A hidden window of exactly this client size with a renderer on it.
  void open(int width, int height);

  Material* material(const ColorRGBA& diffuse, bool shadeless = false);
  MDL_Mesh* mesh(MeshData* data, Material* material, const Vec3& at = {});
  // An animated mesh on data (which a plain mesh must already hold), its
  // skinned arrays made and holding the rest shape; null when they cannot be.
  MDL_AnimatedMesh* skinnedMesh(MeshData* data, Material* material, const Vec3& at);
  MDL_Lamp* lamp(int kind, const Vec3& at, const ColorRGBA& color = {1, 1, 1, 1});
  // The camera at eye looking at target; the viewport shows it full window.
  MDL_Camera* camera(const Vec3& eye, const Vec3& target);
  // A 128 x 96 window on a blue background, the camera at (0, -8, 8) looking
  // at a mirror floor of half size 5 at the origin; answers the floor's
  // material (grey, alpha 0).
  Material* overMirror();

  // One frame as the controller draws it (shadow volumes first), read back.
  void draw(bool shadowStep = true);
  Rgb at(int x, int y) const;  // x from the left, y from the top
  float depthAt(int x, int y) const;
  // Where a world point lands, in the same coordinates.
  Rgb atWorld(const Vec3& p) const;
  void windowPoint(const Vec3& p, int* x, int* y) const;

  HWND window = nullptr;
  HDC dc = nullptr;
  int width = 0, height = 0;
  std::unique_ptr<VIEW_OpenGLWin32> view;
  std::unique_ptr<Scene> scene;
  Viewport viewport;
  MDL_Camera* cam = nullptr;
  std::vector<std::unique_ptr<MeshData>> data;
  std::vector<Material*> materials;
  std::vector<uint8_t> pixels;  // RGB, bottom row first
  std::vector<float> depths;    // bottom row first
  double clip[16] = {};         // the camera's clip matrix of the last frame
};

// Writes RGB pixels (bottom row first) as a PNG; false on failure.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

// An RGB picture, bottom row first as frames are read back.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};
// Reads a PNG file into a picture; false when there is none or it is broken.
bool readPng(const std::string& path, Picture* picture);

// Pixels of got with a channel more than tolerance away from want's, and the
// largest channel difference. Every pixel counts: one wrong pixel is a
// different picture. differing is -1 when the sizes differ.
struct PictureDifference {
  long differing = 0;
  int largest = 0;
};
PictureDifference comparePictures(const Picture& want, const Picture& got, int tolerance);
// want faded to light grey, with the pixels that differ beyond tolerance in
// red: where to look. Both pictures must be of one size.
Picture differenceImage(const Picture& want, const Picture& got, int tolerance);

}  // namespace rendertest
