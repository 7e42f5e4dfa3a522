#include "script/lmp_object.h"

#include <cctype>
#include <cmath>
#include <new>

#include "controller/ctrl_generic.h"
#include "model/constants.h"
#include "model/scene.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_scene.h"
#include "script/lmp_values.h"

const char* const LMP_Object::luaName = "newObject";

namespace {

const double kPi = 3.141592653589793;
const double kHalfPi = 1.5707963267948966;

enum { REF_SELF = 1, REF_LOCAL = 2, REF_GLOBAL = 3 };
enum { SCOPE_RECURSE = 2 };
enum { INTERPOL_SIN = 1, INTERPOL_BEGSIN = 2, INTERPOL_ENDSIN = 3 };

LMP_ObjectPusher g_pushers[OBJECT_TYPE_COUNT];

bool validFrame(lua_State* L, int frame) {
  if (frame >= REF_SELF && frame <= REF_GLOBAL) return true;
  LMP_reportError(L, "Invalid reference ID");
  return false;
}

bool validAxis(lua_State* L, int axis) {
  if (axis >= 1 && axis <= 3) return true;
  LMP_reportError(L, "Invalid axis ID");
  return false;
}

// Reads the one optional frame of a getter ("I" only when an argument is
// given). False after a reported error.
bool optionalFrame(lua_State* L, const char* spec, int* frame) {
  *frame = REF_GLOBAL;
  if (lua_gettop(L) == 0) return true;
  return LMP_getArgs(L, spec, frame) != 0 && validFrame(L, *frame);
}

// The local placement, brought up to date for reading.
const RigidTransform& readLocal(MDL_Object* o) {
  o->recomputeLocal();
  return o->local;
}

// The basis a frame names for writing; REF_SELF writes the local basis.
RigidTransform& editFrame(MDL_Object* o, int frame) { return frame == REF_GLOBAL ? o->editWorld() : o->editLocal(); }

double shape(double t, int kind) {
  switch (kind) {
    case INTERPOL_SIN:
      return 0.5 - 0.5 * std::sin(t * kPi + kHalfPi);
    case INTERPOL_BEGSIN:
      return 1.0 - std::sin((t + 1.0) * kHalfPi);
    case INTERPOL_ENDSIN:
      return -std::sin(t * kHalfPi + kPi);
  }
  return t;
}

// A mask and an optional scope (default: the whole subtree).
bool maskAndScope(lua_State* L, uint32_t* mask, bool* recurse) {
  int m = 0, scope = SCOPE_RECURSE;
  if (!LMP_getArgs(L, "I|I", &m, &scope)) return false;
  *mask = static_cast<uint32_t>(m);
  *recurse = scope == SCOPE_RECURSE;
  return true;
}

bool isAncestor(const MDL_Object* candidate, const MDL_Object* of) {
  for (const MDL_Object* p = of->parent; p; p = p->parent)
    if (p == candidate) return true;
  return false;
}

// The value a "last value passed" method reads; none counts as nil.
int lastArg(lua_State* L) {
  int top = lua_gettop(L);
  if (top == 0) {
    lua_pushnil(L);
    top = 1;
  }
  return top;
}

}  // namespace

// ---- Proxy life

LMP_Object::LMP_Object(MDL_Object* object) {
  model = object;
  if (object) object->proxy.assign(this);
}

LMP_Object::~LMP_Object() {
  // A live object's link holds a count, so it cannot point here any more;
  // forget it all the same rather than leave it dangling.
  if (object() && object()->proxy.get() == this) object()->proxy.proxy = nullptr;
}

bool LMP_Object::onEvent(CTRL_ScriptEngine* engine, int id, va_list args) {
  int ref = callback(id);
  if (!ref) return false;
  LMP_Engine* lmp = static_cast<LMP_Engine*>(engine);
  lua_State* L = lmp->L;
  switch (id) {
    case CB_MOUSE_DOWN:
    case CB_MOUSE_UP:
    case CB_MOUSE_CLICK: {
      MDL_Object* hit = va_arg(args, MDL_Object*);
      const Vec3* point = va_arg(args, const Vec3*);
      lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
      if (!LMP_iPushProxy(L, object())) lua_pushnil(L);
      if (!LMP_iPushProxy(L, hit)) lua_pushnil(L);
      LMP_pushV3(L, *point);
      return lmp->call(3, 0);
    }
    case CB_MOVED:
      lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
      if (!LMP_iPushProxy(L, object())) lua_pushnil(L);
      return lmp->call(1, 0);
  }
  LMP_reportError(L, "Unhandled object callback");
  return false;
}

