// Contacts between collision volumes: the narrow-phase shape tests and the
// response the scene's collision pass applies.
#pragma once

#include "model/vec3.h"

class CTRL_ScriptEngine;
class MDL_CollisionVolume;
class MDL_RigidBody;
class Scene;

// One contact of a pair (A, B): the normal points from A towards B and the
// point lies on A's surface where A reaches deepest into B.
struct Contact {
  Vec3 point;
  Vec3 normal;
  double depth = 0.0;
};

// The contact of two volumes, or false when they do not touch.
bool collideVolumes(MDL_CollisionVolume* a, MDL_CollisionVolume* b, Contact& contact);

// Whether a sphere (squared radius radius2, centre at boxToSphere from the
// box's centre) surely misses a box whose axes stand at right angles: true
// only where the box-sphere test finds no contact. False when it may touch
// or the box is not square enough to tell.
bool sphereApartFromSquareBox(const Vec3& boxToSphere, const Matrix3& box, double radius2);

// One pair met by the collision pass's sweep: the contact, its callbacks and
// its response, or nothing at the first rule that skips the pair. bodies,
// when given, receives the two owning bodies once the rules have looked them
// up (null until then): the only objects a response can move.
void collideSweepPair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_CollisionVolume* b,
                      MDL_RigidBody** bodies = nullptr);
// The same for a pair that the rules let through, with bodyA and bodyB the
// owning bodies of a and b: the shape test, the callbacks and the response.
void collideAdmittedPair(Scene* scene, CTRL_ScriptEngine* engine, MDL_CollisionVolume* a, MDL_RigidBody* bodyA,
                         MDL_CollisionVolume* b, MDL_RigidBody* bodyB);
