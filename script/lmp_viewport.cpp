#include "script/lmp_viewport.h"

#include <memory>

#include "controller/ctrl_generic.h"
#include "controller/event.h"
#include "model/camera.h"
#include "model/constants.h"
#include "model/sound.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_camera.h"
#include "script/lmp_fields.h"
#include "script/lmp_mike.h"
#include "script/lmp_object.h"
#include "script/lmp_values.h"
#include "script/scene_api.h"

const char* const LMP_Viewport::luaName = "newViewport";

namespace {

const double kRadToDeg = 57.29577951308232;

// (viewport proxy, event) -> the callback's four arguments. Run protected:
// the values it makes may need memory.
int pushEventArguments(lua_State* L) {
  LMP_Viewport* self = static_cast<LMP_Viewport*>(lua_touserdata(L, 1));
  const Event& event = *static_cast<const Event*>(lua_touserdata(L, 2));
  lua_settop(L, 0);
  LMP_Binder<LMP_Viewport>::push(L, self);
  lua_pushnumber(L, event.type);
  switch (event.type) {
    case EVENT_KEY_DOWN:
    case EVENT_KEY_UP:
      lua_pushnumber(L, event.code);
      lua_pushnumber(L, 0);
      break;
    case EVENT_ZOOM: {
      // The event carries the mouse in client widths; this viewport wants
      // its own units.
      lua_pushnumber(L, event.amount);
      double at[2] = {0, 0};
      if (CTRL_Generic* ctrl = LMP_getController(L)) {
        const double window[2] = {event.point[0] * ctrl->clientWidth, event.point[1] * ctrl->clientWidth};
        ctrl->windowToViewport(self->viewport(), window, at);
      }
      LMP_pushV2(L, at[0], at[1]);
      break;
    }
    default:
      lua_pushnumber(L, 0);
      lua_pushnumber(L, 0);
      break;
  }
  return 4;
}

// The value a "last value passed" setter reads: nil when there is none.
int lastArg(lua_State* L) {
  if (lua_gettop(L) == 0) lua_pushnil(L);
  return lua_gettop(L);
}

// "N|NN" of the orbit setters: the value and, with all three numbers, the
// limits, each times `unit`; fewer numbers lift the limits to (lo, hi).
bool readOrbitValue(lua_State* L, double unit, double lo, double hi, double* value, double* min, double* max) {
  double a = 0, b = 0, c = 0;
  int n = LMP_getArgs(L, "N|NN", &a, &b, &c);
  if (!n) return false;
  *value = a * unit;
  *min = n == 3 ? b * unit : lo;
  *max = n == 3 ? c * unit : hi;
  return true;
}

}  // namespace

LMP_Viewport::~LMP_Viewport() {
  // A live record's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (viewport() && viewport()->proxy.get() == this) viewport()->proxy.proxy = nullptr;
}

bool LMP_Viewport::onEvent(CTRL_ScriptEngine* engine, int id, va_list args) {
  LMP_Engine* lmp = static_cast<LMP_Engine*>(engine);
  lua_State* L = lmp ? lmp->L : nullptr;
  int ref = callback(CB_EVENT);
  if (!L || id != CB_EVENT || !ref) return false;
  const Event* event = va_arg(args, const Event*);
  lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
  if (!lmp->protectedCall(pushEventArguments, this, event, 4)) {
    lua_pop(L, 1);
    return false;
  }
  if (!lmp->call(4, 1)) return false;
  bool isBoolean = lua_type(L, -1) == LUA_TBOOLEAN;
  bool handled = lua_toboolean(L, -1) != 0;
  lua_pop(L, 1);
  if (isBoolean) return handled;
  LMP_reportError(L, "Event function must return 1 boolean value.");
  return false;
}