LMP_Proxy* LMP_Object::construct(lua_State* L) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return nullptr;
  MDL_Object* source = nullptr;
  bool copy = lua_gettop(L) >= 2;
  if (copy) source = LMP_Binder<LMP_Object>::check(L, 2)->object();
  return new LMP_Object(LMP_placeNewObject(scene, parent, copy, source, [] { return new MDL_Object(); }));
}

MDL_Object* LMP_placeNewObject(Scene* scene, MDL_Object* parent, bool copy, MDL_Object* source, MDL_Object* (*make)()) {
  MDL_Object* object = nullptr;
  if (copy) {
    object = source ? scene->instantiateByName(source) : nullptr;
  } else {
    object = make();
    LMP_registerNewObject(scene, object);
    if (parent) object->editWorld() = parent->getWorld();
  }
  if (object && parent) parent->addChild(object);
  return object;
}

void LMP_registerNewObject(Scene* scene, MDL_Object* object) {
  if (scene->registerObject(object)) return;
  delete object;  // listed nowhere yet
  throw std::bad_alloc();
}

// ---- Tree

int LMP_Object::del(lua_State* L) {
  LMP_getArgs(L, "");
  CTRL_Generic* ctrl = LMP_getController(L);
  if (!object() || !ctrl) return 0;
  ctrl->deleteObject(object());
  model = nullptr;
  return 0;
}

int LMP_Object::getBoundingBox(lua_State* L) {
  if (!object()) return 0;
  lua_createtable(L, 6, 0);
  for (int i = 1; i <= 6; ++i) {
    lua_pushnumber(L, 0);
    lua_rawseti(L, -2, i);
  }
  return 1;
}

int LMP_Object::getChild(lua_State* L) {
  if (!object()) return 0;
  MDL_Object* child = object()->firstChild;
  if (lua_gettop(L) > 0) {
    const char* name = nullptr;
    if (!LMP_getArgs(L, "S", &name)) return 0;
    while (child && !(child->name && LMP_sameNameIgnoringCase(child->name, name))) child = child->nextSibling;
  }
  return child ? LMP_iPushProxy(L, child) : 0;
}

int LMP_Object::getChildrenCount(lua_State* L) {
  if (!object()) return 0;
  int n = 0;
  for (MDL_Object* c = object()->firstChild; c; c = c->nextSibling) ++n;
  lua_pushnumber(L, n);
  return 1;
}

int LMP_Object::getDescendant(lua_State* L) {
  const char* name = nullptr;
  if (!object() || !LMP_getArgs(L, "S", &name)) return 0;
  MDL_Object* found = object()->getDescendant(name);
  return found ? LMP_iPushProxy(L, found) : 0;
}

int LMP_Object::getParent(lua_State* L) {
  if (!object() || !object()->parent) return 0;
  return LMP_iPushProxy(L, object()->parent);
}

int LMP_Object::getScene(lua_State* L) {
  if (!object() || !object()->scene || !object()->scene->proxy) return 0;
  LMP_Binder<LMP_Scene>::push(L, object()->scene->proxy.get());
  return 1;
}

int LMP_Object::getSibling(lua_State* L) {
  if (!object() || !object()->nextSibling) return 0;
  return LMP_iPushProxy(L, object()->nextSibling);
}

// Unlinks the object, then makes it a child of an object argument or, for
// anything else, a root placed where its local placement says.
int LMP_Object::setParent(lua_State* L) {
  MDL_Object* o = object();
  if (!o) return 0;
  LMP_Object* target = LMP_toObject(L, lastArg(L));
  MDL_Object* newParent = target ? target->object() : nullptr;
  if (newParent && (newParent == o || isAncestor(o, newParent))) return 0;  // no cycles
  // A parent in another scene (or in none) would be freed by a purge that
  // never sees this object, leaving it linked to freed memory.
  if (newParent && newParent->scene != o->scene) return 0;
  // Bring both placements up to date against the old parent before the link
  // goes, so nothing is rebuilt from stale data afterwards.
  o->getWorld();
  o->recomputeLocal();
  if (newParent) {
    o->unlinkFromParent();
    newParent->addChild(o);
    return 0;
  }
  o->invalidateDescendants();  // children keep their place relative to o
  o->unlinkFromParent();
  o->setParent(nullptr);
  o->worldValid = 0;  // a root's world is its local placement
  o->changed = 1;
  return 0;
}

