#pragma once
// Points and axes of springs and joints, stored in their body's local frame
// (or in world coordinates without a body) and handed to scripts in the
// frame they ask for: REF_LOCAL or REF_GLOBAL.

#include <lua.hpp>

#include "model/vec3.h"

class MDL_RigidBody;

enum { LMP_REF_SELF = 1, LMP_REF_LOCAL = 2, LMP_REF_GLOBAL = 3 };

// Stores v, given in `frame`, into `stored`. An axis is a direction: no
// translation. Another frame reports "Invalid reference ID" and keeps
// `stored`.
void LMP_storeInFrame(lua_State* L, MDL_RigidBody* body, int frame, const double* v, bool axis, Vec3& stored);
// A setter's body: point or axis [, frame] ("V|I").
int LMP_setInFrame(lua_State* L, MDL_RigidBody* body, bool axis, Vec3& stored);
// A getter's body: [frame] ("I" when given, else REF_GLOBAL); pushes a new
// v3, or nothing after a refused argument or frame.
int LMP_getInFrame(lua_State* L, MDL_RigidBody* body, bool axis, const Vec3& stored);

class Scene;
// The scene a spring or joint between a and b (either may be null) goes
// into. Reports "At least one rigid body expected" without bodies and
// `differentScenes` for bodies of two scenes; null then, and silently null
// when the body belongs to no scene.
Scene* LMP_sceneOfBodies(lua_State* L, MDL_RigidBody* a, MDL_RigidBody* b, const char* differentScenes);
