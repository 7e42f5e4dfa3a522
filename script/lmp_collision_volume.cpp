#include "script/lmp_collision_volume.h"

#include "model/scene.h"
#include "script/lmp_args.h"

const char* const LMP_CollisionVolume::luaName = "newCollisionVolume";

LMP_Proxy* LMP_CollisionVolume::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return new LMP_CollisionVolume(nullptr);
  MDL_Object* volume = nullptr;
  if (lua_gettop(L) >= 2) {
    MDL_Object* source = LMP_Binder<LMP_CollisionVolume>::check(L, 2)->object();
    volume = source ? scene->instantiateByName(source) : nullptr;
  } else {
    // A script's volume has no shape of its own to read: it is a sphere,
    // sized by its world placement like every sphere.
    volume = new MDL_CollisionVolume(SHAPE_SPHERE);
    LMP_registerNewObject(scene, volume);
    if (parent) volume->editWorld() = parent->getWorld();
  }
  if (volume && parent) parent->addChild(volume);
  return new LMP_CollisionVolume(volume);
}

// Layer and mask travel as signed 32-bit numbers: the full mask reads -1.
int LMP_CollisionVolume::getCollisionLayer(lua_State* L) {
  if (!volume()) return 0;
  lua_pushnumber(L, static_cast<int32_t>(volume()->collisionLayer));
  return 1;
}

int LMP_CollisionVolume::setCollisionLayer(lua_State* L) {
  int value = 0;
  if (volume() && LMP_getArgs(L, "I", &value)) volume()->collisionLayer = static_cast<uint32_t>(value);
  return 0;
}

int LMP_CollisionVolume::getCollisionMask(lua_State* L) {
  if (!volume()) return 0;
  lua_pushnumber(L, static_cast<int32_t>(volume()->collisionMask));
  return 1;
}

int LMP_CollisionVolume::setCollisionMask(lua_State* L) {
  int value = 0;
  if (volume() && LMP_getArgs(L, "I", &value)) volume()->collisionMask = static_cast<uint32_t>(value);
  return 0;
}

const LMP_MethodReg<LMP_CollisionVolume> LMP_CollisionVolume::methods[] = {
    {"getCollisionLayer", &LMP_CollisionVolume::getCollisionLayer},
    {"setCollisionLayer", &LMP_CollisionVolume::setCollisionLayer},
    {"getCollisionMask", &LMP_CollisionVolume::getCollisionMask},
    {"setCollisionMask", &LMP_CollisionVolume::setCollisionMask},
    {nullptr, nullptr},
};
