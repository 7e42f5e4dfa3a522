#pragma once
// newText: the script class of text overlays, laid out in a font and drawn
// over the viewport.

#include "model/text.h"
#include "script/lmp_object.h"

class CTRL_Generic;
struct FontRecord;

// Messages of newText name newObject.
class LMP_Text : public LMP_Object {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Text> methods[];

  explicit LMP_Text(MDL_Object* object) : LMP_Object(object) {}

  // newText(parent or scene): exactly one argument, else a report of its
  // own and no text.
  static constexpr int kConstructorArgs = -1;
  static LMP_Proxy* construct(lua_State* L);

  MDL_Text* text() const { return static_cast<MDL_Text*>(model); }

  int getText(lua_State* L);
  int setText(lua_State* L);
  int getFont(lua_State* L);
  int setFont(lua_State* L);
  int getSize(lua_State* L);
  int setSize(lua_State* L);
  int getTabSize(lua_State* L);
  int setTabSize(lua_State* L);
  int getColor(lua_State* L);
  int setColor(lua_State* L);
  int getBackgroundColor(lua_State* L);
  int setBackgroundColor(lua_State* L);
  int getBoundingBox(lua_State* L);
  int getCenter(lua_State* L);
};

// Texts of every scene that show `font` take the controller's default font
// instead, so that a deleted font never leaves a text without one.
void LMP_textsFallBackToDefaultFont(CTRL_Generic* ctrl, FontRecord* font);
