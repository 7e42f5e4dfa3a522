// Picking, the mouse callbacks and the drag, against hand-worked geometry: a
// 400 x 300 client area showing one viewport 1 wide and 0.75 high through a
// camera at the origin looking down -z with a quarter-turn field of view
// (k = 1) and clip distances 1 and 101. The window centre (200, 150) looks
// straight down -z; t along the view ray is (distance - 1) / 100.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <functional>
#include <memory>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/drag.h"
#include "controller/null_engine.h"
#include "controller/perf_counter.h"
#include "model/animated_mesh.h"
#include "model/bone.h"
#include "model/camera.h"
#include "model/mesh.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "support/test_geometry.h"

namespace {

const double kPi = 3.141592653589793;

// A stand-in proxy: what it was called with, and whether it handles it.
struct Probe {
  bool handles = true;
  struct Call {
    int id;
    MDL_Object* hit;
    Vec3 point;
    Event event;
  };
  std::vector<Call> calls;
  std::function<void(int id)> action;  // runs inside the callback
  LMP_Proxy* base() { return reinterpret_cast<LMP_Proxy*>(this); }
  int count(int id) const {
    int n = 0;
    for (const Call& c : calls) n += c.id == id;
    return n;
  }
};

class ProbeHooks {
 public:
  ProbeHooks() {
    hooks_.retain = [](LMP_Proxy*) {};
    hooks_.release = [](LMP_Proxy*) {};
    hooks_.fire = [](LMP_Proxy* p, CTRL_ScriptEngine*, int id, va_list args) {
      Probe* probe = reinterpret_cast<Probe*>(p);
      Probe::Call call{id, nullptr, Vec3(), Event()};
      if (id == CB_MOUSE_DOWN || id == CB_MOUSE_UP || id == CB_MOUSE_CLICK) {
        call.hit = va_arg(args, MDL_Object*);
        call.point = *va_arg(args, const Vec3*);
      } else if (id == CB_EVENT) {
        call.event = *va_arg(args, const Event*);
      }
      probe->calls.push_back(call);
      if (probe->action) probe->action(id);
      return probe->handles;
    };
    LMP_setProxyHooks(&hooks_);
  }
  ~ProbeHooks() { LMP_setProxyHooks(nullptr); }

 private:
  LMP_ProxyHooks hooks_{};
};

// An overlay that answers hits inside its unit square.
class Square : public MDL_Object {
 public:
  Square() {
    type = OBJECT_IMAGE;
    state |= STATE_ACTIVE;
  }
  bool hitTest(const Vec2& p) override { return p.x >= 0 && p.y >= 0 && p.x <= 1 && p.y <= 1; }
};

class CountingController : public CTRL_Generic {
 public:
  CountingController() : CTRL_Generic(std::make_unique<ctrltest::NullEngine>()) {}
  void setCursor(int32_t shape) override { cursor = shape; }
  void warpCursor(void*, const double point[2]) override {
    warped[0] = point[0];
    warped[1] = point[1];
    ++warps;
  }
  int32_t cursor = -1;
  int32_t warps = 0;
  double warped[2] = {0, 0};
};

struct Rig {
  ProbeHooks hooks;  // outlives the objects that hold probes
  std::vector<std::unique_ptr<MeshData>> geometry;
  CountingController ctrl;
  Scene* scene = new Scene();
  MDL_Camera* camera = new MDL_Camera();
  Viewport* viewport = new Viewport();

  Rig() {
    ctrl.setViewSize(400, 300);
    ctrl.resources.scenes.append(scene);
    scene->registerObject(camera);
    camera->setAngle(kPi / 2);
    camera->clipStart = 1;
    camera->clipEnd = 101;
    viewport->camera = camera;
    viewport->width = 1;
    viewport->height = 0.75;
    ctrl.resources.viewports.append(viewport);
    ctrl.setCurrentViewport(viewport);
  }

  // A square of side 2 half facing the camera at depth z (world), registered.
  template <class M = MDL_Mesh>
  M* quadAt(double x, double y, double z, MDL_Object* parent = nullptr, double half = 1.0) {
    geometry.emplace_back(testgeometry::quadData(half));
    M* mesh = new M();
    mesh->meshData = geometry.back().get();
    mesh->state |= STATE_ACTIVE;
    testgeometry::placeAt(mesh, Vec3(x, y, z));
    if (parent) parent->addChild(mesh);  // keeps the world placement
    scene->registerObject(mesh);
    return mesh;
  }

