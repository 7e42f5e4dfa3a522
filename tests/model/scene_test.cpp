#include "model/scene.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/fake_proxy.h"
#include "model/qsort_bm.h"

namespace {

// An object of any type code that counts its deaths and can point at another
// object (like an animated mesh at its bones).
struct Probe : MDL_Object {
  static int deaths;
  MDL_Object* link = nullptr;
  explicit Probe(int t, const char* n = nullptr) {
    type = t;
    setName(n);
  }
  Probe(const Probe& o) = default;
  ~Probe() override { ++deaths; }
  MDL_Object* copyObject() const override { return new Probe(*this); }
  void remapClonedLinks(Scene& scene, CloneMap* map) override {
    if (link) link = scene.cloneObject(link, map);
  }
};
int Probe::deaths = 0;

std::vector<std::string> names(const PtrArray<MDL_Object>& list) {
  std::vector<std::string> out;
  for (MDL_Object* o : list) out.push_back(o->name ? o->name : "?");
  return out;
}

enum Phase { SPRINGS = 100, INTEGRATE, JOINTS, COLLIDE, BOUNDS_X, BOUNDS_Y, BOUNDS_Z, SKIN };

// Stands in for every phase of the step and for the skinning of one mesh,
// recording the calls in order.
struct PhaseTrace {
  std::vector<int>& log = fakeEventLog();
  std::vector<double> boundsSeen;
  void applySprings(double) { log.push_back(SPRINGS); }
  void integrateBodies(double) { log.push_back(INTEGRATE); }
  void solveJoints() { log.push_back(JOINTS); }
  void collide(CTRL_ScriptEngine*) { log.push_back(COLLIDE); }
  bool collideBodyWithBounds(MDL_Object*, CTRL_ScriptEngine*, int axis, double lower, double upper) {
    log.push_back(BOUNDS_X + axis);
    boundsSeen.push_back(lower);
    boundsSeen.push_back(upper);
    return false;
  }
  void skinMesh(MDL_Object* mesh) { skinned.push_back(mesh); }
  std::vector<MDL_Object*> skinned;
};

TEST(SceneDefaults, SinglePrecisionConstantsAndFloor) {
  Scene s("main");
  EXPECT_STREQ(s.name, "main");
  EXPECT_EQ(s.gravity, Vec3(0, 0, (double)-9.81f));
  EXPECT_EQ(s.integrationStep, (double)0.002f);
  EXPECT_EQ(s.boundsFriction, (double)0.8f);
  EXPECT_EQ(s.boundsElasticity, (double)0.6f);
  EXPECT_EQ(s.active, 1);
  const double inf = 1.7976931348623157e308;
  double floorOnly[6] = {-inf, inf, -inf, inf, 0.0, inf};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.bounds[i], floorOnly[i]) << i;
  EXPECT_TRUE(s.objects.owns);
  EXPECT_FALSE(s.sweepOpen.owns);
  Scene unnamed(nullptr);
  EXPECT_EQ(unnamed.name, nullptr);
}

TEST(SceneRegister, EachKindGoesToItsList) {
  Scene s;
  const int kinds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14};
  for (int t : kinds) s.registerObject(new Probe(t, std::to_string(t).c_str()));
  EXPECT_EQ(s.objects.count, 14);
  EXPECT_EQ(names(s.lamps), std::vector<std::string>({"1"}));
  EXPECT_EQ(names(s.meshes), std::vector<std::string>({"3", "7"}));
  EXPECT_EQ(names(s.rigidBodies), std::vector<std::string>({"4"}));
  EXPECT_EQ(names(s.sounds), std::vector<std::string>({"5"}));
  EXPECT_EQ(names(s.bones), std::vector<std::string>({"6"}));
  EXPECT_EQ(names(s.overlays), std::vector<std::string>({"8", "10", "12"}));
  EXPECT_EQ(names(s.collisionVolumes), std::vector<std::string>({"13"}));
  ASSERT_EQ(s.sweepEntries.count, 2);
  EXPECT_EQ(s.sweepEntries[0]->begin, 1);
  EXPECT_EQ(s.sweepEntries[1]->begin, 0);
  EXPECT_EQ(s.sweepEntries[0]->volume, s.collisionVolumes[0]);
  EXPECT_EQ(s.sweepEntries[1]->volume, s.collisionVolumes[0]);
  for (MDL_Object* o : s.objects) EXPECT_EQ(o->scene, &s);
  // Registering twice would delete twice.
  EXPECT_FALSE(s.registerObject(s.objects[0]));
  EXPECT_FALSE(s.registerObject(nullptr));
  EXPECT_EQ(s.objects.count, 14);
}

