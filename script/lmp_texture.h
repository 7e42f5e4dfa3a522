#pragma once
// newTexture: the script class of the controller's image sources.

#include "model/image_source.h"
#include "script/lmp_binder.h"

class LMP_Texture : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Texture> methods[];
  ~LMP_Texture() override;
  // newTexture(file name [, filter]).
  static LMP_Proxy* construct(lua_State* L);
  ImageSource* source() const { return static_cast<ImageSource*>(model); }

  int del(lua_State* L);
  int getBinaryAlpha(lua_State* L);
  int setBinaryAlpha(lua_State* L);
  int getFilter(lua_State* L);
  int setFilter(lua_State* L);
};

// Pushes the proxy of a record the controller or a stream already holds,
// making and linking one the first time; the same userdata while it lives.
int LMP_pushTexture(lua_State* L, ImageSource* source);
