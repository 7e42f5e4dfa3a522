// The models-set loader: one XML file of the package becomes a ModelsSet, in
// passes (textures, materials, meshes, animated meshes, animations, objects,
// object links, skinning bind), so that every name an entry uses is known by
// the time it is looked up, whatever the order of the file.
#include "controller/models_set.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <tinyxml.h>

#include "controller/ctrl_generic.h"
#include "core/debug_log.h"
#include "model/animated_mesh.h"
#include "model/bone.h"
#include "model/camera.h"
#include "model/collision_volume.h"
#include "model/image_source.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/mesh_data.h"
#include "model/object.h"
#include "model/sound.h"
#include "model/xml_values.h"

namespace {

// Deeper trees than this are cut when linked: every walk over the object
// tree (placements, instantiation, deletion) goes up or down its depth.
constexpr int32_t kMaxTreeDepth = 1024;

// An "object" entry and what the creation pass made of it.
struct Entry {
  const TiXmlElement* element;
  MDL_Object* object;
};

// The first record of the list whose name is exactly `wanted`; null for a
// null name or no match.
template <class T>
T* findNamed(const PtrArray<T>& list, const char* wanted) {
  if (!wanted) return nullptr;
  for (T* item : list)
    if (item && item->name && std::strcmp(item->name, wanted) == 0) return item;
  return nullptr;
}

// Finds records by name as findNamed does (the first in list order), from a
// sorted list of the names made once, so that linking n records costs
// n log n rather than n x n. Without memory for the list it asks findNamed.
template <class T>
class NameIndex {
 public:
  explicit NameIndex(const PtrArray<T>& list) : list_(list) {
    for (int32_t i = 0; i < list.count; ++i)
      if (list[i] && list[i]->name && !named_.append(Named{list[i]->name, i})) {
        named_.freeStorage();
        failed_ = true;
        return;
      }
    // Equal names keep their list order, so the first of them is found.
    std::sort(named_.begin(), named_.end(), [](const Named& a, const Named& b) {
      const int order = std::strcmp(a.name, b.name);
      return order != 0 ? order < 0 : a.index < b.index;
    });
  }

  T* find(const char* wanted) const {
    if (!wanted) return nullptr;
    if (failed_) return findNamed(list_, wanted);
    const Named* at = std::lower_bound(named_.begin(), named_.end(), wanted,
                                       [](const Named& a, const char* w) { return std::strcmp(a.name, w) < 0; });
    return at != named_.end() && std::strcmp(at->name, wanted) == 0 ? list_[at->index] : nullptr;
  }

