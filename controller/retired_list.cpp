// When a retired record may go: nothing in a scene, a live models set or a
// record that is itself still in use points at it, and no script holds it.
#include "controller/retired_list.h"

#include "controller/ctrl_generic.h"
#include "controller/models_set.h"
#include "controller/resource_lists.h"
#include "controller/video_stream.h"
#include "core/assert.h"
#include "model/animated_mesh.h"
#include "model/animation.h"
#include "model/font_record.h"
#include "model/hash_map.h"
#include "model/image.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/mesh_data.h"
#include "model/polyline.h"
#include "model/sample.h"
#include "model/scene.h"
#include "model/sound.h"
#include "model/text.h"
#include "view/view_generic.h"

namespace {

template <class T>
void freeAll(PtrArray<T>& list) {
  for (int32_t i = list.count - 1; i >= 0; --i) delete list[i];
  list.freeStorage();
}

template <class T>
void keep(PtrArray<T>& list, T* record) {
  VS_ASSERT(record);
  record->proxy.release();
  list.append(record);
}

// Every record pointer something still alive holds. A set that could not
// take a pointer (no memory) is not to be trusted: then nothing is freed.
class Uses {
 public:
  bool complete() const { return complete_; }
  bool has(const void* p) const { return p && seen_.find(p); }

  void add(const void* p) {
    if (!p || seen_.find(p)) return;
    if (!seen_.insert(p)) complete_ = false;
  }

  void material(const Material* m) {
    if (!m) return;
    add(m);
    for (const MaterialLayer& layer : m->layers) add(layer.image);
  }

  void object(const MDL_Object* o) {
    if (!o) return;
    switch (o->type) {
      case OBJECT_MESH:
      case OBJECT_ANIMATED_MESH: {
        const MDL_Mesh* mesh = static_cast<const MDL_Mesh*>(o);
        add(mesh->meshData);
        material(mesh->material);
        if (o->type == OBJECT_ANIMATED_MESH) {
          const MDL_AnimatedMesh* skinned = static_cast<const MDL_AnimatedMesh*>(o);
          for (int32_t i = 0; i < skinned->boneCount && skinned->boneData; ++i) add(skinned->boneData[i]);
        }
        break;
      }
      case OBJECT_IMAGE:
        material(static_cast<const MDL_Image*>(o)->material);
        break;
      case OBJECT_POLYLINE:
        material(static_cast<const MDL_Polyline*>(o)->material);
        break;
      case OBJECT_TEXT:
        add(static_cast<const MDL_Text*>(o)->font);
        break;
      case OBJECT_SOUND:
        add(static_cast<const MDL_Sound*>(o)->sample);
        break;
      default:
        break;
    }
  }

  // What a models set's own objects and looks point at.
  void modelsSet(const ModelsSet* set) {
    for (const MDL_Object* o : set->objects) object(o);
    for (const Material* m : set->materials) material(m);
  }

 private:
  HashMap<const void*, uint8_t, BytewiseEqual<const void*>, WordMixHash<const void*>> seen_;
  bool complete_ = true;
};

template <class T>
bool anyUsed(const PtrArray<T>& parts, const Uses& uses) {
  for (const T* part : parts)
    if (part && (part->proxy.held() || uses.has(part))) return true;
  return false;
}

template <class T>
bool anyPointedAt(const PtrArray<T>& parts, const Uses& uses) {
  for (const T* part : parts)
    if (uses.has(part)) return true;
  return false;
}

// A set is in use while a script holds it or any of its parts, or while
// anything alive points at one of them.
bool setInUse(const ModelsSet* set, const Uses& uses) {
  return set->proxy.held() || anyUsed(set->objects, uses) || anyUsed(set->materials, uses) ||
         anyUsed(set->textures, uses) || anyUsed(set->animations, uses) || anyPointedAt(set->meshes, uses) ||
         anyPointedAt(set->animatedMeshes, uses);
}

bool streamInUse(const VideoStream* s, const Uses& uses) {
  return s->proxy.held() || s->image.proxy.held() || s->sound.proxy.held() || uses.has(&s->image) || uses.has(&s->sound);
}

template <class T>
bool recordInUse(const T* record, const Uses& uses) {
  return record->proxy.held() || uses.has(record);
}

}  // namespace

