#pragma once
// newJoint: the script class of a joint of one of five kinds between one or
// two rigid bodies.

#include "model/joint.h"
#include "script/lmp_binder.h"

class LMP_Joint : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Joint> methods[];

  LMP_Joint() = default;
  ~LMP_Joint() override;

  // newJoint(kind, bodyA, pointA, axisA, bodyB, pointB, axisB
  //          [, framePointA, frameAxisA, framePointB, frameAxisB]).
  static LMP_Proxy* construct(lua_State* L);

  Joint* joint() const { return static_cast<Joint*>(model); }

  int getPointA(lua_State* L);
  int getPointB(lua_State* L);
  int getAxisA(lua_State* L);
  int getAxisB(lua_State* L);
  int setPointA(lua_State* L);
  int setPointB(lua_State* L);
  int setAxisA(lua_State* L);
  int setAxisB(lua_State* L);
};
