// Physics phases of the scene step and the scene's spring and joint records.
// Placeholders until the rigid-body, collision, spring and joint code fills
// them: with no such objects there is nothing to do.
#include "model/scene.h"

void Scene::applySprings(double) {}

void Scene::integrateBodies(double) {}

void Scene::solveJoints() {}

void Scene::collide(CTRL_ScriptEngine*) {}

bool Scene::collideBodyWithBounds(MDL_Object*, CTRL_ScriptEngine*, int, double, double) { return false; }

Spring* Scene::addSpring() { return nullptr; }

void Scene::destroySpring(Spring*) {}

void Scene::destroyJoint(Joint*) {}

bool Scene::springUsesDeleted(const Spring*) { return false; }

bool Scene::jointUsesDeleted(const Joint*) { return false; }
