#pragma once
// LMP_Object: the script proxy of a scene object and the base of every object
// class. Its methods come first in every object class's method table.
//
// An object class derives from LMP_Object, gives what lmp_binder.h asks of a
// bound class plus a constructor T(MDL_Object*) that links an existing object,
// gives constructorName() and className() when its messages name another constructor, and is
// registered with LMP_registerObjectClass<T>(L, type) in script/scene_api.cpp.

#include <type_traits>

#include "model/object.h"
#include "script/lmp_binder.h"

class LMP_Object : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Object> methods[];

  // A proxy linked to an existing object (null: no model).
  explicit LMP_Object(MDL_Object* object);
  ~LMP_Object() override;
  bool onEvent(CTRL_ScriptEngine* engine, int id, va_list args) override;
  // The constructor global named in constructor messages; static, so that
  // the binding can name it before anything is built. className answers it
  // for any proxy.
  static const char* constructorName() { return "newObject"; }
  virtual const char* className() const { return constructorName(); }
  // A parent or scene, then an optional source: the binding reports more,
  // and the construction goes on.
  static constexpr int kConstructorArgs = 2;

  // newObject(parent or scene [, source]).
  static LMP_Proxy* construct(lua_State* L);

  MDL_Object* object() const { return static_cast<MDL_Object*>(model); }

  // Methods (self already removed from the stack).
  int del(lua_State* L);
  int getBoundingBox(lua_State* L);
  int getChild(lua_State* L);
  int getChildrenCount(lua_State* L);
  int getDescendant(lua_State* L);
  int getParent(lua_State* L);
  int getScene(lua_State* L);
  int getPosition(lua_State* L);
  int getBasis(lua_State* L);
  int getScale(lua_State* L);
  int getSibling(lua_State* L);
  int getUserData(lua_State* L);
  int getAxis(lua_State* L);
  int rotate(lua_State* L);
  int rotateAxis(lua_State* L);
  int setScale(lua_State* L);
  int scale(lua_State* L);
  int setCallback(lua_State* L);
  int setPosition(lua_State* L);
  int setBasis(lua_State* L);
  int setUserData(lua_State* L);
  int translate(lua_State* L);
  int interpolateBasis(lua_State* L);
  int interpolatePosition(lua_State* L);
  int localToGlobalPoint(lua_State* L);
  int localToGlobalVector(lua_State* L);
  int globalToLocalPoint(lua_State* L);
  int globalToLocalVector(lua_State* L);
  int setMaxMouseMove(lua_State* L);
  int getType(lua_State* L);
  int getName(lua_State* L);
  int setName(lua_State* L);
  int exist(lua_State* L);
  int getState(lua_State* L);
  int setState(lua_State* L);
  int hasState(lua_State* L);
  int enableState(lua_State* L);
  int disableState(lua_State* L);
  int toggleState(lua_State* L);
  int setParent(lua_State* L);
  int isDescendant(lua_State* L);
};

// Every object class takes the LMP_Object rows before its own.
template <class T>
struct LMP_InheritedRows<T, std::enable_if_t<std::is_base_of_v<LMP_Object, T> && !std::is_same_v<T, LMP_Object>>> {
  static void add(lua_State* L, int methods) { LMP_Binder<T>::addRows(L, methods, LMP_Object::methods); }
};

// How LMP_iPushProxy pushes an object of one type code.
using LMP_ObjectPusher = int (*)(lua_State* L, MDL_Object* object);

template <class T>
int LMP_pushObjectAs(lua_State* L, MDL_Object* object) {
  LMP_Proxy* proxy = object->proxy.get();
  if (!proxy) proxy = new T(object);
  LMP_Binder<T>::push(L, proxy);
  return 1;
}

void LMP_markObjectClass(lua_State* L, const char* luaName);
void LMP_setObjectPusher(int type, LMP_ObjectPusher pusher);

// Registers object class T as the class of type code `type`: its binding,
// and the proxy class LMP_iPushProxy makes for such objects.
template <class T>
void LMP_registerObjectClass(lua_State* L, int type) {
  LMP_Binder<T>::registerClass(L);
  LMP_markObjectClass(L, T::luaName);
  LMP_setObjectPusher(type, &LMP_pushObjectAs<T>);
}

// Pushes the proxy of a scene object, creating one of its type's class on
// first use; nil for null. Returns the number of values pushed.
int LMP_iPushProxy(lua_State* L, MDL_Object* object);

// The proxy of an object of any object class at idx, or null.
LMP_Object* LMP_toObject(lua_State* L, int idx);
// The proxy at idx when it is one of the classes newObject, newMesh,
// newRigidBody, newText, newSound, newCamera, newLamp, newImage, newMike,
// newPolyline or newBone with a live slot; else null.
LMP_Object* LMP_getObjectArg(lua_State* L, int idx);

// Resolves a constructor's first argument, a scene or a parent object. A
// value that is neither raises an argument error naming newScene; a gone
// object, a parent outside any scene or a gone scene reports
// "Unable to retreive Scene" and gives false.
class Scene;
bool LMP_getSceneArg(lua_State* L, int idx, Scene** scene, MDL_Object** parent);

// Registers a constructor's new object in the scene; a refused list entry
// frees it and throws std::bad_alloc.
void LMP_registerNewObject(Scene* scene, MDL_Object* object);

// The model of an object constructor: a copy of source's subtree when copy
// is set (null when source is gone or not cloned), else make()'s new object
// registered in the scene at the parent's placement; then a child of parent
// when there is one.
MDL_Object* LMP_placeNewObject(Scene* scene, MDL_Object* parent, bool copy, MDL_Object* source, MDL_Object* (*make)());

// The model of a constructor (parent or scene [, source of class T]); null
// after a reported error.
template <class T>
MDL_Object* LMP_constructModel(lua_State* L, MDL_Object* (*make)()) {
  Scene* scene = nullptr;
  MDL_Object* parent = nullptr;
  if (!LMP_getSceneArg(L, 1, &scene, &parent)) return nullptr;
  bool copy = lua_gettop(L) >= 2;
  MDL_Object* source = copy ? LMP_Binder<T>::check(L, 2)->object() : nullptr;
  return LMP_placeNewObject(scene, parent, copy, source, make);
}

// Bodies shared by the scene and object classes.
bool LMP_sameNameIgnoringCase(const char* a, const char* b);
int LMP_setCallbackBody(lua_State* L, LMP_Proxy* proxy);
int LMP_setUserDataBody(lua_State* L, LMP_Proxy* proxy);
int LMP_getUserDataBody(lua_State* L, const LMP_Proxy* proxy);