  void hover(double x, double y) { ctrl.onMouseMove(false, false, x, y); }
  // A movable holder at the origin with a square at depth 10 below it,
  // pressed at the window centre.
  MDL_Mesh* pressHeld(MDL_Object* holder) {
    holder->state |= STATE_MOVABLE;
    scene->registerObject(holder);
    MDL_Mesh* mesh = quadAt(0, 0, -10, holder);
    ctrl.onLeftButtonDown(200, 150);
    return mesh;
  }
  // One update whose time step is about seconds long.
  void updateAfter(double seconds) {
    ctrl.clock.timerRunning = true;
    double now = 0;
    CTRL_readCounter(&now);
    ctrl.clock.lastCounterTime = now - seconds / CTRL_secondsPerCount();
    ctrl.update();
  }
};

void expectVec(const Vec3& got, double x, double y, double z, double eps = 1e-9) {
  EXPECT_NEAR(got.x, x, eps);
  EXPECT_NEAR(got.y, y, eps);
  EXPECT_NEAR(got.z, z, eps);
}

TEST(Picking, TheNearestMeshAlongTheRayWinsWhateverTheListOrder) {
  Rig r;
  MDL_Mesh* far = r.quadAt(0, 0, -20, nullptr, 5);
  MDL_Mesh* near = r.quadAt(0.5, 0, -10);
  MDL_Mesh* gone = r.quadAt(0, 0, -5);
  gone->pendingDelete = 1;  // flagged but not yet purged: never picked
  MDL_Mesh* off = r.quadAt(0, 0, -3);
  off->state &= ~STATE_ACTIVE;
  r.hover(200, 150);
  ASSERT_EQ(r.ctrl.mouse.hovered, near);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[2], 0.09, 1e-12);
  expectVec(r.ctrl.mouse.pickPosition, -0.5, 0, 0);  // in the mesh's frame
  EXPECT_EQ(r.ctrl.cursor, 3);
  // Beside the near square (x = 1.75 at depth 10 is past its edge at 1.5)
  // the far one is hit.
  r.hover(235, 150);
  EXPECT_EQ(r.ctrl.mouse.hovered, far);
  r.hover(399, 1);
  EXPECT_EQ(r.ctrl.mouse.hovered, nullptr);
  EXPECT_EQ(r.ctrl.cursor, 0);
}

TEST(Picking, ABackgroundObjectIsHoveredButNeverPicked) {
  Rig r;
  MDL_Mesh* wall = r.quadAt(0, 0, -10);
  wall->state |= STATE_BACKGROUND;
  r.hover(200, 150);
  EXPECT_EQ(r.ctrl.mouse.hovered, wall);
  EXPECT_EQ(r.ctrl.cursor, 0);
  r.ctrl.onLeftButtonDown(200, 150);
  EXPECT_EQ(r.ctrl.mouse.picked, nullptr);
  EXPECT_EQ(r.ctrl.mouse.hovered, nullptr);
  EXPECT_EQ(r.ctrl.cursor, 1);
}

