// The models-set loader on any text, then what it made put to use: every
// object instantiated into a scene, the set's tracks played on the copies,
// frames stepped (physics, skinning, animation) and drawn by the renderer on
// a hidden window (mesh buffers, shadow volumes of a shadowing lamp, the
// mirror, the translucent tree), the copies deleted and the set retired
// while the scene still runs and is drawn.
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "controller/models_set.h"
#include "fuzz_bounds.h"
#include "fuzz_support.h"
#include "model/animation.h"
#include "model/camera.h"
#include "model/lamp.h"
#include "model/scene.h"
#include "model/viewport.h"
#include "support/test_geometry.h"
#include "support/test_package.h"

namespace {

// An object of ours in the scene (freed here when the scene cannot take it).
template <class T>
T* add(Scene* scene, T* object) {
  if (scene->registerObject(object)) return object;
  delete object;
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUpDrawing("models_set");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 17)) return 0;
  // Text members must end in a line end, or the controller stops.
  std::string text(reinterpret_cast<const char*>(data), size);
  text += '\n';
  if (!asksForLittle(text)) return 0;
  testpkg::RecordingController controller(nullptr, fuzz::hiddenRenderer());
  fuzz::serveMember(controller, "set.xml", reinterpret_cast<const uint8_t*>(text.data()), text.size());
  ModelsSet* set = controller.loadModelsSet("set.xml");
  if (!set) return 0;

  Scene* scene = new Scene;
  if (!controller.resources.scenes.append(scene)) {
    delete scene;
    return 0;
  }
  std::vector<MDL_Object*> copies;
  for (MDL_Object* source : set->objects)
    if (MDL_Object* copy = scene->instantiateByName(source)) copies.push_back(copy);
  for (int32_t i = 0; i < set->animations.count && !copies.empty(); ++i) {
    Animation* a = new (std::nothrow) Animation();
    if (!a) break;
    if (!scene->animations.append(a)) {
      delete a;
      break;
    }
    a->target = copies[static_cast<size_t>(i) % copies.size()];
    a->data = set->animations[i];
    a->duration = 1e9;
  }
  // Something to see it with: a camera over the origin, a lamp that casts
  // shadows, and a viewport over the content (volumes with or without caps,
  // drawn by depth pass or depth fail, as the input's length says).
  MDL_Camera* eye = add(scene, new MDL_Camera);
  MDL_Lamp* lamp = add(scene, new MDL_Lamp);
  if (!eye || !lamp) return 0;
  testgeometry::lookAt(eye, {3, -5, 6}, {0, 0, 0});
  testgeometry::placeAt(lamp, {1, -1, 5});
  lamp->color = {1, 1, 1, 1};
  lamp->shadows = true;
  lamp->shadowType = size & 2 ? SHADOW_3D : SHADOW_2D;
  Viewport* view = new Viewport;
  if (!controller.resources.viewports.append(view)) {
    delete view;
    return 0;
  }
  view->width = 1;
  view->height = 0.75;
  view->camera = eye;
  view->shadowMode = static_cast<int32_t>(size & 1);
  controller.setViewSize(fuzz::kWidth, fuzz::kHeight);
  controller.load.state = 3;  // running
  controller.load.started = true;

  HDC dc = fuzz::hiddenWindow();
  fuzz::runFrame(controller, dc, 0.1);
  fuzz::runFrame(controller, dc, 0.1);
  // Every other copy goes (with its subtree), then the script lets go of
  // the set; the scene keeps running on the shared records.
  for (size_t i = 0; i < copies.size(); i += 2) {
    if (!copies[i]->pendingDelete) controller.deleteObject(copies[i]);
  }
  if (controller.resources.modelsSets.removeFirst(set)) controller.resources.retired.add(set);
  fuzz::runFrame(controller, dc, 0.1);
  return 0;
}
