// Skinning and the scene's animation records.
#include "model/animated_mesh.h"
#include "model/animation.h"
#include "model/scene.h"

void Scene::skinMesh(MDL_Object* animatedMesh) {
  if (animatedMesh && animatedMesh->type == OBJECT_ANIMATED_MESH)
    static_cast<MDL_AnimatedMesh*>(animatedMesh)->update(false);
}

// The record's link releases the proxy, which forgets the record.
void Scene::destroyAnimation(Animation* animation) { delete animation; }

MDL_Object* Scene::animationTarget(const Animation* animation) { return animation ? animation->target : nullptr; }
