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
