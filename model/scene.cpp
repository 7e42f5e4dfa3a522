#include "model/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/assert.h"
#include "model/animated_mesh.h"
#include "model/contact_sweep.h"

MDL_Object* CloneMap::find(const MDL_Object* source) const {
  if (const int32_t* at = index.find(source))
    if (*at < sources.count && *at < clones.count && sources[*at] == source) return clones[*at];
  // The index answers alone while it holds exactly the listed pairs; pairs
  // taken out by hand (or an index that ran out of memory) mean a search.
  if (index.count() == sources.count) return nullptr;
  for (int32_t i = 0; i < sources.count; ++i)
    if (sources[i] == source) return clones[i];
  return nullptr;
}

bool CloneMap::add(MDL_Object* source, MDL_Object* clone) {
  if (!sources.append(source)) return false;
  if (!clones.append(clone)) {
    sources.resize(sources.count - 1);
    return false;
  }
  if (int32_t* at = index.insert(source)) *at = sources.count - 1;
  return true;
}

Scene::Scene(const char* sceneName) : name(MDL_copyString(sceneName)) {}

Scene::~Scene() {
  for (Animation* a : animations) destroyAnimation(a);
  for (MDL_Object* o : objects) delete o;
  for (Spring* s : springs) destroySpring(s);
  for (Joint* j : joints) destroyJoint(j);
  for (SweepEntry* e : sweepEntries) delete e;
  std::free(name);
  // The lists free their storage and the proxy link releases the scene's
  // proxy as the members go.
}

namespace {

PtrArray<MDL_Object>* kindList(Scene& s, int type) {
  switch (type) {
    case OBJECT_TEXT:
    case OBJECT_RTF_TEXT:
    case OBJECT_IMAGE:
    case OBJECT_POLYLINE:
      return &s.overlays;
    case OBJECT_SOUND:
      return &s.sounds;
    case OBJECT_MESH:
    case OBJECT_ANIMATED_MESH:
      return &s.meshes;
    case OBJECT_RIGID_BODY:
      return &s.rigidBodies;
    case OBJECT_COLLISION_VOLUME:
      return &s.collisionVolumes;
    case OBJECT_LAMP:
      return &s.lamps;
    case OBJECT_BONE:
      return &s.bones;
    default:
      return nullptr;  // plain objects, cameras, mikes, locators
  }
}

}  // namespace

bool Scene::registerObject(MDL_Object* object) {
  if (!object) return false;
  // Listing an object twice would delete it twice.
  if (object->scene == this && objects.indexOf(object) >= 0) return false;
  if (!objects.append(object)) return false;
  if (PtrArray<MDL_Object>* list = kindList(*this, object->type)) list->append(object);
  if (object->type == OBJECT_COLLISION_VOLUME) {
    // Both entries or neither: a refused second allocation frees the first.
    std::unique_ptr<SweepEntry> open(new SweepEntry);
    open->begin = 1;
    open->volume = object;
    std::unique_ptr<SweepEntry> close(new SweepEntry);
    close->begin = 0;
    close->volume = object;
    sweepEntries.append(open.release());
    sweepEntries.append(close.release());
  }
  object->scene = this;
  // The local placement becomes authoritative; make sure there is one
  // before the world is declared stale.
  object->recomputeLocal();
  object->worldValid = 0;
  object->invalidateDescendants();
  return true;
}

