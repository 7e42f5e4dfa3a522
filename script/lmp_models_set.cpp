#include "script/lmp_models_set.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "model/mesh_data.h"
#include "model/object.h"
#include "script/engine.h"
#include "script/lmp_animation_data.h"
#include "script/lmp_args.h"
#include "script/lmp_object.h"

const char* const LMP_ModelsSet::luaName = "newModelsSet";

LMP_ModelsSet::~LMP_ModelsSet() {
  if (set() && set()->proxy.get() == this) set()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_ModelsSet::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  const bool named = ctrl && LMP_getArgs(L, "S", &name);
  std::unique_ptr<LMP_ModelsSet> proxy(new LMP_ModelsSet());
  if (!named) return proxy.release();
  ModelsSet* set = ctrl->loadModelsSet(name);
  if (!set) {
    LMP_reportError(L, "File %s not found", name);
    return proxy.release();
  }
  proxy->model = set;
  set->proxy.assign(proxy.get());
  return proxy.release();
}

// Names of the top-level objects of one type, indexed from 1.
int LMP_ModelsSet::getNames(lua_State* L) {
  int type = 0;
  if (!set() || !LMP_getArgs(L, "I", &type)) return 0;
  int found = 0;
  for (MDL_Object* object : set()->objects) {
    if (object->parent || object->type != type) continue;
    if (found == 0) lua_newtable(L);
    ++found;
    if (object->name) {
      lua_pushstring(L, object->name);
      lua_rawseti(L, -2, found);
    }
  }
  return found ? 1 : 0;
}

int LMP_ModelsSet::get(lua_State* L) {
  const char* name = nullptr;
  if (!set() || !LMP_getArgs(L, "S", &name)) return 0;
  return LMP_iPushProxy(L, set()->findByName(name));
}

// The first track whose name matches in any letter case.
int LMP_ModelsSet::getAnimationData(lua_State* L) {
  const char* name = nullptr;
  if (!set() || !LMP_getArgs(L, "S", &name)) return 0;
  for (AnimationData* data : set()->animations) {
    if (data->name && LMP_sameNameIgnoringCase(data->name, name)) return LMP_pushAnimationData(L, data);
  }
  return 0;
}

int LMP_ModelsSet::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");  // extra arguments are reported; the deletion goes on
  // Clones in scenes still share the set's geometry, looks and tracks, so
  // the set waits on the retired list; only the script's handle goes now.
  ModelsSet* gone = set();
  model = nullptr;
  if (gone && ctrl->resources.modelsSets.removeFirst(gone)) ctrl->resources.retired.add(gone);
  return 0;
}

const LMP_MethodReg<LMP_ModelsSet> LMP_ModelsSet::methods[] = {
    {"getNames", &LMP_ModelsSet::getNames},
    {"get", &LMP_ModelsSet::get},
    {"getAnimationData", &LMP_ModelsSet::getAnimationData},
    {"delete", &LMP_ModelsSet::del},
    {nullptr, nullptr},
};