 private:
  struct Named {
    const char* name;
    int32_t index;
  };
  const PtrArray<T>& list_;
  GrowArray<Named> named_;
  bool failed_ = false;
};

// The name indexes of one load, made once the records exist.
struct SetIndex {
  explicit SetIndex(const ModelsSet& set)
      : objects(set.objects), meshes(set.meshes), materials(set.materials), animatedMeshes(set.animatedMeshes) {}
  NameIndex<MDL_Object> objects;
  NameIndex<MeshData> meshes;
  NameIndex<Material> materials;
  NameIndex<AnimatedMeshData> animatedMeshes;
};

// Calls f(entry) for each child named `entry` of the document's first
// top-level `section` element, in document order.
template <class F>
void forEachEntry(const TiXmlDocument& doc, const char* section, const char* entry, F f) {
  const TiXmlElement* s = doc.FirstChildElement(section);
  if (!s) return;
  for (const TiXmlElement* e = s->FirstChildElement(entry); e; e = e->NextSiblingElement(entry)) f(e);
}

const char* childText(const TiXmlElement* element, const char* child) {
  return elementText(element->FirstChildElement(child));
}

// Reads every entry of a section into a new record of T appended to list.
template <class T>
void loadRecords(const TiXmlDocument& doc, const char* section, const char* entry, PtrArray<T>& list) {
  forEachEntry(doc, section, entry, [&list](const TiXmlElement* e) {
    T* record = new (std::nothrow) T();
    if (!record) return;
    record->loadXml(e);
    if (!list.append(record)) delete record;
  });
}

void loadTextures(const TiXmlDocument& doc, ModelsSet& set) {
  forEachEntry(doc, "textures", "texture", [&set](const TiXmlElement* e) {
    const char* name = e->Attribute("name");
    int size = 0;
    intAttribute(e, "size", &size);
    if (size < 0) size = 0;
    if (size > kModelsSetMaxElements) {
      debugPrintf("Models set %s: texture %s of %d bytes refused", set.name, name ? name : "", size);
      size = 0;
    }
    // Zero-filled, so that a short or missing text leaves zeros, not garbage;
    // the header is sniffed once the bytes are in.
    unsigned char* data = size > 0 ? static_cast<unsigned char*>(std::calloc(static_cast<size_t>(size), 1)) : nullptr;
    if (!data && size > 0)
      debugPrintf("Models set %s: texture %s of %d bytes does not fit in memory: dropped", set.name, name ? name : "",
                  size);
    if (!data) size = 0;
    const char* text = elementText(e);
    if (data && text) hexDecode(text, size, data);
    ImageSource* source = new (std::nothrow) ImageSource(name, data, size, data != nullptr);
    if (!source) {
      std::free(data);
      return;
    }
    source->filter = CTRL_textureFilterCode(e->Attribute("filter"));
    if (!set.textures.append(source)) delete source;
  });
}

void loadMaterials(const TiXmlDocument& doc, ModelsSet& set) {
  forEachEntry(doc, "materials", "material", [&set](const TiXmlElement* e) {
    Material* material = new (std::nothrow) Material();
    if (!material) return;
    material->loadXml(e, set.textures);
    if (!set.materials.append(material)) material->destroy();
  });
}

int32_t typeCode(const char* text) {
  if (!text) return -1;
  for (int32_t type = 0; type < OBJECT_TYPE_COUNT; ++type)
    if (std::strcmp(MDL_objectTypeName(type), text) == 0) return type;
  return -1;
}

int32_t volumeShape(const char* text) {
  if (!text) return 0;
  if (std::strcmp(text, "sphere") == 0) return SHAPE_SPHERE;
  if (std::strcmp(text, "box") == 0) return SHAPE_BOX;
  if (std::strcmp(text, "cylinder") == 0) return SHAPE_CYLINDER;
  return 0;
}

// A new object of the entry's type; null for the types a models set does
// not make. *stop is set by a collision volume without a known shape, which
// ends the creation pass.
MDL_Object* newObjectFor(const TiXmlElement* e, bool* stop) {
  switch (typeCode(e->Attribute("type"))) {
    case OBJECT_NONE:
      return new (std::nothrow) MDL_Object();
    case OBJECT_LAMP:
      return new (std::nothrow) MDL_Lamp();
    case OBJECT_CAMERA:
      return new (std::nothrow) MDL_Camera();
    case OBJECT_MESH:
      return new (std::nothrow) MDL_Mesh();
    case OBJECT_SOUND:
      return new (std::nothrow) MDL_Sound();
    case OBJECT_BONE:
      return new (std::nothrow) MDL_Bone();
    case OBJECT_ANIMATED_MESH:
      return new (std::nothrow) MDL_AnimatedMesh();
    case OBJECT_LOCATOR:
      return new (std::nothrow) MDL_Locator();
    case OBJECT_COLLISION_VOLUME: {
      int32_t shape = volumeShape(childText(e, "volume_type"));
      if (shape == 0) {
        *stop = true;
        return nullptr;
      }
      return new (std::nothrow) MDL_CollisionVolume(shape);
    }
    default:
      return nullptr;
  }
}

// Pass 1: one object per entry of a type the set makes, each read by its own
// reader. Entries that make nothing are not paired.
void createObjects(const TiXmlDocument& doc, ModelsSet& set, GrowArray<Entry>& entries) {
  bool stop = false;
  forEachEntry(doc, "objects", "object", [&](const TiXmlElement* e) {
    if (stop) return;
    MDL_Object* object = newObjectFor(e, &stop);
    if (!object) return;
    object->loadXml(e);
    if (!set.objects.append(object)) {
      delete object;
      return;
    }
    entries.append(Entry{e, object});
  });
}

// How many ancestors `object` has, walking up at most kMaxTreeDepth steps;
// -1 when `object` or an ancestor is `avoid` (a link would close a loop).
int32_t depthAvoiding(const MDL_Object* object, const MDL_Object* avoid) {
  int32_t depth = 0;
  for (const MDL_Object* a = object; a; a = a->parent, ++depth) {
    if (a == avoid) return -1;
    if (depth > kMaxTreeDepth) return depth;
  }
  return depth - 1;
}

void linkParent(ModelsSet& set, const SetIndex& index, MDL_Object* object, const char* parentName) {
  MDL_Object* parent = index.objects.find(parentName);
  if (!parent) return;
  // Linking to itself or below itself would close a loop that every tree
  // walk would then follow forever.
  int32_t depth = depthAvoiding(parent, object);
  if (depth < 0) return;
  if (depth >= kMaxTreeDepth) {
    debugPrintf("Models set %s: %s is nested too deep", set.name, object->name ? object->name : "");
    return;
  }
  object->setParent(parent);
  object->nextSibling = parent->firstChild;
  parent->firstChild = object;
  // The local placement read from the file is now relative to the parent.
  // Objects below this one were linked earlier and are stale already, so no
  // walk down the subtree is needed.
  object->localValid = 1;
  object->worldValid = 0;
  object->changed = 1;
}

// Links made one at a time can still chain subtrees deeper than the bound;
// any object that ends up too deep is cut loose as a root of its own.
void cutDeepChains(ModelsSet& set) {
  for (MDL_Object* object : set.objects) {
    MDL_Object* a = object;
    for (int32_t depth = 0; a && depth < kMaxTreeDepth; ++depth) a = a->parent;
    if (!a || !a->parent) continue;
    debugPrintf("Models set %s: %s is nested too deep", set.name, a->name ? a->name : "");
    // Its file placement becomes its world placement: working out the old
    // one would mean walking the over-deep chain above it.
    a->unlinkFromParent();
    a->setParent(nullptr);
    a->localValid = 1;
    a->worldValid = 0;
  }
}

// Pass 2: parents, geometry and looks, each by name among the set's records.
void linkObjects(ModelsSet& set, const SetIndex& index, const GrowArray<Entry>& entries) {
  for (const Entry& entry : entries) {
    MDL_Object* object = entry.object;
    if (const char* parentName = childText(entry.element, "parent")) linkParent(set, index, object, parentName);
    if (object->type != OBJECT_MESH && object->type != OBJECT_ANIMATED_MESH) continue;
    MDL_Mesh* mesh = static_cast<MDL_Mesh*>(object);
    if (entry.element->FirstChildElement("mesh")) mesh->meshData = index.meshes.find(childText(entry.element, "mesh"));
    if (entry.element->FirstChildElement("material"))
      mesh->material = index.materials.find(childText(entry.element, "material"));
  }
  cutDeepChains(set);
}

void swapBonePoses(ModelsSet& set) {
  for (MDL_Object* object : set.objects)
    if (object->type == OBJECT_BONE) static_cast<MDL_Bone*>(object)->swapPose();
}

// Entries a group can use: weights and vertex indices both present.
int32_t usableEntries(const AnimatedMeshData& group) {
  if (!group.vertexIndices || !group.weights) return 0;
  return group.count < group.weightCount ? group.count : group.weightCount;
}

// The group's vertices and normals in the bone's frame, with the mesh where
// it stands now; each weight is added to its vertex's total. False (the
// group stays unbound) when out of memory.
bool bindGroup(MDL_AnimatedMesh& mesh, MDL_Bone& bone, AnimatedMeshData& group, double* totals) {
  const MeshData& data = *mesh.meshData;
  const int32_t n = usableEntries(group);
  if (n <= 0) return false;
  group.restPositions = new (std::nothrow) Vec3[static_cast<size_t>(n)]();
  group.restNormals = new (std::nothrow) Vec3[static_cast<size_t>(n)]();
  if (!group.restPositions || !group.restNormals) {
    delete[] group.restPositions;
    delete[] group.restNormals;
    group.restPositions = group.restNormals = nullptr;
    return false;
  }
  RigidTransform t = mesh.getWorld();
  bone.getWorld().makeRelative(t);
  for (int32_t j = 0; j < n; ++j) {
    const int32_t v = group.vertexIndices[j];
    if (v < 0 || v >= data.vertexCount) continue;
    totals[v] += group.weights[j];
    group.restPositions[j] = t.basis * data.vertices[v] + t.position;
    if (data.normals) group.restNormals[j] = t.basis * data.normals[v];
  }
  return true;
}

// Binds one animated mesh to the groups and bones its entry names, pair by
// pair, then scales the weights it bound so that each vertex's sum to 1.
void bindAnimatedMesh(ModelsSet& set, const SetIndex& index, MDL_AnimatedMesh& mesh, const TiXmlElement* pairs) {
  MeshData* data = mesh.meshData;
  if (!data) return;
  int32_t slots = 0;
  for (const TiXmlElement* g = pairs->FirstChildElement("animated_mesh"); g && slots <= MDL_AnimatedMesh::kMaxBones;
       g = g->NextSiblingElement("animated_mesh"))
    ++slots;
  if (!mesh.allocateBones(slots)) {
    debugPrintf("Models set %s: %s has too many bones", set.name, mesh.name ? mesh.name : "");
    return;
  }
  double* totals =
      data->vertexCount > 0 ? new (std::nothrow) double[static_cast<size_t>(data->vertexCount)]() : nullptr;
  if (data->vertexCount > 0 && !totals) return;
  // Groups whose rest arrays this mesh made; a group an earlier mesh bound
  // keeps the weights that mesh scaled.
  GrowArray<AnimatedMeshData*> bound;
  const TiXmlElement* g = pairs->FirstChildElement("animated_mesh");
  const TiXmlElement* b = pairs->FirstChildElement("bone");
  for (int32_t i = 0; i < slots; ++i) {
    AnimatedMeshData* group = index.animatedMeshes.find(elementText(g));
    MDL_Object* bone = b ? index.objects.find(elementText(b)) : nullptr;
    if (bone && bone->type != OBJECT_BONE) bone = nullptr;
    mesh.boneData[i] = group;
    mesh.bones[i] = static_cast<MDL_Bone*>(bone);
    if (group && bone && !group->restPositions && bindGroup(mesh, *static_cast<MDL_Bone*>(bone), *group, totals))
      bound.append(group);
    g = g->NextSiblingElement("animated_mesh");
    if (b) b = b->NextSiblingElement("bone");
  }
  for (AnimatedMeshData* group : bound) {
    const int32_t n = usableEntries(*group);
    for (int32_t j = 0; j < n; ++j) {
      const int32_t v = group->vertexIndices[j];
      if (v >= 0 && v < data->vertexCount && totals[v] != 0) group->weights[j] /= totals[v];
    }
  }
  delete[] totals;
}

// Pass 3: every animated mesh is bound with its bones in their rest pose
// ("original_matrix"); the poses are swapped back afterwards, so the bones
// stand as the file placed them and keep the rest pose for skinning.
void bindSkinning(ModelsSet& set, const SetIndex& index, const GrowArray<Entry>& entries) {
  swapBonePoses(set);
  for (const Entry& entry : entries) {
    const TiXmlElement* pairs = entry.element->FirstChildElement("animated_meshes");
    if (!pairs || entry.object->type != OBJECT_ANIMATED_MESH) continue;
    bindAnimatedMesh(set, index, *static_cast<MDL_AnimatedMesh*>(entry.object), pairs);
  }
  // Every animated mesh with geometry gets its skinned arrays, bound or not,
  // starting from the rest shape.
  for (MDL_Object* object : set.objects)
    if (object->type == OBJECT_ANIMATED_MESH) static_cast<MDL_AnimatedMesh*>(object)->allocateSkinned();
  swapBonePoses(set);
}

}  // namespace

