// MDL_Object: the base of every scene object, with its place in the object
// tree and its two placements (world and local), one of which is always
// valid while the other is recomputed on demand.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/assert.h"
#include "model/callbacks.h"
#include "model/constants.h"
#include "model/vec3.h"

class TiXmlElement;
class Scene;
struct CloneMap;

// Subclasses written elsewhere; each derives from MDL_Object (MDL_AnimatedMesh
// from MDL_Mesh) and writes its type code in its constructor.
class MDL_Lamp;
class MDL_Camera;
class MDL_Mesh;
class MDL_RigidBody;
class MDL_Sound;
class MDL_Bone;
class MDL_AnimatedMesh;
class MDL_Text;
class MDL_Image;
class MDL_Mike;
class MDL_Polyline;
class MDL_CollisionVolume;

enum ObjectType {
  OBJECT_NONE = 0,
  OBJECT_LAMP = 1,
  OBJECT_CAMERA = 2,
  OBJECT_MESH = 3,
  OBJECT_RIGID_BODY = 4,
  OBJECT_SOUND = 5,
  OBJECT_BONE = 6,
  OBJECT_ANIMATED_MESH = 7,
  OBJECT_TEXT = 8,
  OBJECT_RTF_TEXT = 9,  // a name in the type table only; no object has it
  OBJECT_IMAGE = 10,
  OBJECT_MIKE = 11,
  OBJECT_POLYLINE = 12,
  OBJECT_COLLISION_VOLUME = 13,
  OBJECT_LOCATOR = 14,
  OBJECT_TYPE_COUNT = 15,
};

// The models-set type names ("None", "Lamp", ... "Locator"); null outside 0-14.
const char* MDL_objectTypeName(int type);

enum StateBits : uint32_t {
  STATE_ACTIVE = 1,
  STATE_MOVABLE = 2,
  STATE_VISIBLE = 4,
  STATE_CONSTRAIN_MOUSE = 8,
  STATE_BACKGROUND = 16,
  STATE_ALL = 31,
};

// The first base of every scene object: the link to its script proxy.
struct MDL_Proxy {
  LMP_ProxyRef proxy;
};

class MDL_Object : public MDL_Proxy {
 public:
  // The tree links and the flags that every move and tree walk reads come
  // first, side by side: the physics step walks thousands of small subtrees
  // a step and touches little else of most objects.
  int32_t type = OBJECT_NONE;
  uint8_t changed = 1;  // set on every placement change; consumers clear it
  uint8_t pendingDelete = 0;
  uint8_t worldValid = 1;
  uint8_t localValid = 1;
  MDL_Object* firstChild = nullptr;
  MDL_Object* nextSibling = nullptr;
  MDL_Object* parent = nullptr;
  Scene* scene = nullptr;
  char* name = nullptr;  // owned, may be null
  double maxMouseMove = kDoubleMax;
  uint32_t state = STATE_VISIBLE;
  RigidTransform world;
  RigidTransform local;  // relative to the parent; equal to world for a root

  MDL_Object() = default;
  // Copies type, name, both placements with their valid flags, state,
  // changed and maxMouseMove; the copy has no proxy, tree links or scene.
  MDL_Object(const MDL_Object& other);
  MDL_Object& operator=(const MDL_Object&) = delete;
  // Frees the name and releases the proxy. Does not unlink from the tree
  // or the scene: the scene does that.
  virtual ~MDL_Object();

  // Whether a point in overlay coordinates lies on the object.
  virtual bool hitTest(const Vec2& point);
  // Reads name and "matrix" from a models-set element.
  virtual bool loadXml(const TiXmlElement* element);
  virtual bool acceptsAll(const void* a, const void* b);
  // A new object of the same class copied from this one (the copy
  // constructor of the most derived class). Every class that the scene
  // clones (types 1-7, 13, 14) overrides it; the base copies only plain
  // objects (type 0) and answers null for any other type.
  virtual MDL_Object* copyObject() const;
  // Called on a fresh clone while a subtree is instantiated, so that
  // pointers to other objects (an animated mesh's bones) can be replaced
  // by their clones through scene.cloneObject(old, map).
  virtual void remapClonedLinks(Scene& scene, CloneMap* map);