LMP_Proxy* LMP_Viewport::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  double x = 0, y = 0, w = 0, h = 0;
  const bool placed = ctrl && LMP_getArgs(L, "NNNN", &x, &y, &w, &h);
  std::unique_ptr<LMP_Viewport> proxy(new LMP_Viewport());
  if (!placed) return proxy.release();
  Viewport* v = LMP_appendNew(ctrl->resources.viewports, new Viewport());
  v->x = x;
  v->y = y;
  v->width = w;
  v->height = h;
  ctrl->setCurrentViewport(v);
  proxy->model = v;
  v->proxy.assign(proxy.get());
  return proxy.release();
}

int LMP_Viewport::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  LMP_getArgs(L, "");  // reports surplus arguments
  if (!ctrl) return 0;
  Viewport* v = viewport();
  model = nullptr;
  if (v) ctrl->deleteViewport(v);  // a record outside the list is left alone
  return 0;
}

int LMP_Viewport::getCamera(lua_State* L) {
  return viewport() && viewport()->camera ? LMP_iPushProxy(L, viewport()->camera) : 0;
}

int LMP_Viewport::getMike(lua_State* L) {
  return viewport() && viewport()->mike ? LMP_iPushProxy(L, viewport()->mike) : 0;
}

int LMP_Viewport::setCamera(lua_State* L) {
  if (!viewport()) return 0;
  int at = lastArg(L);
  MDL_Camera* camera = nullptr;
  if (!lua_isnil(L, at)) camera = LMP_Binder<LMP_Camera>::check(L, at)->camera();
  // One deleted this frame is freed by the purge: taken as a dead one.
  if (camera && camera->pendingDelete) camera = nullptr;
  viewport()->camera = camera;
  return 0;
}

int LMP_Viewport::setMike(lua_State* L) {
  if (!viewport()) return 0;
  int at = lastArg(L);
  MDL_Mike* mike = nullptr;
  if (!lua_isnil(L, at)) mike = LMP_Binder<LMP_Mike>::check(L, at)->mike();
  if (mike && mike->pendingDelete) mike = nullptr;
  viewport()->mike = mike;
  return 0;
}

int LMP_Viewport::setBackgroundColor(lua_State* L) {
  double* c = nullptr;
  if (!viewport() || !LMP_getArgs(L, "C", &c)) return 0;
  for (int i = 0; i < 4; ++i) viewport()->background[i] = c[i];
  return 0;
}

int LMP_Viewport::getActive(lua_State* L) {
  if (!viewport()) return 0;
  lua_pushboolean(L, viewport()->active);
  return 1;
}

int LMP_Viewport::setActive(lua_State* L) {
  if (viewport()) LMP_getArgs(L, "B", &viewport()->active);
  return 0;
}

int LMP_Viewport::setNavigationMode(lua_State* L) {
  int mode = 0;
  if (!viewport() || !LMP_getArgs(L, "I", &mode)) return 0;
  if (mode < NAVIGATION_FREE || mode > NAVIGATION_GLASSBALL) {
    LMP_reportError(L, "Unsupported navigation type specified.");
    return 0;
  }
  viewport()->navigationMode = mode;
  return 0;
}

int LMP_Viewport::getNavigationMode(lua_State* L) {
  return viewport() ? LMP_returnNumber(L, viewport()->navigationMode) : 0;
}

// In the orbit modes the position is the target the camera circles; in the
// others it is the camera's own place, so without a camera there is none.
int LMP_Viewport::setNavigationPosition(lua_State* L) {
  Viewport* v = viewport();
  double* p = nullptr;
  if (!v || !LMP_getArgs(L, "V", &p)) return 0;
  if (v->orbits()) {
    v->navigationPosition = LMP_toVec3(p);
    v->updateCamera();
  } else if (v->camera) {
    v->camera->editWorld().position = LMP_toVec3(p);
  }
  return 0;
}

int LMP_Viewport::getNavigationPosition(lua_State* L) {
  Viewport* v = viewport();
  if (!v) return 0;
  if (v->orbits()) return LMP_returnV3(L, v->navigationPosition);
  return v->camera ? LMP_returnV3(L, v->camera->getWorld().position) : 0;
}

