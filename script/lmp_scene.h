#pragma once
// LMP_Scene: the script proxy of a Scene.

#include "model/scene.h"
#include "script/lmp_binder.h"

class LMP_Scene : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Scene> methods[];

  LMP_Scene() = default;
  ~LMP_Scene() override;
  bool onEvent(CTRL_ScriptEngine* engine, int id, va_list args) override;
  // Without a callback for id, onEvent runs nothing.
  bool listens(int id) const override { return callback(id) != 0; }

  // newScene([name]): a new scene in the controller's list.
  static LMP_Proxy* construct(lua_State* L);

  Scene* scene() const { return static_cast<Scene*>(model); }

  int clear(lua_State* L);
  int getBounds(lua_State* L);
  int getElasticity(lua_State* L);
  int getFriction(lua_State* L);
  int getGravity(lua_State* L);
  int getIntegrationStep(lua_State* L);
  int getObject(lua_State* L);
  int setBounds(lua_State* L);
  int setCallback(lua_State* L);
  int setFriction(lua_State* L);
  int setElasticity(lua_State* L);
  int setGravity(lua_State* L);
  int setIntegrationStep(lua_State* L);
  int setUserData(lua_State* L);
  int getUserData(lua_State* L);
  int setActive(lua_State* L);
  int getActive(lua_State* L);
};