  void setName(const char* newName);

  // World placement, recomputed first when stale.
  RigidTransform& getWorld() {
    if (!worldValid) refreshWorld();
    return world;
  }
  void ensureWorld() { getWorld(); }
  // Writable placements: whoever moves an object writes through one of
  // these. The descendants keep their local placement and follow.
  RigidTransform& editLocal();
  RigidTransform& editWorld();
  // editWorld for a caller that writes the position only: the cached
  // inverse of the basis stays good.
  RigidTransform& editWorldPosition();
  // Each descendant takes its placement relative to its parent as
  // authoritative and marks its world stale.
  void invalidateDescendants();
  // Counts placement changes of any object: every move, link and
  // registration passes through invalidateDescendants, which bumps it. A
  // pass that caches placements can tell from it whether any changed.
  static uint64_t placementEpoch;
  // Counts changes of any parent link; whoever caches what lies above an
  // object (its owning body) checks it. Every parent write goes through
  // setParent, addChild or unlinkFromParent.
  static uint64_t linkEpoch;
  void setParent(MDL_Object* p) {
    parent = p;
    ++linkEpoch;
  }

  // Makes child the last child, keeping its world placement. The caller
  // first unlinks child from its former parent's list (unlinkFromParent);
  // child's parent pointer still names that former parent. Refuses (false)
  // a null child, the object itself and any of its ancestors.
  bool addChild(MDL_Object* child);
  // Removes the object from its parent's child list and clears its
  // nextSibling; the parent pointer is left for the caller to change.
  void unlinkFromParent();
  // A direct child by name first, then each child's subtree in order.
  MDL_Object* getDescendant(const char* wanted);

  // Visits every descendant in depth-first order, children in sibling
  // order: pre(o) before o's subtree, post(o) after it. Neither may relink
  // the tree. A pre that answers a bool ends the walk by answering true.
  // No stack: the way back up follows the parent links, so a chain of any
  // depth costs time linear in its length.
  template <class Pre, class Post>
  void walkDescendants(Pre pre, Post post);
  template <class Visit>
  void forEachDescendant(Visit visit) {
    walkDescendants(visit, [](MDL_Object*) {});
  }

  // Applied to every descendant, never to the object itself.
  void setState(uint32_t mask);
  void enableState(uint32_t mask);
  void disableState(uint32_t mask);
  void toggleState(uint32_t mask);
  void setMaxMouseMove(double d);

  // world := parent world o local (the stale path of getWorld).
  void refreshWorld();
  // Placement helpers of the recompute rules.
  void recomputeLocal();
  void recomputeWorld() { getWorld(); }
};

template <class Pre, class Post>
void MDL_Object::walkDescendants(Pre pre, Post post) {
  MDL_Object* o = firstChild;
  while (o) {
    if constexpr (std::is_same_v<decltype(pre(o)), bool>) {
      if (pre(o)) return;
    } else {
      pre(o);
    }
    if (o->firstChild) {
      VS_ASSERT(o->firstChild->parent == o);
      o = o->firstChild;
      continue;
    }
    // A leaf: finish it and every ancestor whose last child it ends.
    for (;;) {
      post(o);
      if (o->nextSibling) {
        o = o->nextSibling;
        break;
      }
      o = o->parent;
      if (!o || o == this) {
        o = nullptr;
        break;
      }
    }
  }
}

// Locator objects add nothing to the base.
class MDL_Locator : public MDL_Object {
 public:
  MDL_Locator() { type = OBJECT_LOCATOR; }
  MDL_Locator(const MDL_Locator& other) = default;
  MDL_Object* copyObject() const override { return new MDL_Locator(*this); }
};

// A fresh malloc copy of s (null for null), freed with free().
char* MDL_copyString(const char* s);