TEST(Picking, AnAnimatedMeshAnswersWithTheBoneCarryingTheHitPointMost) {
  Rig r;
  MDL_AnimatedMesh* body = r.quadAt<MDL_AnimatedMesh>(0, 0, -10);
  ASSERT_TRUE(body->allocateBones(4));
  ASSERT_TRUE(body->allocateSkinned());
  // Corners 0 (-1,-1), 1 (1,-1), 2 (1,1), 3 (-1,1); triangles 0 1 2 and 0 2 3.
  struct Group {
    std::vector<int32_t> vertices;
    std::vector<double> weights;
  };
  const Group groups[4] = {
      {{0, 1, 2, 3}, {0.5, 0.5, 0.5, 0.5}},   // everywhere a half
      {{1, 7, -1, 1}, {1.0, 9.0, 9.0, NAN}},  // vertex 1; bad entries ignored
      {{3}, {1.0}},                           // vertex 3, but its bone is flagged
      {{0, 1, 2, 3}, {0.5, 0.5, 0.5, 0.5}},   // ties with group 0: never wins
  };
  std::vector<std::unique_ptr<AnimatedMeshData>> data;
  MDL_Bone* bones[4];
  for (int i = 0; i < 4; ++i) {
    data.emplace_back(new AnimatedMeshData);
    AnimatedMeshData& g = *data.back();
    g.count = g.weightCount = static_cast<int32_t>(groups[i].vertices.size());
    g.vertexIndices = new int32_t[g.count];
    g.weights = new double[g.count];
    for (int32_t j = 0; j < g.count; ++j) {
      g.vertexIndices[j] = groups[i].vertices[j];
      g.weights[j] = groups[i].weights[j];
    }
    body->boneData[i] = &g;
    bones[i] = new MDL_Bone();
    r.scene->registerObject(bones[i]);
    body->bones[i] = bones[i];
  }
  bones[2]->pendingDelete = 1;

  // The window point (wx, wy) meets the plane z = -10 at
  // x = wx / 20 - 10, y = 7.5 - wy / 20.
  struct Case {
    double wx, wy;
    int bone;
    const char* why;
  };
  const Case cases[] = {
      {218, 166, 1, "(0.9, -0.8): near corner 1, weight 0.85"},
      {202, 150, 0, "(0.1, 0) on triangle 0 1 2: corner 1 weighs 0.05, the half wins"},
      {182, 134, 0, "(-0.9, 0.8) near corner 3, whose bone is flagged"},
  };
  for (const Case& c : cases) {
    r.hover(c.wx, c.wy);
    EXPECT_EQ(r.ctrl.mouse.hovered, bones[c.bone]) << c.why;
  }
  body->boneCount = 0;  // the groups die with the test, not with the mesh
}

TEST(Picking, OverlaysComeBeforeMeshesAndOfEqualDepthsTheOneDrawnOnTopWins) {
  Rig r;
  r.quadAt(0, 0, -10);
  Square* low = new Square();
  Square* first = new Square();
  Square* second = new Square();
  testgeometry::placeAt(low, Vec3(0.25, 0.25, 1));
  testgeometry::placeAt(first, Vec3(0.25, 0.25, 2));
  testgeometry::placeAt(second, Vec3(0.25, 0.25, 2));
  for (MDL_Object* o :
       {static_cast<MDL_Object*>(low), static_cast<MDL_Object*>(first), static_cast<MDL_Object*>(second)})
    r.scene->registerObject(o);
  r.hover(200, 150);  // viewport (0.5, 0.375): (0.25, 0.125) in each square
  // The later of equal z is drawn over the earlier.
  EXPECT_EQ(r.ctrl.mouse.hovered, second);
  EXPECT_EQ(r.ctrl.mouse.viewportMouse[2], 2);
  expectVec(r.ctrl.mouse.pickPosition, 0.25, 0.125, 0);
  second->pendingDelete = 1;
  r.hover(200, 150);
  EXPECT_EQ(r.ctrl.mouse.hovered, first);
  second->pendingDelete = 0;
  // After the drawing's sort, and after the low one came up among them and
  // the list was sorted again, frame after frame: the last made on top.
  for (int frame = 0; frame < 3; ++frame) {
    if (frame == 1) low->editLocal().position.z = 2;
    r.scene->sortOverlays();
    r.hover(200, 150);
    EXPECT_EQ(r.ctrl.mouse.hovered, second) << frame;
  }
}

// A 2-D object's release and click points are where the press point is: the
// viewport mouse in the object's own frame, not a point through the camera.
TEST(MouseCallbacks, AnOverlayHearsItsReleaseAndClickInItsOwnFrame) {
  Rig r;
  Probe probe;
  Square* square = new Square();
  testgeometry::placeAt(square, Vec3(0.25, 0.25, 2));
  r.scene->registerObject(square);
  square->proxy.assign(probe.base());
  r.ctrl.onMouseMove(false, false, 200, 150);
  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.onMouseMove(false, false, 201, 151);  // within the click's slack
  r.ctrl.onLeftButtonUp(201, 151);
  ASSERT_EQ(probe.count(CB_MOUSE_DOWN), 1);
  ASSERT_EQ(probe.count(CB_MOUSE_UP), 1);
  ASSERT_EQ(probe.count(CB_MOUSE_CLICK), 1);
  expectVec(probe.calls[0].point, 0.25, 0.125, 0);
  for (const Probe::Call& c : probe.calls) {
    if (c.id == CB_MOUSE_DOWN) continue;
    EXPECT_EQ(c.hit, square);
    expectVec(c.point, 0.2525, 0.1275, 0);  // the mouse one pixel on
  }
}

