#include "model/object.h"

#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "model/xml_values.h"

namespace {

const char* const kTypeNames[OBJECT_TYPE_COUNT] = {
    "None", "Lamp",    "Camera", "Mesh", "RigidBody", "Sound",           "Bone",    "AnimatedMesh",
    "Text", "RtfText", "Image",  "Mike", "Polyline",  "CollisionVolume", "Locator",
};

}  // namespace

const char* MDL_objectTypeName(int type) { return type >= 0 && type < OBJECT_TYPE_COUNT ? kTypeNames[type] : nullptr; }

char* MDL_copyString(const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, s, n);
  return copy;
}

MDL_Object::MDL_Object(const MDL_Object& o)
    : MDL_Proxy(),
      type(o.type),
      changed(o.changed),
      worldValid(o.worldValid),
      localValid(o.localValid),
      name(MDL_copyString(o.name)),
      maxMouseMove(o.maxMouseMove),
      state(o.state),
      world(o.world),
      local(o.local) {}

MDL_Object::~MDL_Object() {
  std::free(name);
  name = nullptr;
  proxy.release();
}

bool MDL_Object::hitTest(const Vec2&) { return false; }

bool MDL_Object::acceptsAll(const void*, const void*) { return true; }

// A subclass that forgot its own copy would come back sliced to the base
// with its type code still set, which every cast by type would misread:
// such an object is not copied at all.
MDL_Object* MDL_Object::copyObject() const { return type == OBJECT_NONE ? new MDL_Object(*this) : nullptr; }

void MDL_Object::remapClonedLinks(Scene&, CloneMap*) {}

void MDL_Object::setName(const char* newName) {
  char* copy = MDL_copyString(newName);
  std::free(name);
  name = copy;
}

bool MDL_Object::loadXml(const TiXmlElement* element) {
  if (!element) return true;
  setName(element->Attribute("name"));
  // Column order: X axis, Y axis, Z axis, position, each followed by an
  // ignored fourth number. A matrix with fewer than 16 numbers would leave
  // axes undefined; it is ignored and the object keeps its placement.
  double m[16];
  if (readRealsChild(element, "matrix", m, 16)) {
    RigidTransform& t = editLocal();
    t.basis.axis[0] = Vec3(m[0], m[1], m[2]);
    t.basis.axis[1] = Vec3(m[4], m[5], m[6]);
    t.basis.axis[2] = Vec3(m[8], m[9], m[10]);
    t.position = Vec3(m[12], m[13], m[14]);
    t.inverseStale = 1;
  }
  return true;
}

void MDL_Object::refreshWorld() {
  // Every stale ancestor is refreshed first, top down. The way up turns
  // each parent link round to point at the child below it, and the way
  // down turns it back, so a stale chain of any depth needs no stack.
  MDL_Object* below = nullptr;
  MDL_Object* o = this;
  while (o->parent && !o->parent->worldValid) {
    MDL_Object* up = o->parent;
    o->parent = below;
    below = o;
    o = up;
  }
  for (;;) {
    if (o->parent) {
      // The inverse is left stale by the composition: only these two count.
      o->world.position = o->local.position;
      o->world.basis = o->local.basis;
      o->parent->world.compose(o->world);
    } else {
      o->world = o->local;
    }
    o->worldValid = 1;
    if (!below) break;
    MDL_Object* next = below;
    below = next->parent;
    next->parent = o;
    o = next;
  }
}

void MDL_Object::recomputeLocal() {
  if (!localValid) {
    local = world;
    if (parent) parent->getWorld().makeRelative(local);
    localValid = 1;
  }
}

RigidTransform& MDL_Object::editLocal() {
  changed = 1;
  recomputeLocal();
  invalidateDescendants();
  worldValid = 0;
  // The caller is about to write it; never hand out a cache that may lie.
  local.inverseStale = 1;
  return local;
}

RigidTransform& MDL_Object::editWorld() {
  editWorldPosition();
  world.inverseStale = 1;
  return world;
}

RigidTransform& MDL_Object::editWorldPosition() {
  changed = 1;
  getWorld();
  invalidateDescendants();
  localValid = 0;
  return world;
}

uint64_t MDL_Object::placementEpoch = 0;
uint64_t MDL_Object::linkEpoch = 1;

void MDL_Object::invalidateDescendants() {
  ++placementEpoch;
  walkDescendants(
      // Against the parent's world, still the pre-edit one: a parent's
      // world is only marked stale once its whole subtree is done.
      [](MDL_Object* c) { c->recomputeLocal(); },
      [](MDL_Object* c) {
        c->worldValid = 0;
        c->changed = 1;
      });
}

bool MDL_Object::addChild(MDL_Object* child) {
  if (!child || child == this) return false;
  // Only an object with children can be an ancestor: a new leaf, the usual
  // case, is linked without a walk to the root.
  if (child->firstChild)
    for (MDL_Object* a = parent; a; a = a->parent)
      if (a == child) return false;  // would make a cycle
  child->nextSibling = nullptr;
  if (!firstChild) {
    firstChild = child;
  } else {
    MDL_Object* last = firstChild;
    while (last->nextSibling) last = last->nextSibling;
    last->nextSibling = child;
  }
  child->changed = 1;
  child->getWorld();  // against the former parent
  child->invalidateDescendants();
  child->localValid = 0;
  child->setParent(this);
  return true;
}

void MDL_Object::unlinkFromParent() {
  ++linkEpoch;
  if (parent) {
    if (parent->firstChild == this) {
      parent->firstChild = nextSibling;
    } else {
      for (MDL_Object* c = parent->firstChild; c; c = c->nextSibling) {
        if (c->nextSibling == this) {
          c->nextSibling = nextSibling;
          break;
        }
      }
    }
  }
  nextSibling = nullptr;
}

namespace {

MDL_Object* childNamed(MDL_Object* o, const char* wanted) {
  for (MDL_Object* c = o->firstChild; c; c = c->nextSibling)
    if (c->name && std::strcmp(c->name, wanted) == 0) return c;
  return nullptr;
}

}  // namespace

MDL_Object* MDL_Object::getDescendant(const char* wanted) {
  if (!wanted) return nullptr;
  // Each object's children are searched by name before any of their
  // subtrees, objects taken in depth-first order: this one first.
  if (MDL_Object* hit = childNamed(this, wanted)) return hit;
  MDL_Object* found = nullptr;
  walkDescendants([&](MDL_Object* o) { return (found = childNamed(o, wanted)) != nullptr; }, [](MDL_Object*) {});
  return found;
}

void MDL_Object::setState(uint32_t mask) {
  forEachDescendant([mask](MDL_Object* c) { c->state = mask; });
}

void MDL_Object::enableState(uint32_t mask) {
  forEachDescendant([mask](MDL_Object* c) { c->state |= mask; });
}

void MDL_Object::disableState(uint32_t mask) {
  forEachDescendant([mask](MDL_Object* c) { c->state &= ~mask; });
}

void MDL_Object::toggleState(uint32_t mask) {
  forEachDescendant([mask](MDL_Object* c) { c->state ^= mask; });
}

void MDL_Object::setMaxMouseMove(double d) {
  forEachDescendant([d](MDL_Object* c) { c->maxMouseMove = d; });
}
