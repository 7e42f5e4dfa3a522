// Skinning and the scene's animation records.
#include "model/animated_mesh.h"
#include "model/scene.h"

void Scene::skinMesh(MDL_Object* animatedMesh) {
    if (animatedMesh && animatedMesh->type == OBJECT_ANIMATED_MESH)
        static_cast<MDL_AnimatedMesh*>(animatedMesh)->update(false);
}

void Scene::destroyAnimation(Animation*) {}

MDL_Object* Scene::animationTarget(const Animation*) { return nullptr; }
