#pragma once
// newSpring: the script class of a spring between one or two rigid bodies.

#include "model/spring.h"
#include "script/lmp_binder.h"

class LMP_Spring : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Spring> methods[];

  LMP_Spring() = default;
  ~LMP_Spring() override;

  // newSpring(bodyA, pointA, bodyB, pointB [, frameA, frameB]).
  static LMP_Proxy* construct(lua_State* L);

  Spring* spring() const { return static_cast<Spring*>(model); }

  int getStiffness(lua_State* L);
  int setStiffness(lua_State* L);
  int getDamping(lua_State* L);
  int setDamping(lua_State* L);
  int getRestPosition(lua_State* L);
  int setRestPosition(lua_State* L);
  int getPointA(lua_State* L);
  int getPointB(lua_State* L);
  int setPointA(lua_State* L);
  int setPointB(lua_State* L);
};