TEST(SceneRegister, LocalPlacementBecomesAuthoritative) {
  Scene s;
  MDL_Object* parent = new MDL_Object;
  MDL_Object* child = new MDL_Object;
  parent->addChild(child);
  child->editWorld().position = Vec3(1, 0, 0);  // only the world is valid now
  s.registerObject(child);
  EXPECT_TRUE(child->localValid);
  EXPECT_FALSE(child->worldValid);
  parent->editLocal().position = Vec3(0, 5, 0);
  EXPECT_EQ(child->getWorld().position, Vec3(1, 5, 0));
  s.registerObject(parent);
}

TEST(SceneStep, PhasesRunInOrderAndZeroStepSkipsIntegration) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  Scene s;
  PhaseTrace trace;
  s.proxy.assign(&proxy.base());
  s.registerObject(new Probe(OBJECT_RIGID_BODY));
  fakeEventLog().clear();
  s.stepWith(fakeEngine(), 0.01, trace);
  EXPECT_EQ(fakeEventLog(),
            std::vector<int>({SPRINGS, INTEGRATE, CB_POST_INTEGRATION, JOINTS, COLLIDE, BOUNDS_Z, CB_MECHA}));
  ASSERT_EQ(proxy.calls.size(), 2u);
  EXPECT_EQ(proxy.calls[0].value, 0.01);
  EXPECT_EQ(proxy.calls[1].value, 0.01);

  fakeEventLog().clear();
  s.stepWith(fakeEngine(), 0.0, trace);
  EXPECT_EQ(fakeEventLog(), std::vector<int>({SPRINGS, CB_POST_INTEGRATION, JOINTS, COLLIDE, BOUNDS_Z, CB_MECHA}));
}

TEST(SceneStep, AxesWithAnyFiniteBoundAreTested) {
  Scene s;
  PhaseTrace trace;
  s.registerObject(new Probe(OBJECT_RIGID_BODY));
  s.registerObject(new Probe(OBJECT_RIGID_BODY));
  s.bounds[1] = 50.0;                // x: upper wall only
  s.bounds[4] = -Scene::kUnbounded;  // z: open again
  fakeEventLog().clear();
  s.stepWith(nullptr, 0.01, trace);  // no engine: callbacks stay silent
  EXPECT_EQ(fakeEventLog(), std::vector<int>({SPRINGS, INTEGRATE, JOINTS, COLLIDE, BOUNDS_X, BOUNDS_X}));
  EXPECT_EQ(trace.boundsSeen[0], -Scene::kUnbounded);
  EXPECT_EQ(trace.boundsSeen[1], 50.0);
}

