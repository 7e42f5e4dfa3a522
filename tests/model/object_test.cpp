#include "model/object.h"

#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "model/fake_proxy.h"

namespace {

void expectNear(const Vec3& a, const Vec3& b, double eps = 1e-12) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

void place(MDL_Object& o, Vec3 position, double turnAboutZ) {
  RigidTransform& t = o.editLocal();
  t.position = position;
  Matrix3::fromAngles(t.basis, 0, 0, turnAboutZ);
}

std::vector<MDL_Object*> children(MDL_Object& o) {
  std::vector<MDL_Object*> out;
  for (MDL_Object* c = o.firstChild; c; c = c->nextSibling) out.push_back(c);
  return out;
}

const double kQuarter = 1.5707963267948966;

TEST(ObjectDefaults, FreshAndCopied) {
  MDL_Object o;
  EXPECT_EQ(o.type, OBJECT_NONE);
  EXPECT_EQ(o.state, uint32_t(STATE_VISIBLE));
  EXPECT_EQ(o.changed, 1);
  EXPECT_EQ(o.maxMouseMove, 1.7976931348623157e308);
  EXPECT_TRUE(o.worldValid && o.localValid);

  MDL_Object parent, src;
  src.setName("crate");
  src.state = STATE_ALL;
  place(src, Vec3(1, 2, 3), 0.5);
  parent.addChild(&src);
  src.pendingDelete = 1;
  MDL_Object copy(src);
  ASSERT_NE(copy.name, nullptr);
  EXPECT_NE(copy.name, src.name);  // its own copy
  EXPECT_STREQ(copy.name, "crate");
  EXPECT_EQ(copy.state, uint32_t(STATE_ALL));
  EXPECT_EQ(copy.parent, nullptr);
  EXPECT_EQ(copy.pendingDelete, 0);
  EXPECT_EQ(copy.firstChild, nullptr);
  EXPECT_EQ(copy.proxy.get(), nullptr);
  EXPECT_EQ(MDL_objectTypeName(14), std::string("Locator"));
  EXPECT_EQ(MDL_objectTypeName(15), nullptr);
  MDL_Locator loc;
  MDL_Object* locCopy = loc.copyObject();
  EXPECT_EQ(locCopy->type, OBJECT_LOCATOR);
  EXPECT_NE(dynamic_cast<MDL_Locator*>(locCopy), nullptr);
  delete locCopy;
  // A subclass without its own copy is not sliced into a plain object.
  struct Forgetful : MDL_Object {
    Forgetful() { type = OBJECT_MESH; }
  } forgetful;
  EXPECT_EQ(forgetful.copyObject(), nullptr);
}

TEST(ObjectPlacement, MovingAParentCarriesChildrenKeepingTheirLocal) {
  MDL_Object parent, child, grandchild;
  parent.addChild(&child);
  child.addChild(&grandchild);
  place(child, Vec3(1, 0, 0), 0);
  place(grandchild, Vec3(0, 2, 0), 0);
  expectNear(grandchild.getWorld().position, Vec3(1, 2, 0));

  place(parent, Vec3(10, 0, 0), kQuarter);  // a quarter turn about Z
  expectNear(child.local.position, Vec3(1, 0, 0));
  expectNear(grandchild.local.position, Vec3(0, 2, 0));
  expectNear(child.getWorld().position, Vec3(10, 1, 0));
  expectNear(grandchild.getWorld().position, Vec3(8, 1, 0));
  EXPECT_EQ(grandchild.changed, 1);
}

TEST(ObjectPlacement, EditWorldGivesLocalRelativeToCurrentParent) {
  MDL_Object parent, child;
  parent.addChild(&child);
  place(parent, Vec3(5, 0, 0), kQuarter);
  RigidTransform& w = child.editWorld();
  w.position = Vec3(5, 3, 0);
  EXPECT_FALSE(child.localValid);
  child.recomputeLocal();
  expectNear(child.local.position, Vec3(3, 0, 0));
  // The local inverse was recomputed for the new basis, not left over.
  expectNear(child.local.toLocalPoint(Vec3(3, 0, 0)), Vec3());
}

TEST(ObjectPlacement, EditWorldCarriesTheDescendants) {
  MDL_Object root, middle, leaf;
  root.addChild(&middle);
  middle.addChild(&leaf);
  place(root, Vec3(0, 0, 1), 0);
  place(middle, Vec3(1, 0, 0), 0);
  place(leaf, Vec3(0, 2, 0), 0);
  expectNear(leaf.getWorld().position, Vec3(1, 2, 1));
  RigidTransform& w = middle.editWorld();
  w.position = Vec3(5, 5, 5);
  Matrix3::fromAngles(w.basis, 0, 0, kQuarter);
  expectNear(leaf.getWorld().position, Vec3(3, 5, 5));
  expectNear(leaf.local.position, Vec3(0, 2, 0));
  EXPECT_EQ(leaf.changed, 1);
  // The edited object's local follows from its new world.
  middle.recomputeLocal();
  expectNear(middle.local.position, Vec3(5, 5, 4));
}

TEST(ObjectPlacement, EditHandsOutAFreshInverse) {
  MDL_Object o;
  o.getWorld().toLocalPoint(Vec3());  // caches an identity inverse
  RigidTransform& w = o.editWorld();
  Matrix3::setScale(w.basis, Vec3(2, 2, 2));  // the caller forgets the flag
  expectNear(o.getWorld().toLocalPoint(Vec3(4, 0, 0)), Vec3(2, 0, 0));
}

TEST(ObjectPlacement, AddChildKeepsWorldPlacement) {
  MDL_Object oldParent, newParent, child, grandchild;
  place(oldParent, Vec3(1, 1, 0), 0);
  place(newParent, Vec3(-4, 0, 2), kQuarter);
  oldParent.addChild(&child);
  child.addChild(&grandchild);
  place(child, Vec3(2, 0, 0), 0);
  place(grandchild, Vec3(0, 0, 1), 0);
  Vec3 before = child.getWorld().position;
  Vec3 grandBefore = grandchild.getWorld().position;

  child.unlinkFromParent();
  ASSERT_TRUE(newParent.addChild(&child));
  EXPECT_EQ(oldParent.firstChild, nullptr);
  EXPECT_EQ(child.parent, &newParent);
  expectNear(child.getWorld().position, before);
  expectNear(grandchild.getWorld().position, grandBefore);
  child.recomputeLocal();
  // (3, 1, 0) seen from (-4, 0, 2) turned a quarter: x' = y, y' = -x.
  expectNear(child.local.position, Vec3(1, -7, -2));
}

TEST(ObjectTree, AddChildRefusesCycles) {
  MDL_Object a, b;
  a.addChild(&b);
  EXPECT_FALSE(b.addChild(&a));
  EXPECT_FALSE(a.addChild(&a));
  EXPECT_FALSE(a.addChild(nullptr));
  EXPECT_EQ(b.firstChild, nullptr);
}

TEST(ObjectTree, UnlinkFirstMiddleAndLast) {
  for (int which = 0; which < 3; ++which) {
    MDL_Object parent, c[3];
    for (MDL_Object& k : c) parent.addChild(&k);
    c[which].unlinkFromParent();
    std::vector<MDL_Object*> rest = children(parent);
    ASSERT_EQ(rest.size(), 2u) << which;
    for (MDL_Object* k : rest) EXPECT_NE(k, &c[which]);
    EXPECT_EQ(c[which].nextSibling, nullptr);
    // The order of the others is kept.
    EXPECT_LT(rest[0] - c, rest[1] - c);
  }
}

TEST(ObjectTree, GetDescendantPrefersDirectChild) {
  MDL_Object root, a, deep, b;
  root.setName("target");  // the object itself is never compared
  a.setName("a");
  deep.setName("target");
  b.setName("target");
  root.addChild(&a);
  a.addChild(&deep);
  root.addChild(&b);
  MDL_Object unnamed;
  root.addChild(&unnamed);
  EXPECT_EQ(root.getDescendant("target"), &b);
  EXPECT_EQ(a.getDescendant("target"), &deep);
  EXPECT_EQ(root.getDescendant("missing"), nullptr);
  EXPECT_EQ(root.getDescendant(nullptr), nullptr);
  // Below the children, subtrees are searched in order: the first child's
  // deep match wins over a shallower one under the second.
  MDL_Object top, first, middle, deepest, second, shallow;
  deepest.setName("x");
  shallow.setName("x");
  top.addChild(&first);
  first.addChild(&middle);
  middle.addChild(&deepest);
  top.addChild(&second);
  second.addChild(&shallow);
  EXPECT_EQ(top.getDescendant("x"), &deepest);
}

TEST(ObjectTree, StateOperationsSkipTheObjectItself) {
  MDL_Object root, a, b;
  root.addChild(&a);
  a.addChild(&b);
  root.state = STATE_VISIBLE;
  root.setState(STATE_ACTIVE | STATE_MOVABLE);
  EXPECT_EQ(root.state, uint32_t(STATE_VISIBLE));
  EXPECT_EQ(a.state, uint32_t(STATE_ACTIVE | STATE_MOVABLE));
  EXPECT_EQ(b.state, uint32_t(STATE_ACTIVE | STATE_MOVABLE));
  root.disableState(STATE_MOVABLE);
  EXPECT_EQ(b.state, uint32_t(STATE_ACTIVE));
  root.enableState(STATE_BACKGROUND);
  root.toggleState(STATE_ACTIVE | STATE_VISIBLE);
  EXPECT_EQ(b.state, uint32_t(STATE_BACKGROUND | STATE_VISIBLE));
  root.setMaxMouseMove(3.0);
  EXPECT_EQ(b.maxMouseMove, 3.0);
  EXPECT_EQ(root.maxMouseMove, 1.7976931348623157e308);
}

struct XmlCase {
  const char* xml;
  const char* name;
  Vec3 position;
  Vec3 xAxis;
};

// A case shows in test names by its object's name; printed byte by byte it
// would carry its pointers and change with every build.
void PrintTo(const XmlCase& c, std::ostream* os) { *os << (c.name ? c.name : "unnamed"); }

class ObjectXml : public ::testing::TestWithParam<XmlCase> {};

TEST_P(ObjectXml, ReadsNameAndMatrix) {
  const XmlCase& c = GetParam();
  TiXmlDocument doc;
  doc.Parse(c.xml);
  ASSERT_NE(doc.RootElement(), nullptr);
  MDL_Object o;
  EXPECT_TRUE(o.loadXml(doc.RootElement()));
  if (c.name)
    EXPECT_STREQ(o.name, c.name);
  else
    EXPECT_EQ(o.name, nullptr);
  expectNear(o.getWorld().position, c.position);
  expectNear(o.getWorld().basis.X(), c.xAxis);
  EXPECT_TRUE(o.local.inverseStale);
}

INSTANTIATE_TEST_SUITE_P(
    Elements, ObjectXml,
    ::testing::Values(XmlCase{"<object name=\"box\"><matrix>0 1 0 9 -1 0 0 9 0 0 1 9 4 5 6 1</matrix></object>", "box",
                              Vec3(4, 5, 6), Vec3(0, 1, 0)},
                      XmlCase{"<object><matrix>2,0,0,0,\n0,2,0,0,\t0,0,2,0, 1,2,3,1</matrix></object>", nullptr,
                              Vec3(1, 2, 3), Vec3(2, 0, 0)},
                      XmlCase{"<object name=\"plain\"/>", "plain", Vec3(), Vec3(1, 0, 0)},
                      // Too few numbers: the matrix is ignored rather than half-read.
                      XmlCase{"<object name=\"short\"><matrix>0 1 0 0 5 5</matrix></object>", "short", Vec3(),
                              Vec3(1, 0, 0)}));

TEST(ObjectXml, MatrixIsRelativeToTheParent) {
  MDL_Object parent, child;
  place(parent, Vec3(10, 0, 0), 0);
  parent.addChild(&child);
  TiXmlDocument doc;
  doc.Parse("<object><matrix>1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1</matrix></object>");
  child.loadXml(doc.RootElement());
  expectNear(child.getWorld().position, Vec3(11, 2, 3));
}

TEST(ObjectProxyLink, DestructorReleasesTheProxy) {
  FakeProxyHooks hooks;
  FakeProxy proxy;
  {
    MDL_Object* o = new MDL_Object;
    o->proxy.assign(&proxy.base());
    o->proxy.assign(&proxy.base());  // the same proxy: no second count
    EXPECT_EQ(proxy.count, 1);
    delete o;
  }
  EXPECT_EQ(proxy.count, 0);
  EXPECT_EQ(proxy.releases, 1);
  // Reassigning releases the old proxy first.
  FakeProxy second;
  LMP_ProxyRef link;
  link.assign(&proxy.base());
  link.assign(&second.base());
  EXPECT_EQ(proxy.count, 0);
  EXPECT_EQ(second.count, 1);
  link.assign(nullptr);
  EXPECT_EQ(second.count, 0);
}

}  // namespace
