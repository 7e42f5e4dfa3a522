#include "script/lmp_sound.h"

#include "model/sample.h"
#include "model/scene.h"
#include "script/lmp_fields.h"
#include "script/lmp_sample.h"

const char* const LMP_Sound::luaName = "newSound";

LMP_Proxy* LMP_Sound::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new LMP_Sound(nullptr);
  // The sample is checked first, so a wrong one leaves no sound behind.
  SoundRecord* sample = lua_gettop(L) >= 2 ? LMP_checkSample(L, 2) : nullptr;
  MDL_Object* model =
      LMP_placeNewObject(scene, parent, false, nullptr, [] { return static_cast<MDL_Object*>(new MDL_Sound()); });
  if (model) static_cast<MDL_Sound*>(model)->sample = sample;
  return new LMP_Sound(model);
}

int LMP_Sound::setSample(lua_State* L) {
  if (!sound()) return 0;
  if (lua_gettop(L) == 0) lua_pushnil(L);
  sound()->sample = LMP_checkSample(L, lua_gettop(L));
  return 0;
}

int LMP_Sound::getVolume(lua_State* L) { return LMP_getField(L, sound(), &MDL_Sound::volume); }
int LMP_Sound::setVolume(lua_State* L) { return LMP_setField(L, sound(), &MDL_Sound::volume); }
int LMP_Sound::getLooping(lua_State* L) { return LMP_getField(L, sound(), &MDL_Sound::looping); }
int LMP_Sound::setLooping(lua_State* L) { return LMP_setField(L, sound(), &MDL_Sound::looping); }
int LMP_Sound::getAutoDelete(lua_State* L) { return LMP_getField(L, sound(), &MDL_Sound::autoDelete); }
int LMP_Sound::setAutoDelete(lua_State* L) { return LMP_setField(L, sound(), &MDL_Sound::autoDelete); }

// The frame is held within the play position's range before it is made an
// integer (a NaN starts at 0); without a sample there is no rate to use.
int LMP_Sound::seek(lua_State* L) {
  double seconds = 0;
  if (!sound() || !LMP_getArgs(L, "N", &seconds) || !sound()->sample) return 0;
  const double frame = sound()->sample->sampleRate * seconds;
  sound()->position = !(frame > 0) ? 0 : frame < 2147483647.0 ? static_cast<int32_t>(frame) : 2147483647;
  sound()->playRemainder = 0;
  return 0;
}

int LMP_Sound::getTime(lua_State* L) {
  if (!sound()) return 0;
  const SoundRecord* sample = sound()->sample;
  const int32_t rate = sample ? sample->sampleRate : 0;
  return LMP_returnNumber(L, rate != 0 ? static_cast<double>(sound()->position) / rate : 0.0);
}

const LMP_MethodReg<LMP_Sound> LMP_Sound::methods[] = {
    {"setSample", &LMP_Sound::setSample},
    {"getVolume", &LMP_Sound::getVolume},
    {"setVolume", &LMP_Sound::setVolume},
    {"seek", &LMP_Sound::seek},
    {"getTime", &LMP_Sound::getTime},
    {"getLooping", &LMP_Sound::getLooping},
    {"setLooping", &LMP_Sound::setLooping},
    {"getAutoDelete", &LMP_Sound::getAutoDelete},
    {"setAutoDelete", &LMP_Sound::setAutoDelete},
    {nullptr, nullptr},
};
