// The bound classes of the scene API, in registration order. A new class is
// one file with its method table and one line here.
#include "script/scene_api.h"

#include "script/lmp_animated_mesh.h"
#include "script/lmp_animation.h"
#include "script/lmp_animation_data.h"
#include "script/lmp_bone.h"
#include "script/lmp_camera.h"
#include "script/lmp_collision_volume.h"
#include "script/lmp_font.h"
#include "script/lmp_image.h"
#include "script/lmp_joint.h"
#include "script/lmp_lamp.h"
#include "script/lmp_locator.h"
#include "script/lmp_material.h"
#include "script/lmp_mesh.h"
#include "script/lmp_mike.h"
#include "script/lmp_models_set.h"
#include "script/lmp_object.h"
#include "script/lmp_polyline.h"
#include "script/lmp_rigid_body.h"
#include "script/lmp_sample.h"
#include "script/lmp_scene.h"
#include "script/lmp_sound.h"
#include "script/lmp_spring.h"
#include "script/lmp_stream.h"
#include "script/lmp_text.h"
#include "script/lmp_texture.h"
#include "script/lmp_viewport.h"

void LMP_registerClasses(lua_State* L) {
  LMP_installProxyHooks();
  // Until an object type has its own class, its objects reach scripts as
  // plain objects; the class's registration below replaces that.
  for (int type = 0; type < OBJECT_TYPE_COUNT; ++type)
    if (type != OBJECT_RTF_TEXT) LMP_setObjectPusher(type, &LMP_pushObjectAs<LMP_Object>);

  LMP_Binder<LMP_Scene>::registerClass(L);
  LMP_Binder<LMP_Viewport>::registerClass(L);
  LMP_registerObjectClass<LMP_Object>(L, OBJECT_NONE);
  LMP_registerObjectClass<LMP_Mesh>(L, OBJECT_MESH);
  LMP_registerObjectClass<LMP_AnimatedMesh>(L, OBJECT_ANIMATED_MESH);
  LMP_registerObjectClass<LMP_RigidBody>(L, OBJECT_RIGID_BODY);
  LMP_registerObjectClass<LMP_Sound>(L, OBJECT_SOUND);
  LMP_registerObjectClass<LMP_Text>(L, OBJECT_TEXT);
  LMP_registerObjectClass<LMP_Lamp>(L, OBJECT_LAMP);
  LMP_registerObjectClass<LMP_Camera>(L, OBJECT_CAMERA);
  LMP_registerObjectClass<LMP_Mike>(L, OBJECT_MIKE);
  LMP_registerObjectClass<LMP_Image>(L, OBJECT_IMAGE);
  LMP_registerObjectClass<LMP_Polyline>(L, OBJECT_POLYLINE);
  LMP_Binder<LMP_Texture>::registerClass(L);
  LMP_Binder<LMP_Sample>::registerClass(L);
  LMP_registerObjectClass<LMP_Bone>(L, OBJECT_BONE);
  LMP_Binder<LMP_Stream>::registerClass(L);
  LMP_Binder<LMP_Font>::registerClass(L);
  LMP_Binder<LMP_ModelsSet>::registerClass(L);
  LMP_Binder<LMP_Material>::registerClass(L);
  LMP_Binder<LMP_Spring>::registerClass(L);
  LMP_Binder<LMP_Joint>::registerClass(L);
  LMP_registerObjectClass<LMP_CollisionVolume>(L, OBJECT_COLLISION_VOLUME);
  LMP_Binder<LMP_AnimationData>::registerClass(L);
  LMP_Binder<LMP_Animation>::registerClass(L);
  LMP_registerObjectClass<LMP_Locator>(L, OBJECT_LOCATOR);
}
