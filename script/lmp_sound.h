#pragma once
// newSound: the script class of a sound emitter, a sample played at the
// sound's place in its scene. Its messages name newObject.

#include "model/sound.h"
#include "script/lmp_object.h"

class LMP_Sound : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Sound> methods[];

  explicit LMP_Sound(MDL_Object* object) : LMP_Object(object) {}

  // newSound(parent or scene [, sample]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Sound* sound() const { return static_cast<MDL_Sound*>(model); }

  int setSample(lua_State* L);
  int getVolume(lua_State* L);
  int setVolume(lua_State* L);
  int seek(lua_State* L);
  int getTime(lua_State* L);
  int getLooping(lua_State* L);
  int setLooping(lua_State* L);
  int getAutoDelete(lua_State* L);
  int setAutoDelete(lua_State* L);
};