int LMP_Object::isDescendant(lua_State* L) {
  if (!object()) return 0;
  LMP_Object* other = LMP_toObject(L, lastArg(L));
  lua_pushboolean(L, other && other->object() && isAncestor(other->object(), object()));
  return 1;
}

// ---- Placement

int LMP_Object::getPosition(lua_State* L) {
  int frame;
  if (!object() || !optionalFrame(L, "I", &frame)) return 0;
  if (frame == REF_SELF)
    LMP_pushV3(L, Vec3());
  else if (frame == REF_LOCAL)
    LMP_pushV3(L, readLocal(object()).position);
  else
    LMP_pushV3(L, object()->getWorld().position);
  return 1;
}

int LMP_Object::getBasis(lua_State* L) {
  int frame;
  if (!object() || !optionalFrame(L, "|I", &frame)) return 0;
  if (frame == REF_SELF)
    LMP_pushM33(L, Matrix3());
  else if (frame == REF_LOCAL)
    LMP_pushM33(L, readLocal(object()).basis);
  else
    LMP_pushM33(L, object()->getWorld().basis);
  return 1;
}

int LMP_Object::getScale(lua_State* L) {
  int frame;
  if (!object() || !optionalFrame(L, "I", &frame)) return 0;
  if (frame == REF_SELF) {
    LMP_pushV3(L, Vec3(1, 1, 1));
    return 1;
  }
  const Matrix3& m = frame == REF_LOCAL ? readLocal(object()).basis : object()->getWorld().basis;
  LMP_pushV3(L, Vec3(length3(m.axis[0]), length3(m.axis[1]), length3(m.axis[2])));
  return 1;
}

int LMP_Object::getAxis(lua_State* L) {
  int axis = 0, frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "I|I", &axis, &frame)) return 0;
  if (!validAxis(L, axis) || !validFrame(L, frame)) return 0;
  if (frame == REF_SELF)
    LMP_pushV3(L, Matrix3().axis[axis - 1]);
  else if (frame == REF_LOCAL)
    LMP_pushV3(L, readLocal(object()).basis.axis[axis - 1]);
  else
    LMP_pushV3(L, object()->getWorld().basis.axis[axis - 1]);
  return 1;
}

int LMP_Object::rotate(lua_State* L) {
  double* v = nullptr;
  double angle = 0;
  int frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "VN|I", &v, &angle, &frame) || !validFrame(L, frame)) return 0;
  Vec3 axis = LMP_toVec3(v);
  RigidTransform& t = editFrame(object(), frame);
  if (frame == REF_SELF) axis = t.basis * axis;  // the axis is given in the object's own frame
  Matrix3::rotate(t.basis, axis, angle * kDegToRad);
  t.inverseStale = 1;
  return 0;
}

int LMP_Object::rotateAxis(lua_State* L) {
  int axis = 0;
  double angle = 0;
  if (!object() || !LMP_getArgs(L, "IN", &axis, &angle) || !validAxis(L, axis)) return 0;
  RigidTransform& t = object()->editLocal();
  Matrix3::rotateAxis(t.basis, axis - 1, angle * kDegToRad);
  t.inverseStale = 1;
  return 0;
}

int LMP_Object::setScale(lua_State* L) {
  double* v = nullptr;
  int frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "V|I", &v, &frame) || !validFrame(L, frame)) return 0;
  if (frame == REF_SELF) {
    LMP_reportError(L, "Invalid reference ID");
    return 0;
  }
  RigidTransform& t = editFrame(object(), frame);
  Matrix3::setScale(t.basis, LMP_toVec3(v));
  t.inverseStale = 1;
  return 0;
}

int LMP_Object::scale(lua_State* L) {
  double* v = nullptr;
  if (!object() || !LMP_getArgs(L, "V", &v)) return 0;
  RigidTransform& t = object()->editLocal();
  for (int i = 0; i < 3; ++i) t.basis.axis[i] *= v[i];
  t.inverseStale = 1;
  return 0;
}

int LMP_Object::setPosition(lua_State* L) {
  double* v = nullptr;
  int frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "V|I", &v, &frame) || !validFrame(L, frame)) return 0;
  RigidTransform& t = editFrame(object(), frame);
  Vec3 p = LMP_toVec3(v);
  t.position = frame == REF_SELF ? t.basis * p + t.position : p;
  return 0;
}

