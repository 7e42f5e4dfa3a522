#pragma once
// newTexture, newFont and newSample: the script classes of the controller's
// image sources, fonts and sound samples. Deleting one detaches it from its
// proxy at once; the record itself waits on the controller's retired list,
// since materials, texts or sounds may still point at it.

#include "model/font_record.h"
#include "model/image_source.h"
#include "model/sample.h"
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

class LMP_Sample : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Sample> methods[];
  ~LMP_Sample() override;
  // newSample(file name): a decoded Ogg Vorbis file.
  static LMP_Proxy* construct(lua_State* L);
  SoundRecord* sample() const { return static_cast<SoundRecord*>(model); }

  int del(lua_State* L);
};

class LMP_Font : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Font> methods[];
  ~LMP_Font() override;
  // newFont(file name): a TrueType face.
  static LMP_Proxy* construct(lua_State* L);
  FontRecord* font() const { return static_cast<FontRecord*>(model); }

  int del(lua_State* L);
};

// Push the proxy of a record the controller or a stream already holds,
// making and linking one the first time; the same userdata while it lives.
int LMP_pushTexture(lua_State* L, ImageSource* source);
int LMP_pushSample(lua_State* L, SoundRecord* sample);
