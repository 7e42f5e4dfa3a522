#pragma once
// newModelsSet: the script class of a loaded models set.

#include "controller/models_set.h"
#include "script/lmp_binder.h"

class LMP_ModelsSet : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_ModelsSet> methods[];

  LMP_ModelsSet() = default;
  ~LMP_ModelsSet() override;

  // newModelsSet(file name): loads the set from the package.
  static LMP_Proxy* construct(lua_State* L);

  ModelsSet* set() const { return static_cast<ModelsSet*>(model); }

  int getNames(lua_State* L);
  int get(lua_State* L);
  int getAnimationData(lua_State* L);
  int del(lua_State* L);
};