int LMP_Object::translate(lua_State* L) {
  double* v = nullptr;
  int frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "V|I", &v, &frame) || !validFrame(L, frame)) return 0;
  RigidTransform& t = editFrame(object(), frame);
  Vec3 d = LMP_toVec3(v);
  t.position += frame == REF_SELF ? t.basis * d : d;
  return 0;
}

int LMP_Object::setBasis(lua_State* L) {
  double* m = nullptr;
  int frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "M|I", &m, &frame) || !validFrame(L, frame)) return 0;
  RigidTransform& t = editFrame(object(), frame);
  Matrix3 b = LMP_toMatrix3(m);
  if (frame == REF_SELF)
    Matrix3::mul(t.basis, t.basis, b);
  else
    t.basis = b;
  t.inverseStale = 1;
  return 0;
}

int LMP_Object::interpolateBasis(lua_State* L) {
  double *m1 = nullptr, *m2 = nullptr;
  double t = 0;
  int kind = 0, frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "MMN|II", &m1, &m2, &t, &kind, &frame) || !validFrame(L, frame)) return 0;
  t = shape(t, kind);
  Matrix3 a = LMP_toMatrix3(m1), b = LMP_toMatrix3(m2);
  RigidTransform& target = editFrame(object(), frame);
  if (frame == REF_SELF) {
    Matrix3::mul(a, target.basis, a);
    Matrix3::mul(b, target.basis, b);
  }
  for (int i = 0; i < 3; ++i) slerp3(target.basis.axis[i], a.axis[i], b.axis[i], t);
  target.inverseStale = 1;
  return 0;
}

int LMP_Object::interpolatePosition(lua_State* L) {
  double *p1 = nullptr, *p2 = nullptr;
  double t = 0;
  int kind = 0, frame = REF_GLOBAL;
  if (!object() || !LMP_getArgs(L, "VVN|II", &p1, &p2, &t, &kind, &frame) || !validFrame(L, frame)) return 0;
  t = shape(t, kind);
  Vec3 a = LMP_toVec3(p1), b = LMP_toVec3(p2);
  RigidTransform& target = editFrame(object(), frame);
  if (frame == REF_SELF) {
    a = target.basis * a;
    b = target.basis * b;
  }
  target.position = a * (1.0 - t) + b * t;
  return 0;
}

int LMP_Object::localToGlobalPoint(lua_State* L) {
  double* v = nullptr;
  if (!object() || !LMP_getArgs(L, "V", &v)) return 0;
  LMP_pushV3(L, object()->getWorld().toWorldPoint(LMP_toVec3(v)));
  return 1;
}

int LMP_Object::localToGlobalVector(lua_State* L) {
  double* v = nullptr;
  if (!object() || !LMP_getArgs(L, "V", &v)) return 0;
  LMP_pushV3(L, object()->getWorld().basis * LMP_toVec3(v));
  return 1;
}

int LMP_Object::globalToLocalPoint(lua_State* L) {
  double* v = nullptr;
  if (!object() || !LMP_getArgs(L, "V", &v)) return 0;
  LMP_pushV3(L, object()->getWorld().toLocalPoint(LMP_toVec3(v)));
  return 1;
}

int LMP_Object::globalToLocalVector(lua_State* L) {
  double* v = nullptr;
  if (!object() || !LMP_getArgs(L, "V", &v)) return 0;
  Vec3 out;
  object()->getWorld().toLocalDirection(LMP_toVec3(v), out);
  LMP_pushV3(L, out);
  return 1;
}

// ---- Names, type, state

int LMP_Object::setMaxMouseMove(lua_State* L) {
  double d = 0;
  int scope = SCOPE_RECURSE;
  if (!object() || !LMP_getArgs(L, "N|I", &d, &scope)) return 0;
  object()->maxMouseMove = d;
  if (scope == SCOPE_RECURSE) object()->setMaxMouseMove(d);
  return 0;
}

int LMP_Object::getType(lua_State* L) {
  if (!object()) return 0;
  lua_pushnumber(L, object()->type);
  return 1;
}

int LMP_Object::getName(lua_State* L) {
  if (!object() || !object()->name) return 0;
  lua_pushstring(L, object()->name);
  return 1;
}

int LMP_Object::setName(lua_State* L) {
  if (!object()) return 0;
  const char* name = nullptr;
  if (LMP_getArgs(L, "S", &name)) {
    object()->setName(name);
  } else if (lua_gettop(L) >= 1 && lua_isnil(L, 1)) {
    object()->setName(nullptr);
  } else {
    LMP_reportError(L, "Wrong usage of setName");
  }
  return 0;
}