// A hover move from one viewport into another maps the mouse with the one it
// lands in: the viewport mouse, the hovered object and the pick agree at once.
TEST(Picking, AHoverMoveIntoAnotherViewportIsMappedWithThatViewport) {
  Rig r;
  Viewport* right = new Viewport();  // the right half's top, same camera
  right->camera = r.camera;
  right->x = 0.5;
  right->width = 0.5;
  right->height = 0.375;
  r.ctrl.resources.viewports.append(right);
  Square* square = new Square();  // at (0.45, 0.2) in either viewport's units
  testgeometry::placeAt(square, Vec3(0.45, 0.2, 1));
  r.scene->registerObject(square);
  r.hover(100, 200);  // the big viewport, under the right one's bottom edge
  ASSERT_EQ(r.ctrl.currentViewport, r.viewport);
  r.hover(300, 50);  // (0.5, 0.25) in the right viewport, (0.75, 0.125) in the big one
  ASSERT_EQ(r.ctrl.currentViewport, right);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[0], 0.5, 1e-12);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[1], 0.25, 1e-12);
  EXPECT_EQ(r.ctrl.mouse.hovered, square);
  expectVec(r.ctrl.mouse.pickPosition, 0.05, 0.05, 0);
}

TEST(MouseRay, ZerosWithoutCameraClientWidthOrViewportWidth) {
  Rig r;
  const double centre[2] = {200, 150};
  Vec3 o(1, 1, 1), d(1, 1, 1);
  r.ctrl.getMouseRay(centre, o, d);
  expectVec(o, 0, 0, -1);
  expectVec(d, 0, 0, -100);
  r.viewport->width = 0;
  r.ctrl.getMouseRay(centre, o, d);
  expectVec(o, 0, 0, 0);
  expectVec(d, 0, 0, 0);
  r.viewport->width = 1;
  r.ctrl.setViewSize(0, 300);
  d = Vec3(1, 1, 1);
  r.ctrl.getMouseRay(centre, o, d);
  expectVec(d, 0, 0, 0);
  r.ctrl.setViewSize(400, 300);
  r.viewport->camera = nullptr;
  d = Vec3(1, 1, 1);
  r.ctrl.getMouseRay(centre, o, d);
  expectVec(d, 0, 0, 0);
}

TEST(ViewportSelection, TheLastActiveViewportWithWidthContainingThePointWins) {
  Rig r;
  Viewport* corner = new Viewport();  // the top-left quarter, made later
  corner->width = 0.5;
  corner->height = 0.375;
  r.ctrl.resources.viewports.append(corner);
  Viewport* empty = new Viewport();  // no width: maps every point to its corner
  r.ctrl.resources.viewports.append(empty);
  r.ctrl.selectViewportAt(0, 0);
  EXPECT_EQ(r.ctrl.currentViewport, corner);
  r.ctrl.selectViewportAt(200, 150);  // the corner's bottom-right edge
  EXPECT_EQ(r.ctrl.currentViewport, corner);
  r.ctrl.selectViewportAt(201, 150);
  EXPECT_EQ(r.ctrl.currentViewport, r.viewport);
  corner->active = false;
  r.ctrl.selectViewportAt(0, 0);
  EXPECT_EQ(r.ctrl.currentViewport, r.viewport);
  r.ctrl.selectViewportAt(0, 301);
  EXPECT_EQ(r.ctrl.currentViewport, nullptr);
}

