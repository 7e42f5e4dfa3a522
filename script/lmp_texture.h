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
// Nothing for null; answers the number of values pushed.
int LMP_pushTexture(lua_State* L, ImageSource* source);
// The record of the newTexture userdata at idx with a live record; anything
// else raises an argument error naming newTexture.
ImageSource* LMP_checkTexture(lua_State* L, int idx);
// The same for the last value passed (none counts as nil); with nilAllowed,
// nil gives null.
ImageSource* LMP_lastTextureArg(lua_State* L, bool nilAllowed);
