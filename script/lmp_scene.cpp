#include "script/lmp_scene.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_object.h"
#include "script/lmp_values.h"

const char* const LMP_Scene::luaName = "newScene";

LMP_Proxy* LMP_Scene::construct(lua_State* L) {
  // Held until handed out, so a refused allocation below frees it.
  std::unique_ptr<LMP_Scene> proxy(new LMP_Scene());
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!ctrl) return proxy.release();
  const char* name = lua_type(L, 1) == LUA_TSTRING || lua_type(L, 1) == LUA_TNUMBER ? lua_tostring(L, 1) : nullptr;
  Scene* scene = LMP_appendNew(ctrl->resources.scenes, new Scene(name));
  proxy->model = scene;
  scene->proxy.assign(proxy.get());
  return proxy.release();
}

LMP_Scene::~LMP_Scene() {
  // A live scene's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (scene() && scene()->proxy.get() == this) scene()->proxy.proxy = nullptr;
}

bool LMP_Scene::onEvent(CTRL_ScriptEngine* engine, int id, va_list args) {
  int ref = callback(id);
  if (!ref) return id == CB_PRE_COLLISION;  // no veto without a callback
  LMP_Engine* lmp = static_cast<LMP_Engine*>(engine);
  lua_State* L = lmp->L;
  switch (id) {
    case CB_MECHA:
    case CB_POST_INTEGRATION: {
      const double* dt = va_arg(args, const double*);
      lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
      lua_pushnumber(L, *dt);
      return lmp->call(1, 0);
    }
    case CB_PRE_COLLISION:
    case CB_POST_COLLISION: {
      const Vec3* point = va_arg(args, const Vec3*);
      const Vec3* normal = va_arg(args, const Vec3*);
      const double* amount = va_arg(args, const double*);
      lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
      LMP_Binder<LMP_Scene>::push(L, this);
      LMP_pushV3(L, *point);
      LMP_pushV3(L, *normal);
      lua_pushnumber(L, *amount);
      for (int i = 0; i < 4; ++i) {
        MDL_Object* object = va_arg(args, MDL_Object*);
        if (!LMP_iPushProxy(L, object)) lua_pushnil(L);
      }
      if (id == CB_POST_COLLISION) return lmp->call(8, 0);
      if (!lmp->call(8, 1)) return false;
      bool keep = lua_toboolean(L, -1) != 0;
      lua_pop(L, 1);
      return keep;
    }
  }
  LMP_reportError(L, "Unhandled scene callback");
  return false;
}

int LMP_Scene::getGravity(lua_State* L) {
  if (!scene()) return 0;
  LMP_pushV3(L, scene()->gravity);
  return 1;
}

int LMP_Scene::setGravity(lua_State* L) {
  double* v = nullptr;
  if (!scene() || !LMP_getArgs(L, "V", &v)) return 0;
  scene()->gravity = LMP_toVec3(v);
  return 0;
}

// The three number fields share one getter and one setter shape.
namespace {
int pushNumber(lua_State* L, const Scene* scene, double Scene::*field) {
  if (!scene) return 0;
  lua_pushnumber(L, scene->*field);
  return 1;
}
int setNumber(lua_State* L, Scene* scene, double Scene::*field) {
  double n = 0;
  if (!scene || !LMP_getArgs(L, "N", &n)) return 0;
  scene->*field = n;
  return 0;
}
}  // namespace

int LMP_Scene::getIntegrationStep(lua_State* L) { return pushNumber(L, scene(), &Scene::integrationStep); }
int LMP_Scene::setIntegrationStep(lua_State* L) { return setNumber(L, scene(), &Scene::integrationStep); }
int LMP_Scene::getFriction(lua_State* L) { return pushNumber(L, scene(), &Scene::boundsFriction); }
int LMP_Scene::setFriction(lua_State* L) { return setNumber(L, scene(), &Scene::boundsFriction); }
int LMP_Scene::getElasticity(lua_State* L) { return pushNumber(L, scene(), &Scene::boundsElasticity); }
int LMP_Scene::setElasticity(lua_State* L) { return setNumber(L, scene(), &Scene::boundsElasticity); }