TEST(MouseCallbacks, BubbleToTheFirstAncestorWithACallbackWithTheChildAsTheObject) {
  Rig r;
  Probe grand, parent, child;
  child.handles = false;  // no callback of its own
  MDL_Locator* g = new MDL_Locator();
  MDL_Locator* p = new MDL_Locator();
  r.scene->registerObject(g);
  r.scene->registerObject(p);
  g->addChild(p);
  MDL_Mesh* mesh = r.quadAt(0, 0, -10, p);
  g->proxy.assign(grand.base());
  p->proxy.assign(parent.base());
  mesh->proxy.assign(child.base());

  r.ctrl.onLeftButtonDown(200, 150);
  ASSERT_EQ(r.ctrl.mouse.picked, mesh);
  EXPECT_EQ(r.ctrl.cursor, 2);
  ASSERT_EQ(child.count(CB_MOUSE_DOWN), 1);
  ASSERT_EQ(parent.count(CB_MOUSE_DOWN), 1);
  EXPECT_EQ(grand.count(CB_MOUSE_DOWN), 0);  // the parent handled it
  EXPECT_EQ(parent.calls[0].hit, mesh);
  expectVec(parent.calls[0].point, 0, 0, 0);

  r.ctrl.onMouseMove(false, false, 201, 153);  // exactly 10 squared pixels
  r.ctrl.onLeftButtonUp(201, 153);
  EXPECT_EQ(parent.count(CB_MOUSE_UP), 1);
  EXPECT_EQ(parent.count(CB_MOUSE_CLICK), 1);
  EXPECT_EQ(parent.calls.back().hit, mesh);
  EXPECT_EQ(r.ctrl.mouse.picked, nullptr);
  EXPECT_EQ(r.ctrl.mouse.hovered, mesh);  // picked again after the release
  EXPECT_EQ(r.ctrl.cursor, 3);

  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.onMouseMove(false, false, 201, 154);  // 1 + 16: no click
  r.ctrl.onLeftButtonUp(201, 154);
  EXPECT_EQ(parent.count(CB_MOUSE_UP), 2);
  EXPECT_EQ(parent.count(CB_MOUSE_CLICK), 1);

  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.onMouseWheel(false, 120, 200, 150);  // a wheel turn makes it no click
  r.ctrl.onLeftButtonUp(200, 150);
  EXPECT_EQ(parent.count(CB_MOUSE_CLICK), 1);

  // An up handler that deletes the object: no click reaches anyone.
  parent.calls.clear();
  r.ctrl.onLeftButtonDown(200, 150);
  parent.handles = false;
  grand.handles = true;
  mesh->pendingDelete = 1;
  r.ctrl.onLeftButtonUp(200, 150);
  EXPECT_EQ(parent.count(CB_MOUSE_UP), 0);
  EXPECT_EQ(grand.count(CB_MOUSE_CLICK), 0);
}

TEST(Drag, TheVelocityBringsThePickPointToTheMouseWithinTheBoundsAndTheLimit) {
  Rig r;
  MDL_RigidBody* body = new MDL_RigidBody();
  body->state |= STATE_MOVABLE;
  testgeometry::placeAt(body, Vec3(0, 0, -10));
  r.scene->registerObject(body);
  MDL_Mesh* mesh = r.quadAt(0, 0, -10, body);
  r.ctrl.onLeftButtonDown(200, 150);
  ASSERT_EQ(r.ctrl.mouse.picked, mesh);
  r.ctrl.onMouseMove(false, false, 220, 150);  // (1, 0) at depth 10

  Vec3 v;
  for (int axis = 0; axis < 6; ++axis) r.scene->bounds[axis] = axis % 2 ? Scene::kUnbounded : -Scene::kUnbounded;
  ASSERT_TRUE(CTRL_dragVelocity(r.ctrl, 0.01, v));
  expectVec(v, 100, 0, 0, 1e-7);

  // The floor at z = 0: the target (1, 0, -10) slides back along the ray
  // (10, 0, -100) to (0, 0, 0).
  r.scene->bounds[4] = 0;
  ASSERT_TRUE(CTRL_dragVelocity(r.ctrl, 0.01, v));
  expectVec(v, 0, 0, 1000, 1e-7);
  r.scene->bounds[4] = -Scene::kUnbounded;

  // At most the object's own move per integration step.
  mesh->maxMouseMove = 0.01;
  ASSERT_TRUE(CTRL_dragVelocity(r.ctrl, 0.01, v));
  expectVec(v, 0.01 / r.scene->integrationStep, 0, 0, 1e-7);

  // The mesh is not movable: its body takes the velocity at the pick point.
  Probe moved;
  body->proxy.assign(moved.base());
  body->still = 1;
  r.ctrl.dragObject(mesh, Vec3(3, 0, 0), 0.002);
  expectVec(body->speed, 3, 0, 0);
  EXPECT_EQ(body->still, 0);
  EXPECT_EQ(moved.count(CB_MOVED), 1);

  // Without a camera there is no velocity, so no drag.
  r.viewport->camera = nullptr;
  EXPECT_FALSE(CTRL_dragVelocity(r.ctrl, 0.01, v));
}