int LMP_Object::exist(lua_State* L) {
  lua_pushboolean(L, object() && !object()->pendingDelete);
  return 1;
}

int LMP_Object::getState(lua_State* L) {
  if (!object()) return 0;
  lua_pushnumber(L, object()->state);
  return 1;
}

int LMP_Object::hasState(lua_State* L) {
  int mask = 0;
  if (!object() || !LMP_getArgs(L, "I", &mask)) return 0;
  uint32_t m = static_cast<uint32_t>(mask);
  lua_pushboolean(L, (object()->state & m) == m);
  return 1;
}

int LMP_Object::setState(lua_State* L) {
  uint32_t mask;
  bool recurse;
  if (!object() || !maskAndScope(L, &mask, &recurse)) return 0;
  object()->state = mask;
  if (recurse) object()->setState(mask);
  return 0;
}

int LMP_Object::enableState(lua_State* L) {
  uint32_t mask;
  bool recurse;
  if (!object() || !maskAndScope(L, &mask, &recurse)) return 0;
  object()->state |= mask;
  if (recurse) object()->enableState(mask);
  return 0;
}

int LMP_Object::disableState(lua_State* L) {
  uint32_t mask;
  bool recurse;
  if (!object() || !maskAndScope(L, &mask, &recurse)) return 0;
  object()->state &= ~mask;
  if (recurse) object()->disableState(mask);
  return 0;
}

int LMP_Object::toggleState(lua_State* L) {
  uint32_t mask;
  bool recurse;
  if (!object() || !maskAndScope(L, &mask, &recurse)) return 0;
  object()->state ^= mask;
  if (recurse) object()->toggleState(mask);
  return 0;
}

// ---- Script data

int LMP_Object::setCallback(lua_State* L) { return object() ? LMP_setCallbackBody(L, this) : 0; }
int LMP_Object::setUserData(lua_State* L) { return object() ? LMP_setUserDataBody(L, this) : 0; }
int LMP_Object::getUserData(lua_State* L) { return object() ? LMP_getUserDataBody(L, this) : 0; }

const LMP_MethodReg<LMP_Object> LMP_Object::methods[] = {
    {"delete", &LMP_Object::del},
    {"getBoundingBox", &LMP_Object::getBoundingBox},
    {"getChild", &LMP_Object::getChild},
    {"getChildrenCount", &LMP_Object::getChildrenCount},
    {"getDescendant", &LMP_Object::getDescendant},
    {"getParent", &LMP_Object::getParent},
    {"getScene", &LMP_Object::getScene},
    {"getPosition", &LMP_Object::getPosition},
    {"getBasis", &LMP_Object::getBasis},
    {"getScale", &LMP_Object::getScale},
    {"getSibling", &LMP_Object::getSibling},
    {"getUserData", &LMP_Object::getUserData},
    {"getAxis", &LMP_Object::getAxis},
    {"rotate", &LMP_Object::rotate},
    {"rotateAxis", &LMP_Object::rotateAxis},
    {"setScale", &LMP_Object::setScale},
    {"scale", &LMP_Object::scale},
    {"setCallback", &LMP_Object::setCallback},
    {"setPosition", &LMP_Object::setPosition},
    {"setBasis", &LMP_Object::setBasis},
    {"setUserData", &LMP_Object::setUserData},
    {"translate", &LMP_Object::translate},
    {"interpolateBasis", &LMP_Object::interpolateBasis},
    {"interpolatePosition", &LMP_Object::interpolatePosition},
    {"localToGlobalPoint", &LMP_Object::localToGlobalPoint},
    {"localToGlobalVector", &LMP_Object::localToGlobalVector},
    {"globalToLocalPoint", &LMP_Object::globalToLocalPoint},
    {"globalToLocalVector", &LMP_Object::globalToLocalVector},
    {"setMaxMouseMove", &LMP_Object::setMaxMouseMove},
    {"getType", &LMP_Object::getType},
    {"getName", &LMP_Object::getName},
    {"setName", &LMP_Object::setName},
    {"exist", &LMP_Object::exist},
    {"getState", &LMP_Object::getState},
    {"setState", &LMP_Object::setState},
    {"hasState", &LMP_Object::hasState},
    {"enableState", &LMP_Object::enableState},
    {"disableState", &LMP_Object::disableState},
    {"toggleState", &LMP_Object::toggleState},
    {"setParent", &LMP_Object::setParent},
    {"isDescendant", &LMP_Object::isDescendant},
    {nullptr, nullptr},
};

