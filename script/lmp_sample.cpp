#include "script/lmp_sample.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "core/assert.h"
#include "model/scene.h"
#include "model/sound.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_records.h"

const char* const LMP_Sample::luaName = "newSample";

int LMP_pushSample(lua_State* L, SoundRecord* sample) { return LMP_pushLinked<LMP_Sample>(L, sample); }

SoundRecord* LMP_checkSample(lua_State* L, int idx) { return LMP_Binder<LMP_Sample>::check(L, idx)->sample(); }

LMP_Sample::~LMP_Sample() { LMP_forgetLink(sample(), this); }

LMP_Proxy* LMP_Sample::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  const bool named = ctrl && LMP_getArgs(L, "S", &name);
  std::unique_ptr<LMP_Sample> proxy(new LMP_Sample());
  if (!named) return proxy.release();
  SoundRecord* sample = ctrl->loadSound(name);
  if (!sample) {
    LMP_reportError(L, "File %s not found", name);
    return proxy.release();
  }
  LMP_link(proxy.get(), sample);
  return proxy.release();
}

int LMP_Sample::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return 0;
  LMP_getArgs(L, "");
  SoundRecord* record = sample();
  if (LMP_retire(ctrl, ctrl->resources.soundRecords, this)) {
    // Sounds playing it go silent; the record stays valid for any other
    // holder until the controller goes.
    for (Scene* scene : ctrl->resources.scenes) {
      VS_ASSERT(scene);
      for (MDL_Object* o : scene->sounds) {
        MDL_Sound* sound = static_cast<MDL_Sound*>(o);
        if (sound && sound->sample == record) sound->sample = nullptr;
      }
    }
  }
  return 0;
}

const LMP_MethodReg<LMP_Sample> LMP_Sample::methods[] = {
    {"delete", &LMP_Sample::del},
    {nullptr, nullptr},
};