TEST(Drag, AMovableObjectMovesByTheVelocityOverTheStep) {
  Rig r;
  MDL_Locator* holder = new MDL_Locator();
  MDL_Mesh* mesh = r.pressHeld(holder);
  r.ctrl.dragObject(mesh, Vec3(10, -5, 0), 0.1);
  expectVec(holder->getWorld().position, 1, -0.5, 0);
  expectVec(mesh->getWorld().position, 1, -0.5, -10);
}

TEST(Drag, TheFrameDragsAHeldBodyEverySubStepWithItsFrictionSetAside) {
  Rig r;
  MDL_RigidBody* body = new MDL_RigidBody();
  body->state |= STATE_MOVABLE;
  body->friction = 0.25;
  testgeometry::placeAt(body, Vec3(0, 0, -10));
  r.scene->registerObject(body);
  r.scene->gravity = Vec3();
  for (int axis = 0; axis < 6; ++axis) r.scene->bounds[axis] = axis % 2 ? Scene::kUnbounded : -Scene::kUnbounded;
  MDL_Mesh* mesh = r.quadAt(0, 0, -10, body);
  Probe moved, sceneProbe;
  body->proxy.assign(moved.base());
  r.scene->proxy.assign(sceneProbe.base());
  double friction = 0;
  sceneProbe.action = [&](int id) {
    if (id == CB_POST_INTEGRATION && friction == 0) friction = body->friction;  // the first sub-step
  };
  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.onMouseMove(false, false, 220, 150);  // the target is (1, 0, -10)
  // The press picks the body's mesh; the friction rule is for a picked body
  // (both frames coincide, so the pick point stays).
  r.ctrl.mouse.picked = body;
  r.updateAfter(0.05);
  const int steps = sceneProbe.count(CB_POST_INTEGRATION) - 1;  // and the zero-time step
  ASSERT_GE(steps, 25);
  EXPECT_EQ(moved.count(CB_MOVED), steps);  // once per sub-step
  EXPECT_EQ(friction, static_cast<double>(0.7f));
  EXPECT_EQ(body->friction, 0.25);
  // Each sub-step asks for what is left of the way: the body ends near the
  // target, never past it.
  const Vec3 at = body->getWorld().position;
  EXPECT_GT(at.x, 0.9);
  EXPECT_LE(at.x, 1.0 + 1e-9);
  EXPECT_NEAR(at.z, -10, 1e-6);

  // A callback that deletes the picked object ends the drag at once.
  moved.calls.clear();
  sceneProbe.calls.clear();
  r.ctrl.onMouseMove(false, false, 180, 150);
  r.ctrl.mouse.picked = mesh;
  sceneProbe.action = [&](int id) {
    if (id == CB_POST_INTEGRATION && !mesh->pendingDelete) r.ctrl.deleteObject(mesh);
  };
  r.updateAfter(0.05);
  EXPECT_EQ(moved.count(CB_MOVED), 1);
  EXPECT_EQ(r.ctrl.mouse.picked, nullptr);
  EXPECT_EQ(body->friction, 0.25);
}