void CTRL_RetiredList::add(ImageSource* record) { keep(textures, record); }
void CTRL_RetiredList::add(FontRecord* record) { keep(fonts, record); }
void CTRL_RetiredList::add(SoundRecord* record) { keep(samples, record); }
void CTRL_RetiredList::add(ModelsSet* record) { keep(modelsSets, record); }
void CTRL_RetiredList::add(VideoStream* record) { keep(streams, record); }

bool CTRL_RetiredList::holds(const void* record) const {
  auto in = [record](const auto& list) {
    for (const auto* item : list)
      if (static_cast<const void*>(item) == record) return true;
    return false;
  };
  return in(textures) || in(fonts) || in(samples) || in(modelsSets) || in(streams);
}

void CTRL_RetiredList::clear() {
  // Sets first: their clones' looks may show retired textures, never the
  // other way round.
  freeAll(modelsSets);
  freeAll(streams);
  for (int32_t i = textures.count - 1; i >= 0; --i) CTRL_destroyImageSource(textures[i]);
  textures.freeStorage();
  freeAll(fonts);
  freeAll(samples);
}

int32_t CTRL_ResourceLists::freeUnusedRetired(VIEW_Generic* view) {
  CTRL_RetiredList& r = retired;
  if (r.count() == 0) return 0;
  Uses uses;
  for (const Scene* scene : scenes) {
    VS_ASSERT(scene);
    for (const MDL_Object* o : scene->objects) uses.object(o);
    for (const Animation* a : scene->animations) {
      VS_ASSERT(a);
      uses.add(a->data);
    }
  }
  for (const ModelsSet* set : modelsSets) {
    VS_ASSERT(set);
    uses.modelsSet(set);
  }
  // A retired set still in use keeps what it points at in use too (a script
  // may have put another set's texture on its looks); the passes end when
  // one finds no more.
  PtrArray<ModelsSet> inUse{false};
  for (bool more = true; more && uses.complete();) {
    more = false;
    for (ModelsSet* set : r.modelsSets) {
      if (inUse.indexOf(set) >= 0 || !setInUse(set, uses)) continue;
      if (!inUse.append(set)) return 0;
      uses.modelsSet(set);
      more = true;
    }
  }
  if (!uses.complete()) return 0;

  int32_t freed = 0;
  r.modelsSets.removeIf([&](ModelsSet* set) {
    if (inUse.indexOf(set) >= 0) return false;
    if (view) {
      // The renderer keys its buffers by the geometry's address and its
      // textures by id: both go before the memory does.
      for (const MeshData* data : set->meshes) view->forgetMeshData(data);
      for (ImageSource* texture : set->textures) view->forgetTexture(texture);
    }
    set->destroy();
    ++freed;
    return true;
  });
  r.streams.removeIf([&](VideoStream* s) {
    if (streamInUse(s, uses)) return false;
    if (view) view->forgetTexture(&s->image);
    delete s;
    ++freed;
    return true;
  });
  r.textures.removeIf([&](ImageSource* t) {
    if (recordInUse(t, uses)) return false;
    if (view) view->forgetTexture(t);
    CTRL_destroyImageSource(t);
    ++freed;
    return true;
  });
  r.fonts.removeIf([&](FontRecord* f) {
    if (recordInUse(f, uses)) return false;
    delete f;
    ++freed;
    return true;
  });
  r.samples.removeIf([&](SoundRecord* s) {
    if (recordInUse(s, uses)) return false;
    delete s;
    ++freed;
    return true;
  });
  return freed;
}