int LMP_Scene::getBounds(lua_State* L) {
  if (!scene()) return 0;
  lua_createtable(L, 6, 0);
  for (int i = 0; i < 6; ++i) {
    lua_pushnumber(L, scene()->bounds[i]);
    lua_rawseti(L, -2, i + 1);
  }
  return 1;
}

// The last argument must be a table; its entries 1 to 6 are lenient numbers.
int LMP_Scene::setBounds(lua_State* L) {
  int top = lua_gettop(L);
  if (!scene() || top == 0 || !lua_istable(L, top)) return 0;
  double b[6];
  for (int i = 0; i < 6; ++i) {
    lua_rawgeti(L, top, i + 1);
    b[i] = LMP_toNumber(L, -1);
    lua_pop(L, 1);
  }
  for (int i = 0; i < 6; ++i) scene()->bounds[i] = b[i];
  return 0;
}

int LMP_Scene::getActive(lua_State* L) {
  if (!scene()) return 0;
  lua_pushboolean(L, scene()->active);
  return 1;
}

int LMP_Scene::setActive(lua_State* L) {
  bool active = false;
  if (!scene() || !LMP_getArgs(L, "B", &active)) return 0;
  scene()->active = active ? 1 : 0;
  return 0;
}

// The first object whose name matches the last argument, ignoring case.
int LMP_Scene::getObject(lua_State* L) {
  if (!scene()) return 0;
  int top = lua_gettop(L);
  int t = top ? lua_type(L, top) : LUA_TNONE;
  if (t != LUA_TSTRING && t != LUA_TNUMBER) {
    LMP_reportError(L, "Object name ommited");
    return 0;
  }
  const char* wanted = lua_tostring(L, top);
  PtrArray<MDL_Object>& objects = scene()->objects;
  for (int32_t i = 0; i < objects.count; ++i) {
    MDL_Object* o = objects[i];
    if (o->name && LMP_sameNameIgnoringCase(o->name, wanted)) return LMP_iPushProxy(L, o);
  }
  return 0;
}

// Every object goes through the controller's deletion; the purge at the end
// of the frame frees them.
int LMP_Scene::clear(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!scene() || !ctrl) return 0;
  PtrArray<MDL_Object>& objects = scene()->objects;
  for (int32_t i = 0; i < objects.count; ++i)
    if (!objects[i]->pendingDelete) ctrl->deleteObject(objects[i]);
  return 0;
}

int LMP_Scene::setCallback(lua_State* L) { return scene() ? LMP_setCallbackBody(L, this) : 0; }
int LMP_Scene::setUserData(lua_State* L) { return scene() ? LMP_setUserDataBody(L, this) : 0; }
int LMP_Scene::getUserData(lua_State* L) { return scene() ? LMP_getUserDataBody(L, this) : 0; }

const LMP_MethodReg<LMP_Scene> LMP_Scene::methods[] = {
    {"clear", &LMP_Scene::clear},
    {"getBounds", &LMP_Scene::getBounds},
    {"getElasticity", &LMP_Scene::getElasticity},
    {"getFriction", &LMP_Scene::getFriction},
    {"getGravity", &LMP_Scene::getGravity},
    {"getIntegrationStep", &LMP_Scene::getIntegrationStep},
    {"getObject", &LMP_Scene::getObject},
    {"setBounds", &LMP_Scene::setBounds},
    {"setCallback", &LMP_Scene::setCallback},
    {"setFriction", &LMP_Scene::setFriction},
    {"setElasticity", &LMP_Scene::setElasticity},
    {"setGravity", &LMP_Scene::setGravity},
    {"setIntegrationStep", &LMP_Scene::setIntegrationStep},
    {"setUserData", &LMP_Scene::setUserData},
    {"getUserData", &LMP_Scene::getUserData},
    {"setActive", &LMP_Scene::setActive},
    {"getActive", &LMP_Scene::getActive},
    {nullptr, nullptr},
};
