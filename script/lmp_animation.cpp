#include "script/lmp_animation.h"

#include <memory>

#include "model/mesh_data.h"
#include "model/scene.h"
#include "script/lmp_animation_data.h"
#include "script/lmp_args.h"
#include "script/lmp_object.h"

const char* const LMP_Animation::luaName = "newAnimation";

LMP_Proxy* LMP_Animation::construct(lua_State* L) {
  const int n = lua_gettop(L);
  // The data comes before the object, which is the last argument.
  AnimationData* data = LMP_Binder<LMP_AnimationData>::check(L, n >= 2 ? n - 1 : 1)->data();
  LMP_Object* objectProxy = n >= 2 ? LMP_getObjectArg(L, n) : nullptr;
  std::unique_ptr<LMP_Animation> proxy(new LMP_Animation());
  MDL_Object* target = objectProxy ? objectProxy->object() : nullptr;
  // A handle made by newAnimationData() has no keys, and an object outside
  // any scene has no list to play in: no animation, and nothing to report.
  if (!data || !target || !target->scene) return proxy.release();
  Animation* a = LMP_appendNew(target->scene->animations, new Animation());
  a->target = target;
  a->data = data;
  // The sum of every key time, as content has always been timed by.
  for (int32_t i = 0; i < data->keyCount && data->times; ++i) a->duration += data->times[i];
  a->proxy.assign(proxy.get());
  proxy->model = a;
  return proxy.release();
}

int LMP_Animation::play(lua_State* L) {
  LMP_getArgs(L, "");  // extra arguments are reported, and it plays all the same
  if (animation()) animation()->playing = 1;
  return 0;
}

int LMP_Animation::pause(lua_State* L) {
  LMP_getArgs(L, "");
  if (animation()) animation()->playing = 0;
  return 0;
}

int LMP_Animation::isPlaying(lua_State* L) {
  if (!animation()) return 0;
  lua_pushboolean(L, animation()->playing != 0);
  return 1;
}

int LMP_Animation::seek(lua_State* L) {
  double t = 0;
  if (!animation() || !LMP_getArgs(L, "N", &t)) return 0;
  animation()->time = static_cast<double>(static_cast<float>(t));
  Animation::step(animation(), 0.0);
  return 0;
}

int LMP_Animation::getTime(lua_State* L) {
  if (!animation()) return 0;
  lua_pushnumber(L, animation()->time);
  return 1;
}

int LMP_Animation::getDuration(lua_State* L) {
  if (!animation()) return 0;
  lua_pushnumber(L, animation()->duration);
  return 1;
}

int LMP_Animation::setSpeed(lua_State* L) {
  double v = 0;
  if (animation() && LMP_getArgs(L, "N", &v)) animation()->speed = v;
  return 0;
}

int LMP_Animation::getSpeed(lua_State* L) {
  if (!animation()) return 0;
  lua_pushnumber(L, animation()->speed);
  return 1;
}

const LMP_MethodReg<LMP_Animation> LMP_Animation::methods[] = {
    {"play", &LMP_Animation::play},
    {"pause", &LMP_Animation::pause},
    {"isPlaying", &LMP_Animation::isPlaying},
    {"seek", &LMP_Animation::seek},
    {"getTime", &LMP_Animation::getTime},
    {"getDuration", &LMP_Animation::getDuration},
    {"setSpeed", &LMP_Animation::setSpeed},
    {"getSpeed", &LMP_Animation::getSpeed},
    {nullptr, nullptr},
};