TEST(SceneCallbacks, PreCollisionKeepsContactsWhenNobodyAsks) {
  Scene s;
  Vec3 p, n(0, 0, 1);
  EXPECT_TRUE(s.firePreCollision(fakeEngine(), p, n, 0.1, nullptr, nullptr, nullptr, nullptr));
  FakeProxyHooks hooks;
  FakeProxy proxy;
  proxy.preCollisionAnswer = false;
  s.proxy.assign(&proxy.base());
  EXPECT_TRUE(s.firePreCollision(nullptr, p, n, 0.1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(s.firePreCollision(fakeEngine(), p, n, 0.25, nullptr, nullptr, nullptr, nullptr));
  s.firePostCollision(fakeEngine(), p, n, 2.5, nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(proxy.calls.size(), 2u);
  EXPECT_EQ(proxy.calls[0].value, 0.25);
  EXPECT_EQ(proxy.calls[1].id, CB_POST_COLLISION);
  EXPECT_EQ(proxy.calls[1].value, 2.5);
  s.proxy.release();
}

// Callbacks the script has nothing for are not fired: a pre-collision then
// keeps its contact, and the contact does not count as a callback.
TEST(SceneCallbacks, CallbacksTheProxyHasNothingForAreNotFired) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  proxy.preCollisionAnswer = false;
  proxy.unheard = 1u << CB_PRE_COLLISION | 1u << CB_MECHA;
  Scene s;
  PhaseTrace trace;
  s.proxy.assign(&proxy.base());
  Vec3 p, n(0, 0, 1);
  EXPECT_FALSE(LMP_mayFire(s.proxy, fakeEngine(), CB_PRE_COLLISION));
  EXPECT_TRUE(LMP_mayFire(s.proxy, fakeEngine(), CB_POST_COLLISION));
  EXPECT_TRUE(s.firePreCollision(fakeEngine(), p, n, 0.25, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(s.contactCallbacks, 0u);
  EXPECT_EQ(s.contactsOffered, 1u);  // counted all the same
  s.firePostCollision(fakeEngine(), p, n, 2.5, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(s.contactCallbacks, 1u);
  s.stepWith(fakeEngine(), 0.01, trace);
  ASSERT_EQ(proxy.calls.size(), 2u);
  EXPECT_EQ(proxy.calls[0].id, CB_POST_COLLISION);
  EXPECT_EQ(proxy.calls[1].id, CB_POST_INTEGRATION);
  // Unheard, an id answers as a proxy without it would.
  EXPECT_TRUE(
      LMP_fireCallback(s.proxy, fakeEngine(), CB_PRE_COLLISION, &p, &n, &p.x, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(LMP_fireCallback(s.proxy, fakeEngine(), CB_MECHA, &p.x));
  EXPECT_EQ(proxy.calls.size(), 2u);
  s.proxy.release();
}

TEST(SceneSkinning, OnlyAnimatedMeshesAreSkinnedAndBonesSettle) {
  Scene s;
  PhaseTrace trace;
  MDL_Object* mesh = new Probe(OBJECT_MESH);
  MDL_Object* animated = new Probe(OBJECT_ANIMATED_MESH);
  MDL_Object* bone = new Probe(OBJECT_BONE);
  s.registerObject(mesh);
  s.registerObject(animated);
  s.registerObject(bone);
  bone->changed = 1;
  s.updateSkinningWith(trace);
  EXPECT_EQ(trace.skinned, std::vector<MDL_Object*>({animated}));
  EXPECT_EQ(bone->changed, 0);
}

TEST(ScenePurge, KeepsOrderInEveryListAndFreesTheFlagged) {
  Probe::deaths = 0;
  {
    Scene s;
    const int kinds[] = {3, 4, 13, 5, 1, 8, 6};
    for (int round = 0; round < 3; ++round)
      for (int t : kinds) s.registerObject(new Probe(t, (std::to_string(t) + char('a' + round)).c_str()));
    for (MDL_Object* o : s.objects)
      if (o->name[strlen(o->name) - 1] == 'b') o->pendingDelete = 1;
    ASSERT_EQ(s.sweepEntries.count, 6);
    s.purgeDeleted();
    EXPECT_EQ(Probe::deaths, 7);
    EXPECT_EQ(s.objects.count, 14);
    EXPECT_EQ(names(s.meshes), std::vector<std::string>({"3a", "3c"}));
    EXPECT_EQ(names(s.rigidBodies), std::vector<std::string>({"4a", "4c"}));
    EXPECT_EQ(names(s.collisionVolumes), std::vector<std::string>({"13a", "13c"}));
    EXPECT_EQ(names(s.sounds), std::vector<std::string>({"5a", "5c"}));
    EXPECT_EQ(names(s.lamps), std::vector<std::string>({"1a", "1c"}));
    EXPECT_EQ(names(s.overlays), std::vector<std::string>({"8a", "8c"}));
    EXPECT_EQ(names(s.bones), std::vector<std::string>({"6a", "6c"}));
    ASSERT_EQ(s.sweepEntries.count, 4);
    for (SweepEntry* e : s.sweepEntries) EXPECT_NE(e->volume->name[strlen(e->volume->name) - 1], 'b');
    EXPECT_EQ(s.objects[0]->name, std::string("3a"));
    EXPECT_EQ(s.objects[7]->name, std::string("3c"));
    // Purging everything leaves empty lists with no storage.
    for (MDL_Object* o : s.objects) o->pendingDelete = 1;
    s.purgeDeleted();
    EXPECT_EQ(s.objects.data, nullptr);
    EXPECT_EQ(s.meshes.data, nullptr);
    EXPECT_EQ(s.sweepEntries.data, nullptr);
  }
  EXPECT_EQ(Probe::deaths, 21);
}

TEST(ScenePurge, SurvivorsKeepNoPointerToTheDeleted) {
  Scene s;
  MDL_Object* root = new MDL_Object;
  MDL_Object* doomed = new MDL_Object;
  MDL_Object* orphan = new MDL_Object;
  MDL_Object* sibling = new MDL_Object;
  root->addChild(doomed);
  root->addChild(sibling);
  doomed->addChild(orphan);
  for (MDL_Object* o : {root, doomed, orphan, sibling}) s.registerObject(o);
  doomed->editLocal().position = Vec3(0, 0, 4);
  orphan->editLocal().position = Vec3(1, 0, 0);
  doomed->pendingDelete = 1;  // flagged without unlinking first
  s.purgeDeleted();
  EXPECT_EQ(root->firstChild, sibling);
  EXPECT_EQ(sibling->nextSibling, nullptr);
  EXPECT_EQ(orphan->parent, nullptr);
  EXPECT_EQ(orphan->getWorld().position, Vec3(1, 0, 4));  // stays where it was
}

TEST(SceneDestroy, DeletesObjectsAndReleasesProxies) {
  FakeProxyHooks hooks;
  FakeProxy sceneProxy, objectProxy;
  Probe::deaths = 0;
  {
    Scene s;
    s.proxy.assign(&sceneProxy.base());
    Probe* p = new Probe(OBJECT_MESH);
    p->proxy.assign(&objectProxy.base());
    s.registerObject(p);
    s.registerObject(new Probe(OBJECT_COLLISION_VOLUME));
  }
  EXPECT_EQ(Probe::deaths, 2);
  EXPECT_EQ(sceneProxy.count, 0);
  EXPECT_EQ(objectProxy.count, 0);
}

TEST(SceneClone, SubtreeIsCopiedInOrderWithSharedClones) {
  Scene models, s;
  Probe* root = new Probe(OBJECT_NONE, "root");
  Probe* skin = new Probe(OBJECT_ANIMATED_MESH, "skin");
  Probe* bone = new Probe(OBJECT_BONE, "bone");
  Probe* text = new Probe(OBJECT_TEXT, "text");
  Probe* under = new Probe(OBJECT_NONE, "underText");
  Probe* last = new Probe(OBJECT_LOCATOR, "last");
  root->addChild(skin);
  root->addChild(text);
  root->addChild(bone);
  root->addChild(last);
  text->addChild(under);
  skin->link = bone;  // the mesh uses a bone later in the same subtree
  for (MDL_Object* o : {(MDL_Object*)root, (MDL_Object*)skin, (MDL_Object*)bone, (MDL_Object*)text, (MDL_Object*)under,
                        (MDL_Object*)last})
    models.registerObject(o);
  // The source sits somewhere in its own world, below another object.
  MDL_Object* parentOfRoot = new MDL_Object;
  models.registerObject(parentOfRoot);
  parentOfRoot->editLocal().position = Vec3(100, 0, 0);
  parentOfRoot->addChild(root);
  root->editLocal().position = Vec3(7, 0, 0);
  bone->editLocal().position = Vec3(0, 1, 0);
  ASSERT_EQ(root->getWorld().position, Vec3(107, 0, 0));

  MDL_Object* clone = s.instantiateByName(root);
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone, root);
  EXPECT_EQ(clone->parent, nullptr);
  EXPECT_EQ(clone->scene, &s);
  // The root clone stands at the source's local placement.
  EXPECT_EQ(clone->getWorld().position, Vec3(7, 0, 0));
  std::vector<std::string> kids;
  for (MDL_Object* c = clone->firstChild; c; c = c->nextSibling) {
    kids.push_back(c->name);
    EXPECT_EQ(c->parent, clone);
    EXPECT_EQ(c->scene, &s);
  }
  EXPECT_EQ(kids, std::vector<std::string>({"skin", "bone", "last"}));  // the text is not cloned
  Probe* skinClone = static_cast<Probe*>(clone->firstChild);
  MDL_Object* boneClone = skinClone->nextSibling;
  EXPECT_EQ(skinClone->link, boneClone);  // not the source bone
  EXPECT_EQ(boneClone->getWorld().position, Vec3(7, 1, 0));
  EXPECT_EQ(s.objects.count, 4);
  EXPECT_EQ(names(s.bones), std::vector<std::string>({"bone"}));
  EXPECT_EQ(names(s.meshes), std::vector<std::string>({"skin"}));
}

TEST(SceneClone, ABoneOutsideTheSubtreeIsOwnedByTheScene) {
  Probe::deaths = 0;
  {
    Scene s;
    Probe bone(OBJECT_BONE, "outside");
    Probe skin(OBJECT_ANIMATED_MESH, "skin");
    skin.link = &bone;
    MDL_Object* clone = s.instantiateByName(&skin);
    Probe* c = static_cast<Probe*>(clone);
    ASSERT_NE(c->link, nullptr);
    EXPECT_NE(c->link, &bone);
    EXPECT_EQ(c->link->scene, &s);  // registered, so the scene frees it
    EXPECT_EQ(s.objects.count, 2);
  }
  EXPECT_EQ(Probe::deaths, 4);  // two clones and the two sources
}

TEST(SceneClone, CloneObjectByType) {
  Scene s;
  CloneMap map;
  for (int t = 0; t <= 14; ++t) {
    Probe src(t);
    MDL_Object* c = s.cloneObject(&src, &map);
    bool cloned = t <= 7 || t == 13 || t == 14;
    EXPECT_EQ(c != nullptr, cloned) << t;
    if (c) {
      EXPECT_EQ(c->type, t);
      EXPECT_EQ(s.cloneObject(&src, &map), c);  // the map answers the second time
      map.sources.removeFirst(&src);
      map.clones.removeFirst(c);
      delete c;
    }
  }
  EXPECT_EQ(s.cloneObject(nullptr, &map), nullptr);
}

TEST(SceneSort, OverlaysOfEqualZKeepTheOrderTheyWereRegisteredInWhateverMoved) {
  Scene s;
  std::vector<MDL_Object*> made;
  for (int i = 0; i < 7; ++i) {
    MDL_Object* o = new MDL_Object;
    o->type = OBJECT_IMAGE;
    s.registerObject(o);
    made.push_back(o);
  }
  MDL_Object* mesh = new MDL_Object;  // not an overlay: stays out of the list
  mesh->type = OBJECT_MESH;
  s.registerObject(mesh);
  const auto order = [&s] { return std::vector<MDL_Object*>(s.overlays.data, s.overlays.data + s.overlays.count); };
  // One z: the same order at every sort.
  for (int frame = 0; frame < 3; ++frame) {
    s.sortOverlays();
    EXPECT_EQ(order(), made) << frame;
  }
  // The second rises above the rest, then comes back down among them.
  made[1]->editLocal().position.z = 5;
  s.sortOverlays();
  EXPECT_EQ(s.overlays[6], made[1]);
  made[1]->editLocal().position.z = 0;
  s.sortOverlays();
  EXPECT_EQ(order(), made);
  // A z that is not a number counts as the lowest.
  made[4]->editLocal().position.z = std::nan("");
  made[2]->editLocal().position.z = -1;
  s.sortOverlays();
  EXPECT_EQ(order(), (std::vector<MDL_Object*>{made[4], made[2], made[0], made[1], made[3], made[5], made[6]}));
  // Deleted ones leave the rest in order.
  made[0]->pendingDelete = 1;
  made[4]->editLocal().position.z = 0;
  s.purgeDeleted();
  s.sortOverlays();
  EXPECT_EQ(order(), (std::vector<MDL_Object*>{made[2], made[1], made[3], made[4], made[5], made[6]}));
}

TEST(SceneSort, CompareDepthOrdersByWorldZ) {
  MDL_Object a, b, c;
  a.editLocal().position = Vec3(0, 0, 3);
  b.editLocal().position = Vec3(5, 0, -1);
  c.editLocal().position = Vec3(0, 9, 3);
  MDL_Object* list[] = {&a, &b, &c};
  EXPECT_EQ(compareDepth(&list[0], &list[1]), 1);
  EXPECT_EQ(compareDepth(&list[1], &list[0]), -1);
  EXPECT_EQ(compareDepth(&list[0], &list[2]), 0);
  qsortBM(list, 3, sizeof list[0], compareDepth);
  EXPECT_EQ(list[0], &b);
}

}  // namespace
