#include "script/lmp_lamp.h"

#include "script/lmp_fields.h"

const char* const LMP_Lamp::luaName = "newLamp";

namespace {

// A number read and held within [lo, hi]; a NaN ends at lo.
bool readClamped(lua_State* L, const char* spec, double lo, double hi, double* out) {
  double value = 0;
  int whole = 0;
  if (!(spec[0] == 'I' ? LMP_getArgs(L, spec, &whole) : LMP_getArgs(L, spec, &value))) return false;
  if (spec[0] == 'I') value = whole;
  *out = !(value > lo) ? lo : (value < hi ? value : hi);
  return true;
}

}  // namespace

LMP_Proxy* LMP_Lamp::construct(lua_State* L) {
  MDL_Object* model = LMP_constructModel<LMP_Lamp>(L, [] { return static_cast<MDL_Object*>(new MDL_Lamp()); });
  return new LMP_Lamp(model);
}

int LMP_Lamp::getShadow(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::shadows); }
int LMP_Lamp::setShadow(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::shadows); }
int LMP_Lamp::getOn(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::on); }
int LMP_Lamp::setOn(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::on); }
// Any number is kept: the shadow code knows its two types.
int LMP_Lamp::getShadowType(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::shadowType); }
int LMP_Lamp::setShadowType(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::shadowType); }
int LMP_Lamp::getShadowDepth(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::shadowDepth); }
int LMP_Lamp::setShadowDepth(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::shadowDepth); }
int LMP_Lamp::getShadowCoeff(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::shadowCoeff); }
int LMP_Lamp::setShadowCoeff(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::shadowCoeff); }
int LMP_Lamp::getColor(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::color); }
int LMP_Lamp::setColor(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::color); }
int LMP_Lamp::getAmbientColor(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::ambientColor); }
int LMP_Lamp::setAmbientColor(lua_State* L) { return LMP_setField(L, lamp(), &MDL_Lamp::ambientColor); }
int LMP_Lamp::getSpotExponent(lua_State* L) { return LMP_getField(L, spot(), &MDL_Lamp::spotExponent); }
int LMP_Lamp::getSpotSize(lua_State* L) { return LMP_getField(L, spot(), &MDL_Lamp::spotSize); }
int LMP_Lamp::getEnergy(lua_State* L) { return LMP_getField(L, lamp(), &MDL_Lamp::energy); }

int LMP_Lamp::setSpotExponent(lua_State* L) {
  if (spot()) readClamped(L, "I", 0, 128, &spot()->spotExponent);
  return 0;
}

int LMP_Lamp::setSpotSize(lua_State* L) {
  if (spot()) readClamped(L, "N", 0, 90, &spot()->spotSize);
  return 0;
}

int LMP_Lamp::setEnergy(lua_State* L) {
  if (lamp()) readClamped(L, "N", 0, 100, &lamp()->energy);
  return 0;
}

const LMP_MethodReg<LMP_Lamp> LMP_Lamp::methods[] = {
    {"getShadow", &LMP_Lamp::getShadow},
    {"setShadow", &LMP_Lamp::setShadow},
    {"getOn", &LMP_Lamp::getOn},
    {"setOn", &LMP_Lamp::setOn},
    {"getShadowType", &LMP_Lamp::getShadowType},
    {"setShadowType", &LMP_Lamp::setShadowType},
    {"getShadowDepth", &LMP_Lamp::getShadowDepth},
    {"setShadowDepth", &LMP_Lamp::setShadowDepth},
    {"getShadowCoeff", &LMP_Lamp::getShadowCoeff},
    {"setShadowCoeff", &LMP_Lamp::setShadowCoeff},
    {"getColor", &LMP_Lamp::getColor},
    {"setColor", &LMP_Lamp::setColor},
    {"getAmbientColor", &LMP_Lamp::getAmbientColor},
    {"setAmbientColor", &LMP_Lamp::setAmbientColor},
    {"getSpotExponent", &LMP_Lamp::getSpotExponent},
    {"setSpotExponent", &LMP_Lamp::setSpotExponent},
    {"getSpotSize", &LMP_Lamp::getSpotSize},
    {"setSpotSize", &LMP_Lamp::setSpotSize},
    {"getEnergy", &LMP_Lamp::getEnergy},
    {"setEnergy", &LMP_Lamp::setEnergy},
    {nullptr, nullptr},
};