// A bone's move fires CB_MOVED; a callback that deletes the held bone there
// ends the drag: there is no pick point left to measure what remains.
TEST(Drag, ABoneDeletedByItsOwnMoveHandsNothingOnToItsHolder) {
  Rig r;
  MDL_Locator* holder = new MDL_Locator();
  holder->state |= STATE_MOVABLE;
  r.scene->registerObject(holder);
  MDL_Bone* bone = new MDL_Bone();
  r.scene->registerObject(bone);
  holder->addChild(bone);
  r.quadAt(0, 0, -10, bone);
  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.mouse.picked = bone;  // as a press on skin picks its bone
  r.ctrl.mouse.pickPosition = Vec3(0, 0, -10);
  Probe moved;
  bone->proxy.assign(moved.base());
  moved.action = [&](int id) {
    if (id == CB_MOVED && !bone->pendingDelete) r.ctrl.deleteObject(bone);
  };
  r.ctrl.dragObject(bone, Vec3(10, 0, 0), 0.1);
  EXPECT_GT(moved.count(CB_MOVED), 0);
  EXPECT_EQ(r.ctrl.mouse.picked, nullptr);
  expectVec(holder->getWorld().position, 0, 0, 0);
}

TEST(Drag, AConstrainedObjectKeepsTheMouseOnItsPickPoint) {
  Rig r;
  MDL_Locator* holder = new MDL_Locator();
  MDL_Mesh* mesh = r.pressHeld(holder);
  r.ctrl.onMouseMove(false, false, 220, 170);
  holder->editWorld().position = Vec3(0.5, 0, 0);  // the pick point is now (0.5, 0, -10)
  r.ctrl.frame(nullptr, nullptr);
  EXPECT_EQ(r.ctrl.warps, 0);  // only the depth follows
  EXPECT_EQ(r.ctrl.mouse.windowMouse[0], 220);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[2], 0.09, 1e-12);
  mesh->state |= STATE_CONSTRAIN_MOUSE;
  r.ctrl.frame(nullptr, nullptr);
  ASSERT_EQ(r.ctrl.warps, 1);
  EXPECT_NEAR(r.ctrl.warped[0], 210, 1e-9);  // x = wx / 20 - 10 at depth 10
  EXPECT_NEAR(r.ctrl.warped[1], 150, 1e-9);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[0], 0.525, 1e-12);
}

TEST(MouseWheel, ZoomEventToTheViewportThenTheZoomWhateverItAnswered) {
  Rig r;
  Probe viewportProbe;
  r.viewport->proxy.assign(viewportProbe.base());
  r.viewport->navigationMode = NAVIGATION_MIXED;
  r.viewport->navigationRadius = 10;
  r.ctrl.onMouseWheel(false, 240, 100, 50);
  ASSERT_EQ(viewportProbe.count(CB_EVENT), 1);
  const Event& e = viewportProbe.calls[0].event;
  EXPECT_EQ(e.type, EVENT_ZOOM);
  EXPECT_EQ(e.amount, 240);
  EXPECT_EQ(e.point[0], 0.25);
  EXPECT_EQ(e.point[1], 0.125);
  EXPECT_NEAR(r.viewport->navigationRadius, 10 - 240 * static_cast<double>(0.002f), 1e-12);
  EXPECT_NEAR(length3(r.camera->getWorld().position), r.viewport->navigationRadius, 1e-12);

  r.viewport->navigationMode = NAVIGATION_FREE;
  r.ctrl.onMouseWheel(false, -120, 100, 50);  // backwards along the camera's z
  const Vec3 was = r.camera->getWorld().position;
  const Vec3 ahead = was + r.camera->getWorld().basis.Z() * (-120 * static_cast<double>(0.002f));
  r.ctrl.onMouseWheel(false, 120, 100, 50);
  expectVec(r.camera->getWorld().position, ahead.x, ahead.y, ahead.z);

  r.ctrl.setViewSize(0, 300);  // no width: the point is (0, 0), not a division by zero
  r.ctrl.onMouseWheel(false, 120, 100, 50);
  EXPECT_EQ(viewportProbe.calls.back().event.point[0], 0);
  EXPECT_EQ(viewportProbe.calls.back().event.point[1], 0);
}

TEST(MouseWheel, MovesAPickedObjectsTargetInDepthOrTurnsItAboutTheViewRay) {
  Rig r;
  MDL_Mesh* mesh = r.quadAt(0, 0, -10);
  mesh->state |= STATE_MOVABLE;
  r.ctrl.onLeftButtonDown(200, 150);
  r.ctrl.onMouseWheel(false, 1000, 200, 150);
  EXPECT_NEAR(r.ctrl.mouse.viewportMouse[2], 0.09 + 1000 * static_cast<double>(2e-5f), 1e-12);
  r.ctrl.onMouseWheel(true, 1963.495, 200, 150);  // about a quarter turn about -z
  const Vec3 x = mesh->getWorld().basis.X();
  const double angle = 1963.495 * static_cast<double>(0.0008f);
  EXPECT_NEAR(x.x, std::cos(angle), 1e-9);
  EXPECT_NEAR(x.y, -std::sin(angle), 1e-9);
}

