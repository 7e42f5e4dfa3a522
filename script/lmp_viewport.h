#pragma once
// newViewport: the script handle of a viewport record, a rectangle of the
// window that shows a scene through a camera and hears it through a mike.
// It is the first to see input events (its CB_EVENT).

#include "model/viewport.h"
#include "script/lmp_binder.h"

class LMP_Viewport : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Viewport> methods[];

  LMP_Viewport() = default;
  ~LMP_Viewport() override;
  // CB_EVENT with one const Event*: the function gets (viewport, type, two
  // values by type) and must answer one boolean.
  bool onEvent(CTRL_ScriptEngine* engine, int id, va_list args) override;

  // newViewport(x, y, width, height): a new record that becomes current.
  static LMP_Proxy* construct(lua_State* L);

  Viewport* viewport() const { return static_cast<Viewport*>(model); }

  int del(lua_State* L);
  int getCamera(lua_State* L);
  int getMike(lua_State* L);
  int setCamera(lua_State* L);
  int setMike(lua_State* L);
  int setBackgroundColor(lua_State* L);
  int getActive(lua_State* L);
  int setActive(lua_State* L);
  int setNavigationMode(lua_State* L);
  int getNavigationMode(lua_State* L);
  int setNavigationPosition(lua_State* L);
  int getNavigationPosition(lua_State* L);
  int setNavigationBasis(lua_State* L);
  int setNavigationRadius(lua_State* L);
  int setNavigationAzimuth(lua_State* L);
  int setNavigationElevation(lua_State* L);
  int getNavigationRadius(lua_State* L);
  int getNavigationAzimuth(lua_State* L);
  int getNavigationElevation(lua_State* L);
  int getShadowRendering(lua_State* L);
  int setShadowRendering(lua_State* L);
  int getWidth(lua_State* L);
  int getHeight(lua_State* L);
  int getSize(lua_State* L);
  int getPosition(lua_State* L);
  int setSize(lua_State* L);
  int setPosition(lua_State* L);
  int getCenter(lua_State* L);
  int getPickRay(lua_State* L);
  int toScene(lua_State* L);
  int fromScene(lua_State* L);
  int setCallback(lua_State* L);

 private:
  int orbitValue(lua_State* L, double value) const;
};