int32_t CTRL_textureFilterCode(const char* text) {
  if (!text) return 0;
  if (std::strcmp(text, "nearest_point") == 0) return 1;
  if (std::strcmp(text, "linear") == 0) return 2;
  if (std::strcmp(text, "mipmap") == 0) return 3;
  return 0;
}

ModelsSet::~ModelsSet() {
  for (MDL_Object* object : objects) delete object;
  objects.freeStorage();
  for (Material* material : materials) material->destroy();
  materials.freeStorage();
  for (ImageSource* texture : textures) CTRL_destroyImageSource(texture);
  textures.freeStorage();
  for (MeshData* mesh : meshes) delete mesh;
  meshes.freeStorage();
  for (AnimatedMeshData* group : animatedMeshes) delete group;
  animatedMeshes.freeStorage();
  for (AnimationData* animation : animations) delete animation;
  animations.freeStorage();
  std::free(name);
  name = nullptr;
}

MDL_Object* ModelsSet::findByName(const char* wanted) const { return findNamed(objects, wanted); }

ModelsSet* CTRL_Generic::loadModelsSet(const char* fileName) {
  uint8_t* text = nullptr;
  int32_t size = 0;
  bool mustFree = readFile(fileName, &text, &size, true);
  if (!text) return nullptr;
  ModelsSet* set = new (std::nothrow) ModelsSet();
  if (set) set->name = MDL_copyString(fileName);
  if (!set || !set->name || !resources.modelsSets.append(set)) {
    delete set;
    if (mustFree) std::free(text);
    return nullptr;
  }

  TiXmlDocument doc(fileName);
  doc.Parse(reinterpret_cast<const char*>(text));
  if (doc.Error()) {
    resources.modelsSets.removeFirst(set);
    set->destroy();
    if (mustFree) std::free(text);
    return nullptr;
  }

  loadTextures(doc, *set);
  loadMaterials(doc, *set);
  loadRecords(doc, "meshes", "mesh", set->meshes);
  loadRecords(doc, "animated_meshes", "animated_mesh", set->animatedMeshes);
  loadRecords(doc, "animations", "animation", set->animations);
  GrowArray<Entry> entries;
  createObjects(doc, *set, entries);
  const SetIndex index(*set);
  linkObjects(*set, index, entries);
  bindSkinning(*set, index, entries);

  if (mustFree) std::free(text);
  return set;
}
