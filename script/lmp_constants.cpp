// The integer constants of the script API, registered in table order.
#include <cfloat>
#include <cstdint>

#include "script/engine.h"
#include "script/scene_api.h"

#include <lua.hpp>

namespace {

struct LMP_Constant {
  const char* name;
  uint8_t value;
};

// Windows virtual-key codes under KEY_ names, then the API's own families.
const LMP_Constant kConstants[] = {
    {"KEY_LBUTTON", 1}, {"KEY_RBUTTON", 2}, {"KEY_CANCEL", 3}, {"KEY_MBUTTON", 4},
    {"KEY_XBUTTON1", 5}, {"KEY_XBUTTON2", 6}, {"KEY_BACK", 8}, {"KEY_TAB", 9},
    {"KEY_CLEAR", 12}, {"KEY_RETURN", 13}, {"KEY_SHIFT", 16}, {"KEY_CONTROL", 17},
    {"KEY_MENU", 18}, {"KEY_PAUSE", 19}, {"KEY_CAPITAL", 20}, {"KEY_KANA", 21},
    {"KEY_JUNJA", 23}, {"KEY_FINAL", 24}, {"KEY_HANJA", 25}, {"KEY_KANJI", 25},
    {"KEY_ESCAPE", 27}, {"KEY_CONVERT", 28}, {"KEY_NONCONVERT", 29}, {"KEY_ACCEPT", 30},
    {"KEY_MODECHANGE", 31}, {"KEY_SPACE", 32}, {"KEY_PRIOR", 33}, {"KEY_NEXT", 34},
    {"KEY_END", 35}, {"KEY_HOME", 36}, {"KEY_LEFT", 37}, {"KEY_UP", 38},
    {"KEY_RIGHT", 39}, {"KEY_DOWN", 40}, {"KEY_SELECT", 41}, {"KEY_PRINT", 42},
    {"KEY_EXECUTELM", 43}, {"KEY_SNAPSHOT", 44}, {"KEY_INSERT", 45}, {"KEY_DELETE", 46},
    {"KEY_HELP", 47}, {"KEY_0", 48}, {"KEY_1", 49}, {"KEY_2", 50},
    {"KEY_3", 51}, {"KEY_4", 52}, {"KEY_5", 53}, {"KEY_6", 54},
    {"KEY_7", 55}, {"KEY_8", 56}, {"KEY_9", 57}, {"KEY_A", 65},
    {"KEY_B", 66}, {"KEY_C", 67}, {"KEY_D", 68}, {"KEY_E", 69},
    {"KEY_F", 70}, {"KEY_G", 71}, {"KEY_H", 72}, {"KEY_I", 73},
    {"KEY_J", 74}, {"KEY_K", 75}, {"KEY_L", 76}, {"KEY_M", 77},
    {"KEY_N", 78}, {"KEY_O", 79}, {"KEY_P", 80}, {"KEY_Q", 81},
    {"KEY_R", 82}, {"KEY_S", 83}, {"KEY_T", 84}, {"KEY_U", 85},
    {"KEY_V", 86}, {"KEY_W", 87}, {"KEY_X", 88}, {"KEY_Y", 89},
    {"KEY_Z", 90}, {"KEY_LWIN", 91}, {"KEY_RWIN", 92}, {"KEY_APPS", 93},
    {"KEY_SLEEP", 95}, {"KEY_NUMPAD0", 96}, {"KEY_NUMPAD1", 97}, {"KEY_NUMPAD2", 98},
    {"KEY_NUMPAD3", 99}, {"KEY_NUMPAD4", 100}, {"KEY_NUMPAD5", 101}, {"KEY_NUMPAD6", 102},
    {"KEY_NUMPAD7", 103}, {"KEY_NUMPAD8", 104}, {"KEY_NUMPAD9", 105}, {"KEY_MULTIPLY", 106},
    {"KEY_ADD", 107}, {"KEY_SEPARATOR", 108}, {"KEY_SUBTRACT", 109}, {"KEY_DECIMAL", 110},
    {"KEY_DIVIDE", 111}, {"KEY_F1", 112}, {"KEY_F2", 113}, {"KEY_F3", 114},
    {"KEY_F4", 115}, {"KEY_F5", 116}, {"KEY_F6", 117}, {"KEY_F7", 118},
    {"KEY_F8", 119}, {"KEY_F9", 120}, {"KEY_F10", 121}, {"KEY_F11", 122},
    {"KEY_F12", 123}, {"KEY_F13", 124}, {"KEY_F14", 125}, {"KEY_F15", 126},
    {"KEY_F16", 127}, {"KEY_F17", 128}, {"KEY_F18", 129}, {"KEY_F19", 130},
    {"KEY_F20", 131}, {"KEY_F21", 132}, {"KEY_F22", 133}, {"KEY_F23", 134},
    {"KEY_F24", 135}, {"KEY_NUMLOCK", 144}, {"KEY_SCROLL", 145}, {"KEY_OEM_NEC_EQUAL", 146},
    {"KEY_OEM_FJ_JISHO", 146}, {"KEY_OEM_FJ_MASSHOU", 147}, {"KEY_OEM_FJ_TOUROKU", 148}, {"KEY_OEM_FJ_LOYA", 149},
    {"KEY_OEM_FJ_ROYA", 150}, {"KEY_LSHIFT", 160}, {"KEY_RSHIFT", 161}, {"KEY_LCONTROL", 162},
    {"KEY_RCONTROL", 163}, {"KEY_LMENU", 164}, {"KEY_RMENU", 165}, {"KEY_BROWSER_BACK", 166},
    {"KEY_BROWSER_FORWARD", 167}, {"KEY_BROWSER_REFRESH", 168}, {"KEY_BROWSER_STOP", 169}, {"KEY_BROWSER_SEARCH", 170},
    {"KEY_BROWSER_FAVORITES", 171}, {"KEY_BROWSER_HOME", 172}, {"KEY_VOLUME_MUTE", 173}, {"KEY_VOLUME_DOWN", 174},
    {"KEY_VOLUME_UP", 175}, {"KEY_MEDIA_NEXT_TRACK", 176}, {"KEY_MEDIA_PREV_TRACK", 177}, {"KEY_MEDIA_STOP", 178},
    {"KEY_MEDIA_PLAY_PAUSE", 179}, {"KEY_LAUNCH_MAIL", 180}, {"KEY_LAUNCH_MEDIA_SELECT", 181}, {"KEY_LAUNCH_APP1", 182},
    {"KEY_LAUNCH_APP2", 183}, {"KEY_OEM_1", 186}, {"KEY_OEM_PLUS", 187}, {"KEY_OEM_COMMA", 188},
    {"KEY_OEM_MINUS", 189}, {"KEY_OEM_PERIOD", 190}, {"KEY_OEM_2", 191}, {"KEY_OEM_3", 192},
    {"KEY_OEM_4", 219}, {"KEY_OEM_5", 220}, {"KEY_OEM_6", 221}, {"KEY_OEM_7", 222},
    {"KEY_OEM_8", 223}, {"KEY_OEM_AX", 225}, {"KEY_OEM_102", 226}, {"KEY_ICO_HELP", 227},
    {"KEY_ICO_00", 228}, {"KEY_PROCESSKEY", 229}, {"KEY_ICO_CLEAR", 230}, {"KEY_PACKET", 231},
    {"KEY_OEM_RESET", 233}, {"KEY_OEM_JUMP", 234}, {"KEY_OEM_PA1", 235}, {"KEY_OEM_PA2", 236},
    {"KEY_OEM_PA3", 237}, {"KEY_OEM_WSCTRL", 238}, {"KEY_OEM_CUSEL", 239}, {"KEY_OEM_ATTN", 240},
    {"KEY_OEM_FINISH", 241}, {"KEY_OEM_COPY", 242}, {"KEY_OEM_AUTO", 243}, {"KEY_OEM_ENLW", 244},
    {"KEY_OEM_BACKTAB", 245}, {"KEY_ATTN", 246}, {"KEY_CRSEL", 247}, {"KEY_EXSEL", 248},
    {"KEY_EREOF", 249}, {"KEY_PLAY", 250}, {"KEY_ZOOM", 251}, {"KEY_NONAME", 252},
    {"KEY_PA1", 253}, {"KEY_OEM_CLEAR", 254},
    {"CB_UPDATE", 1},
    {"CB_EVENT", 2},
    {"CB_MOUSE_DOWN", 3},
    {"CB_MOUSE_UP", 4},
    {"CB_MOUSE_CLICK", 5},
    {"CB_MOVED", 6},
    {"CB_MECHA", 7},
    {"CB_POST_INTEGRATION", 8},
    {"CB_PRE_COLLISION", 9},
    {"CB_POST_COLLISION", 10},
    {"CB_ASPECT_RATIO_CHANGED", 11},
    {"CB_MAX", 11},
    {"ENV_WINDOWS", 1},
    {"ENV_MACOSX", 2},
    {"ENV_LINUX", 3},
    {"ENV_IOS", 4},
    {"ENV_ANDROID", 5},
    {"ENV_WEB", 6},
    {"EVENT_KEY_DOWN", 1},
    {"EVENT_KEY_UP", 2},
    {"EVENT_MOUSE_MOVE", 3},
    {"EVENT_MOUSE_DOWN", 4},
    {"EVENT_MOUSE_UP", 5},
    {"EVENT_ZOOM", 6},
    {"EVENT_DEVICE", 7},
    {"EVENT_CLOSE", 8},
    {"REF_SELF", 1},
    {"REF_LOCAL", 2},
    {"REF_GLOBAL", 3},
    {"SCOPE_OBJECT", 1},
    {"SCOPE_RECURSE", 2},
    {"AXIS_X", 1},
    {"AXIS_Y", 2},
    {"AXIS_Z", 3},
    {"STATE_ACTIVE", 1},
    {"STATE_MOVABLE", 2},
    {"STATE_VISIBLE", 4},
    {"STATE_CONSTRAIN_MOUSE", 8},
    {"STATE_BACKGROUND", 16},
    {"STATE_ALL", 31},
    {"INTERPOL_LINEAR", 0},
    {"INTERPOL_SIN", 1},
    {"INTERPOL_BEGSIN", 2},
    {"INTERPOL_ENDSIN", 3},
    {"FILTER_DEFAULT", 0},
    {"FILTER_NEAREST_POINT", 1},
    {"FILTER_LINEAR", 2},
    {"FILTER_MIPMAP", 3},
    {"DISPLAY_MODE_NORMAL", 0},
    {"DISPLAY_MODE_SPRITE", 1},
    {"NAVIGATION_FREE", 0},
    {"NAVIGATION_FIXED", 1},
    {"NAVIGATION_MIXED", 2},
    {"NAVIGATION_GLASSBALL", 3},
    {"JOINT_POINT_POINT", 0},
    {"JOINT_AXIS_AXIS", 1},
    {"JOINT_POINT_AXIS", 2},
    {"JOINT_POINT_ABOVE_PLANE", 3},
    {"JOINT_POINT_ON_PLANE", 4},
    {"SHADOW_ZPASS", 0},
    {"SHADOW_ZFAIL", 1},
    {"SHADOW_2D", 0},
    {"SHADOW_3D", 1},
};

const LMP_Constant kObjectTypes[] = {
    {"OBJECT_NONE", 0},     {"OBJECT_LAMP", 1},   {"OBJECT_CAMERA", 2},  {"OBJECT_MESH", 3},
    {"OBJECT_RIGID_BODY", 4}, {"OBJECT_SOUND", 5}, {"OBJECT_BONE", 6},    {"OBJECT_ANIMATED_MESH", 7},
    {"OBJECT_TEXT", 8},     {"OBJECT_IMAGE", 10}, {"OBJECT_MIKE", 11},   {"OBJECT_POLYLINE", 12},
    {"OBJECT_COLLISION_VOLUME", 13}, {"OBJECT_LOCATOR", 14},
};

}  // namespace



void LMP_registerConstants(lua_State* L) {
  for (const LMP_Constant& c : kConstants) LMP_Engine::setGlobalInteger(L, c.name, c.value);
  // The largest finite double and its negative: finite, not infinities.
  lua_pushnumber(L, DBL_MAX);
  lua_setglobal(L, "INFINITE_PLUS");
  lua_pushnumber(L, -DBL_MAX);
  lua_setglobal(L, "INFINITE_MINUS");
}

void LMP_registerObjectTypes(lua_State* L) {
  for (const LMP_Constant& c : kObjectTypes) LMP_Engine::setGlobalInteger(L, c.name, c.value);
}