int LMP_Viewport::setNavigationBasis(lua_State* L) {
  Viewport* v = viewport();
  double* m = nullptr;
  if (!v || !LMP_getArgs(L, "M", &m)) return 0;
  if (!v->orbits() && v->camera) v->camera->editWorld().basis = LMP_toMatrix3(m);
  return 0;
}

int LMP_Viewport::setNavigationRadius(lua_State* L) {
  Viewport* v = viewport();
  if (!v || !v->orbits()) return 0;
  if (readOrbitValue(L, 1.0, 0, Viewport::kNoLimit, &v->navigationRadius, &v->radiusMin, &v->radiusMax))
    v->updateCamera();
  return 0;
}

int LMP_Viewport::setNavigationAzimuth(lua_State* L) {
  Viewport* v = viewport();
  if (!v || !v->orbits()) return 0;
  if (readOrbitValue(L, kDegToRad, -Viewport::kNoLimit, Viewport::kNoLimit, &v->navigationAzimuth, &v->azimuthMin,
                     &v->azimuthMax))
    v->updateCamera();
  return 0;
}

int LMP_Viewport::setNavigationElevation(lua_State* L) {
  Viewport* v = viewport();
  if (!v || !v->orbits()) return 0;
  if (readOrbitValue(L, kDegToRad, -Viewport::kNoLimit, Viewport::kNoLimit, &v->navigationElevation, &v->elevationMin,
                     &v->elevationMax))
    v->updateCamera();
  return 0;
}

// Outside the orbit modes the orbit getters answer one nil.
int LMP_Viewport::orbitValue(lua_State* L, double value) const {
  if (viewport()->orbits()) return LMP_returnNumber(L, value);
  lua_pushnil(L);
  return 1;
}

int LMP_Viewport::getNavigationRadius(lua_State* L) {
  Viewport* v = viewport();
  if (!v) return 0;
  v->updateCamera();
  return orbitValue(L, v->navigationRadius);
}

int LMP_Viewport::getNavigationAzimuth(lua_State* L) {
  Viewport* v = viewport();
  if (!v) return 0;
  v->updateCamera();
  return orbitValue(L, v->navigationAzimuth * kRadToDeg);
}

int LMP_Viewport::getNavigationElevation(lua_State* L) {
  Viewport* v = viewport();
  if (!v) return 0;
  v->updateCamera();
  return orbitValue(L, v->navigationElevation * kRadToDeg);
}

int LMP_Viewport::getShadowRendering(lua_State* L) {
  return viewport() ? LMP_returnNumber(L, viewport()->shadowMode) : 0;
}

int LMP_Viewport::setShadowRendering(lua_State* L) {
  int mode = 0;
  if (!viewport() || !LMP_getArgs(L, "I", &mode)) return 0;
  if (mode != 0 && mode != 1) {
    LMP_reportError(L, "Unsupported shadow type specified.");
    return 0;
  }
  viewport()->shadowMode = mode;
  return 0;
}

int LMP_Viewport::getWidth(lua_State* L) { return viewport() ? LMP_returnNumber(L, viewport()->width) : 0; }
int LMP_Viewport::getHeight(lua_State* L) { return viewport() ? LMP_returnNumber(L, viewport()->height) : 0; }

int LMP_Viewport::getSize(lua_State* L) {
  if (!viewport()) return 0;
  LMP_pushV2(L, viewport()->width, viewport()->height);
  return 1;
}

int LMP_Viewport::getPosition(lua_State* L) {
  if (!viewport()) return 0;
  LMP_pushV2(L, viewport()->x, viewport()->y);
  return 1;
}

int LMP_Viewport::setSize(lua_State* L) {
  double* s = nullptr;
  if (!viewport() || !LMP_getArgs(L, "W", &s)) return 0;
  viewport()->width = s[0];
  viewport()->height = s[1];
  return 0;
}

