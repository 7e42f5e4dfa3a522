#pragma once
// newFont: the script class of the controller's fonts.

#include "model/font_record.h"
#include "script/lmp_binder.h"

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

// Pushes the proxy of a font record, making and linking one the first time;
// nothing for null. Answers the number of values pushed.
int LMP_pushFont(lua_State* L, FontRecord* font);
// The record of the newFont userdata at idx with a live record; anything
// else raises an argument error naming newFont.
FontRecord* LMP_checkFont(lua_State* L, int idx);