void Scene::purgeDeleted() {
  auto flagged = [](MDL_Object* o) { return o && o->pendingDelete; };

  animations.removeIf([&](Animation* a) {
    if (!flagged(animationTarget(a))) return false;
    destroyAnimation(a);
    return true;
  });
  PtrArray<MDL_Object>* lists[] = {&sounds, &meshes, &rigidBodies, &collisionVolumes, &lamps, &overlays, &bones};
  for (PtrArray<MDL_Object>* list : lists) list->removeIf(flagged);
  // Surviving animated meshes must not keep slots naming the bones that go.
  for (MDL_Object* m : meshes)
    if (m->type == OBJECT_ANIMATED_MESH) static_cast<MDL_AnimatedMesh*>(m)->forgetDeletedBones();
  // Springs and joints hold plain pointers to their bodies: drop those
  // whose bodies go, before they act on freed memory.
  springs.removeIf([](Spring* s) {
    if (!springUsesDeleted(s)) return false;
    destroySpring(s);
    return true;
  });
  joints.removeIf([](Joint* j) {
    if (!jointUsesDeleted(j)) return false;
    destroyJoint(j);
    return true;
  });
  sweepEntries.removeIf([&](SweepEntry* e) {
    if (!flagged(e->volume)) return false;
    delete e;
    return true;
  });
  sweepOpen.removeIf(flagged);

  // Normally a deleted object was unlinked from its tree first; do it here
  // for any that was not, so that no survivor keeps a pointer to it.
  for (MDL_Object* o : objects) {
    if (!o->pendingDelete) continue;
    if (o->parent && !o->parent->pendingDelete) o->unlinkFromParent();
    for (MDL_Object* c = o->firstChild; c;) {
      MDL_Object* next = c->nextSibling;
      if (!c->pendingDelete) {
        c->getWorld();  // keeps its place as a root
        c->setParent(nullptr);
        c->nextSibling = nullptr;
        c->localValid = 0;
      }
      c = next;
    }
  }
  objects.removeIf([](MDL_Object* o) {
    if (!o->pendingDelete) return false;
    delete o;
    return true;
  });
}

MDL_Object* Scene::cloneObject(MDL_Object* source, CloneMap* map) {
  if (!source) return nullptr;
  if (map)
    if (MDL_Object* done = map->find(source)) return done;
  MDL_Object* clone = nullptr;
  switch (source->type) {
    case OBJECT_NONE:
    case OBJECT_LAMP:
    case OBJECT_CAMERA:
    case OBJECT_MESH:
    case OBJECT_RIGID_BODY:
    case OBJECT_SOUND:
    case OBJECT_BONE:
    case OBJECT_ANIMATED_MESH:
    case OBJECT_COLLISION_VOLUME:
    case OBJECT_LOCATOR:
      // The copy takes the local placement; make sure it is current.
      source->recomputeLocal();
      clone = source->copyObject();
      break;
    default:
      return nullptr;  // texts, images, mikes and polylines are not cloned
  }
  if (clone && map) map->add(source, clone);
  return clone;
}

// Clones one object of an instantiated subtree; null when it is not cloned.
// fresh: a new clone, registered here, whose source children are still to
// copy; an object cloned and placed before (reached twice) is not.
MDL_Object* Scene::startClone(MDL_Object* source, CloneMap* map, bool* fresh) {
  *fresh = false;
  MDL_Object* clone = cloneObject(source, map);
  if (!clone || clone->scene) return clone;
  clone->worldValid = 0;  // a root clone stands where the source's local says
  clone->invalidateDescendants();
  registerObject(clone);
  clone->remapClonedLinks(*this, map);
  *fresh = true;
  return clone;
}

MDL_Object* Scene::instantiateTree(MDL_Object* source, CloneMap* map) {
  // Depth first with a stack of its own, so that a chain of any depth is
  // copied: each frame is a clone whose source children are being copied.
  struct Frame {
    MDL_Object* clone;
    MDL_Object* next;  // the source child to copy next
    MDL_Object* last;  // the clone's last linked child
  };
  bool fresh = false;
  MDL_Object* root = startClone(source, map, &fresh);
  if (!fresh) return root;
  std::vector<Frame> stack;
  stack.push_back(Frame{root, source->firstChild, nullptr});
  while (!stack.empty()) {
    Frame& f = stack.back();
    MDL_Object* c = f.next;
    if (!c) {
      stack.pop_back();
      continue;
    }
    f.next = c->nextSibling;
    // Objects that are not cloned are skipped with their subtrees.
    MDL_Object* child = startClone(c, map, &fresh);
    if (!child || child->parent) continue;
    const bool belowRoot = f.clone != root;
    child->nextSibling = nullptr;
    if (f.last)
      f.last->nextSibling = child;
    else
      f.clone->firstChild = child;
    f.last = child;
    child->setParent(f.clone);
    child->worldValid = 0;
    if (!fresh) {
      child->invalidateDescendants();
      if (belowRoot) child->changed = 1;
      continue;
    }
    // A fresh clone holds a valid local placement (copied after the
    // source brought its own up to date), so marking each clone stale as
    // it is linked leaves the subtree as walking it after every link
    // would: stale worlds, and changed set on all but the root's children.
    VS_ASSERT(child->localValid);
    if (belowRoot) child->changed = 1;
    stack.push_back(Frame{child, c->firstChild, nullptr});
  }
  return root;
}

