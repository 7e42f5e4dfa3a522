#include "script/lmp_animation_data.h"

const char* const LMP_AnimationData::luaName = "newAnimationData";

LMP_AnimationData::~LMP_AnimationData() {
  // A live record's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (data() && data()->proxy.get() == this) data()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_AnimationData::construct(lua_State*) { return new LMP_AnimationData(); }

int LMP_pushAnimationData(lua_State* L, AnimationData* data) {
  LMP_Proxy* proxy = data ? data->proxy.get() : nullptr;
  if (data && !proxy) {
    proxy = new LMP_AnimationData();
    proxy->model = data;
    data->proxy.assign(proxy);
  }
  LMP_Binder<LMP_AnimationData>::push(L, proxy);
  return 1;
}

const LMP_MethodReg<LMP_AnimationData> LMP_AnimationData::methods[] = {
    {nullptr, nullptr},
};
