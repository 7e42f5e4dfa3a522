#pragma once
// newAnimationData: a handle on the keyframe data of a models set, handed
// to newAnimation. It has no methods; made by a script it has no data.

#include "model/mesh_data.h"
#include "script/lmp_binder.h"

class LMP_AnimationData : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_AnimationData> methods[];

  LMP_AnimationData() = default;
  ~LMP_AnimationData() override;

  static LMP_Proxy* construct(lua_State* L);

  AnimationData* data() const { return static_cast<AnimationData*>(model); }
};

// Pushes the proxy of a models set's animation data, making and linking one
// when the record has none; nil for null.
int LMP_pushAnimationData(lua_State* L, AnimationData* data);
