// Skinning and the scene's animation records. Placeholders until the bone,
// animated-mesh and keyframe code fills them.
#include "model/scene.h"

void Scene::skinMesh(MDL_Object*) {}

void Scene::destroyAnimation(Animation*) {}

MDL_Object* Scene::animationTarget(const Animation*) { return nullptr; }
