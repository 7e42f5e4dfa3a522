// The models-set loader on any text, then what it made put to use: every
// object instantiated into a scene, the set's tracks played on the copies,
// frames stepped (physics, skinning, animation), the copies deleted and the
// set retired while the scene still runs.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "controller/models_set.h"
#include "fuzz_bounds.h"
#include "fuzz_member.h"
#include "model/animation.h"
#include "model/mesh_data.h"
#include "model/scene.h"
#include "model/xml_values.h"
#include "platform/testing.h"

namespace {

void runFrame(CTRL_Generic& controller) {
  controller.clock.timerRunning = true;
  controller.clock.lastCounterTime = 0;  // a long stall: the frame counts as the longest step
  controller.update();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 17)) return 0;
  vsplat::DebugCapture quiet;  // the log lines of refused input would drown the fuzzer's own
  // Text members must end in a line end, or the controller stops.
  std::string text(reinterpret_cast<const char*>(data), size);
  text += '\n';
  if (!asksForLittle(text)) return 0;
  testpkg::RecordingController controller;
  serveMember(controller, "set.xml", reinterpret_cast<const uint8_t*>(text.data()), text.size());
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
  runFrame(controller);
  runFrame(controller);
  // Every other copy goes (with its subtree), then the script lets go of
  // the set; the scene keeps running on the shared records.
  for (size_t i = 0; i < copies.size(); i += 2) {
    if (!copies[i]->pendingDelete) controller.deleteObject(copies[i]);
  }
  if (controller.resources.modelsSets.removeFirst(set)) controller.resources.retired.add(set);
  runFrame(controller);
  return 0;
}