// ---- Object arguments and pushing

void LMP_setObjectPusher(int type, LMP_ObjectPusher pusher) {
  if (type >= 0 && type < OBJECT_TYPE_COUNT) g_pushers[type] = pusher;
}

int LMP_iPushProxy(lua_State* L, MDL_Object* object) {
  if (!object) {
    lua_pushnil(L);
    return 1;
  }
  int type = object->type;
  LMP_ObjectPusher pusher = type >= 0 && type < OBJECT_TYPE_COUNT ? g_pushers[type] : nullptr;
  if (!pusher) {
    LMP_reportError(L, "LMP_iPushProxy -> Unknown object type");
    return 0;
  }
  return pusher(L, object);
}

// Object class metatables carry this mark, so any of them is recognised
// with one lookup.
namespace {
const char objectClassKey = 0;
}

void LMP_markObjectClass(lua_State* L, const char* luaName) {
  luaL_getmetatable(L, luaName);
  lua_pushlightuserdata(L, const_cast<char*>(&objectClassKey));
  lua_pushboolean(L, 1);
  lua_rawset(L, -3);
  lua_pop(L, 1);
}

LMP_Object* LMP_toObject(lua_State* L, int idx) {
  LMP_UserData* ud = static_cast<LMP_UserData*>(lua_touserdata(L, idx));
  if (!ud || lua_islightuserdata(L, idx) || !lua_getmetatable(L, idx)) return nullptr;
  lua_rawgetp(L, -1, &objectClassKey);
  bool isObject = lua_toboolean(L, -1) != 0;
  lua_pop(L, 2);
  return isObject ? static_cast<LMP_Object*>(ud->proxy) : nullptr;
}

LMP_Object* LMP_getObjectArg(lua_State* L, int idx) {
  static const char* const classes[] = {"newObject", "newMesh",  "newRigidBody", "newText",     "newSound", "newCamera",
                                        "newLamp",   "newImage", "newMike",      "newPolyline", "newBone"};
  if (!lua_isuserdata(L, idx)) return nullptr;
  for (const char* name : classes) {
    LMP_UserData* ud = lmp_binder::test(L, idx, name);
    if (ud && ud->proxy) return static_cast<LMP_Object*>(ud->proxy);
  }
  return nullptr;
}

bool LMP_getSceneArg(lua_State* L, int idx, Scene** scene, MDL_Object** parent) {
  *scene = nullptr;
  *parent = nullptr;
  if (LMP_Proxy** slot = LMP_Binder<LMP_Scene>::test(L, idx)) {
    *scene = *slot ? static_cast<Scene*>((*slot)->model) : nullptr;
  } else if (LMP_Object* o = LMP_toObject(L, idx)) {
    *parent = o->object();
    *scene = *parent ? (*parent)->scene : nullptr;
  } else {
    LMP_argError(L, idx, LMP_Scene::luaName);
  }
  if (!*scene) {
    LMP_reportError(L, "Unable to retreive Scene");
    return false;
  }
  return true;
}

// ---- Bodies shared with the scene class

bool LMP_sameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

int LMP_setCallbackBody(lua_State* L, LMP_Proxy* proxy) {
  int id = 0, ref = 0;
  if (!LMP_getArgs(L, "IF", &id, &ref)) return 0;
  if (id < 1 || id > CB_MAX) {
    luaL_unref(L, LUA_REGISTRYINDEX, ref);  // no slot: keep nothing
    return 0;
  }
  int old = proxy->callbacks[id - 1];
  proxy->callbacks[id - 1] = ref;
  proxy->holdRefsIn(L);
  if (old > 0) luaL_unref(L, LUA_REGISTRYINDEX, old);
  return 0;
}

int LMP_setUserDataBody(lua_State* L, LMP_Proxy* proxy) {
  int32_t* ref = &proxy->userDataRef;
  if (*ref) luaL_unref(L, LUA_REGISTRYINDEX, *ref);
  lua_pushvalue(L, lastArg(L));
  *ref = luaL_ref(L, LUA_REGISTRYINDEX);
  proxy->holdRefsIn(L);
  return 0;
}

int LMP_getUserDataBody(lua_State* L, const LMP_Proxy* proxy) {
  const int32_t ref = proxy->userDataRef;
  if (!ref) return 0;
  lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
  return 1;
}