MDL_Object* Scene::instantiate(MDL_Object* source, CloneMap* map) {
  CloneMap own;
  if (!map) map = &own;
  MDL_Object* root = instantiateTree(source, map);
  // A clone made only because something in the subtree points at it (a
  // bone outside the subtree) would belong to nobody: the scene takes it.
  for (int32_t i = 0; i < map->clones.count; ++i)
    if (map->clones[i] && !map->clones[i]->scene) registerObject(map->clones[i]);
  return root;
}

MDL_Object* Scene::instantiateByName(MDL_Object* source) {
  CloneMap map;
  return instantiate(source, &map);
}

bool Scene::firePreCollision(CTRL_ScriptEngine* engine, const Vec3& point, const Vec3& normal, double depth,
                             MDL_Object* bodyA, MDL_Object* volumeA, MDL_Object* bodyB, MDL_Object* volumeB) {
  ++contactsOffered;
  // A scene whose script has no such callback keeps the contact unasked,
  // and the collision pass goes on as if no callback had run.
  if (!LMP_mayFire(proxy, engine, CB_PRE_COLLISION)) return true;
  ++contactCallbacks;
  const uint64_t before = MDL_Object::placementEpoch;
  bool keep =
      LMP_fireCallback(proxy, engine, CB_PRE_COLLISION, &point, &normal, &depth, bodyA, volumeA, bodyB, volumeB);
  if (MDL_Object::placementEpoch != before) ++placementChangesInCallbacks;
  return keep;
}

void Scene::firePostCollision(CTRL_ScriptEngine* engine, const Vec3& point, const Vec3& normal, double impulse,
                              MDL_Object* bodyA, MDL_Object* volumeA, MDL_Object* bodyB, MDL_Object* volumeB) {
  if (!LMP_mayFire(proxy, engine, CB_POST_COLLISION)) return;
  ++contactCallbacks;
  const uint64_t before = MDL_Object::placementEpoch;
  LMP_fireCallback(proxy, engine, CB_POST_COLLISION, &point, &normal, &impulse, bodyA, volumeA, bodyB, volumeB);
  if (MDL_Object::placementEpoch != before) ++placementChangesInCallbacks;
}

void Scene::sortOverlays() {
  // Only this sort reorders the list; `objects` keeps the order of
  // registration, so the overlays are put back in that order first.
  const auto isOverlay = [this](const MDL_Object* o) { return kindList(*this, o->type) == &overlays; };
  int32_t listed = 0;
  for (MDL_Object* o : objects)
    if (isOverlay(o)) ++listed;
  if (listed == overlays.count) {
    int32_t k = 0;
    for (MDL_Object* o : objects)
      if (isOverlay(o)) overlays[k++] = o;
  }
  const auto depth = [](MDL_Object* o) {
    const double z = o->getWorld().position.z;
    return std::isnan(z) ? -HUGE_VAL : z;
  };
  std::stable_sort(overlays.data, overlays.data + overlays.count,
                   [&depth](MDL_Object* a, MDL_Object* b) { return depth(a) < depth(b); });
}

int compareDepth(const void* a, const void* b) {
  MDL_Object* oa = *static_cast<MDL_Object* const*>(a);
  MDL_Object* ob = *static_cast<MDL_Object* const*>(b);
  double za = oa->getWorld().position.z, zb = ob->getWorld().position.z;
  if (za < zb) return -1;
  if (za > zb) return 1;
  return 0;
}
