#pragma once
// newAnimation: a keyframe animation of one object, made from a models
// set's animation data and kept in the object's scene.

#include "model/animation.h"
#include "script/lmp_binder.h"

class LMP_Animation : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Animation> methods[];

  LMP_Animation() = default;

  // newAnimation(animation data, object).
  static LMP_Proxy* construct(lua_State* L);

  Animation* animation() const { return static_cast<Animation*>(model); }

  int play(lua_State* L);
  int pause(lua_State* L);
  int isPlaying(lua_State* L);
  int seek(lua_State* L);
  int getTime(lua_State* L);
  int getDuration(lua_State* L);
  int setSpeed(lua_State* L);
  int getSpeed(lua_State* L);
};