int LMP_Viewport::setPosition(lua_State* L) {
  double* p = nullptr;
  if (!viewport() || !LMP_getArgs(L, "W", &p)) return 0;
  viewport()->x = p[0];
  viewport()->y = p[1];
  return 0;
}

int LMP_Viewport::getCenter(lua_State* L) {
  if (!viewport()) return 0;
  return LMP_returnV3(L, Vec3(viewport()->width * 0.5, viewport()->height * 0.5, 0));
}

// Without a camera the ray is two zero vectors.
int LMP_Viewport::getPickRay(lua_State* L) {
  double* p = nullptr;
  if (!viewport() || !LMP_getArgs(L, "V", &p)) return 0;
  Vec3 origin, end;
  if (viewport()->camera) {
    viewport()->screenToWorld(Vec3(p[0], p[1], 0), origin);
    viewport()->screenToWorld(Vec3(p[0], p[1], 1), end);
  }
  LMP_pushV3(L, origin);
  LMP_pushV3(L, end - origin);
  return 2;
}

int LMP_Viewport::toScene(lua_State* L) {
  double* p = nullptr;
  if (!viewport() || !LMP_getArgs(L, "V", &p)) return 0;
  Vec3 out;
  viewport()->screenToWorld(LMP_toVec3(p), out);
  return LMP_returnV3(L, out);
}

int LMP_Viewport::fromScene(lua_State* L) {
  double* p = nullptr;
  if (!viewport() || !LMP_getArgs(L, "V", &p)) return 0;
  Vec3 out;
  viewport()->worldToScreen(LMP_toVec3(p), out);
  return LMP_returnV3(L, out);
}

int LMP_Viewport::setCallback(lua_State* L) { return viewport() ? LMP_setCallbackBody(L, this) : 0; }

const LMP_MethodReg<LMP_Viewport> LMP_Viewport::methods[] = {
    {"delete", &LMP_Viewport::del},
    {"getCamera", &LMP_Viewport::getCamera},
    {"getMike", &LMP_Viewport::getMike},
    {"setCamera", &LMP_Viewport::setCamera},
    {"setMike", &LMP_Viewport::setMike},
    {"setBackgroundColor", &LMP_Viewport::setBackgroundColor},
    {"getActive", &LMP_Viewport::getActive},
    {"setActive", &LMP_Viewport::setActive},
    {"setNavigationMode", &LMP_Viewport::setNavigationMode},
    {"getNavigationMode", &LMP_Viewport::getNavigationMode},
    {"setNavigationPosition", &LMP_Viewport::setNavigationPosition},
    {"getNavigationPosition", &LMP_Viewport::getNavigationPosition},
    {"setNavigationBasis", &LMP_Viewport::setNavigationBasis},
    {"setNavigationRadius", &LMP_Viewport::setNavigationRadius},
    {"setNavigationAzimuth", &LMP_Viewport::setNavigationAzimuth},
    {"setNavigationElevation", &LMP_Viewport::setNavigationElevation},
    {"getNavigationRadius", &LMP_Viewport::getNavigationRadius},
    {"getNavigationAzimuth", &LMP_Viewport::getNavigationAzimuth},
    {"getNavigationElevation", &LMP_Viewport::getNavigationElevation},
    {"getShadowRendering", &LMP_Viewport::getShadowRendering},
    {"setShadowRendering", &LMP_Viewport::setShadowRendering},
    {"getWidth", &LMP_Viewport::getWidth},
    {"getHeight", &LMP_Viewport::getHeight},
    {"getSize", &LMP_Viewport::getSize},
    {"getPosition", &LMP_Viewport::getPosition},
    {"setSize", &LMP_Viewport::setSize},
    {"setPosition", &LMP_Viewport::setPosition},
    {"getCenter", &LMP_Viewport::getCenter},
    {"getPickRay", &LMP_Viewport::getPickRay},
    {"toScene", &LMP_Viewport::toScene},
    {"fromScene", &LMP_Viewport::fromScene},
    {"setCallback", &LMP_Viewport::setCallback},
    {nullptr, nullptr},
};