TEST(MouseWheel, ShiftRollsAFreeCameraAndTheOrbitPlacementOverridesARoll) {
  Rig r;
  r.viewport->navigationMode = NAVIGATION_FREE;
  r.ctrl.onMouseWheel(true, 500, 200, 150);
  const double angle = 500 * static_cast<double>(0.0008f);
  expectVec(r.camera->getWorld().basis.X(), std::cos(angle), std::sin(angle), 0);
  expectVec(r.camera->getWorld().basis.Z(), 0, 0, 1);
  expectVec(r.camera->getWorld().position, 0, 0, 0);  // a roll does not move it

  // The orbit modes place the camera from their angles right after the roll.
  r.viewport->navigationMode = NAVIGATION_MIXED;
  r.viewport->navigationRadius = 10;
  r.ctrl.onMouseWheel(true, 500, 200, 150);
  EXPECT_EQ(r.viewport->navigationRadius, 10);
  const RigidTransform placed = r.camera->getWorld();
  r.viewport->updateCamera();
  expectVec(r.camera->getWorld().basis.X(), placed.basis.X().x, placed.basis.X().y, placed.basis.X().z);
}

TEST(Drag, ShiftMovesTheTargetInDepthByTheVerticalMouseMove) {
  Rig r;
  MDL_Mesh* mesh = r.quadAt(0, 0, -10);
  mesh->state |= STATE_MOVABLE;
  r.ctrl.onLeftButtonDown(200, 150);
  ASSERT_EQ(r.ctrl.mouse.picked, mesh);
  double& depth = r.ctrl.mouse.viewportMouse[2];
  ASSERT_NEAR(depth, 0.09, 1e-12);
  r.ctrl.onMouseMove(false, false, 210, 170);  // a plain drag keeps the depth
  EXPECT_NEAR(depth, 0.09, 1e-12);
  const double rate = static_cast<double>(0.1f);
  // Down the window (dy 20) pulls the target nearer, faster the deeper it is.
  r.ctrl.onMouseMove(true, false, 210, 190);
  const double nearer = 0.09 - 20 * 0.09 * 0.09 * rate;
  EXPECT_NEAR(depth, nearer, 1e-15);
  r.ctrl.onMouseMove(true, false, 300, 180);  // sideways counts for nothing
  EXPECT_NEAR(depth, nearer + 10 * nearer * nearer * rate, 1e-15);
  EXPECT_EQ(r.ctrl.mouse.picked, mesh);
}

TEST(MouseNavigation, TheRightButtonOrAPressOffObjectsTurnsTheCamera) {
  Rig r;
  r.viewport->navigationMode = NAVIGATION_GLASSBALL;
  r.viewport->navigationRadius = 10;
  r.viewport->updateCamera();
  MDL_Mesh* wall = r.quadAt(0, 0, -10, nullptr, 50);
  wall->state |= STATE_BACKGROUND;
  r.ctrl.onRightButtonDown(200, 150);
  EXPECT_EQ(r.ctrl.cursor, 1);
  r.ctrl.onMouseMove(false, false, 240, 150);  // a tenth of the width
  const double g = 2.0 * r.camera->angle;
  EXPECT_NEAR(r.viewport->navigationAzimuth, -0.1 * g, 1e-12);
  r.ctrl.onRightButtonUp(240, 150);
  EXPECT_EQ(r.ctrl.cursor, 0);

  // A left press on the background object picks nothing and navigates too.
  r.ctrl.onLeftButtonDown(240, 150);
  EXPECT_EQ(r.ctrl.mouse.picked, nullptr);
  r.ctrl.onMouseMove(false, false, 200, 150);
  EXPECT_NEAR(r.viewport->navigationAzimuth, 0, 1e-12);
}

}  // namespace
