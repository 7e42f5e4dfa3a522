#include "controller/ctrl_generic.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "assets/assets.h"
#include "controller/perf_counter.h"
#include "controller/script_engine.h"
#include "core/assert.h"
#include "core/debug_log.h"
#include "model/camera.h"
#include "model/object.h"
#include "model/scene.h"
#include "model/sound.h"
#include "view/sound.h"

namespace {

int32_t g_liveControllers = 0;

// What the failure screen says, by the load state the failure happened in.
const char* failureTextFor(int32_t loadState) {
  switch (loadState) {
    case 0:
      return "Error opening the file, the file is corrupted.\nPlease check with your content provider.";
    case 1:
      return "You are trying to open a file not compatible with your player.";
    case 2:
      return "Error loading the file.\nPlease check with your content provider.";
    default:
      return "Error running the file.\nPlease check with your content provider.";
  }
}

template <class T>
void deleteAll(PtrArray<T>& list) {
  for (T* item : list) delete item;
  list.freeStorage();
}

}  // namespace

void CTRL_destroyImageSource(ImageSource* source) { delete source; }

int32_t CTRL_Generic::liveControllers() { return g_liveControllers; }

void CTRL_ResourceLists::clear() {
  deleteAll(viewports);
  deleteAll(scenes);
  deleteAll(modelsSets);
  deleteAll(soundRecords);
  for (ImageSource* source : imageSources) CTRL_destroyImageSource(source);
  imageSources.freeStorage();
  deleteAll(videoStreams);
  deleteAll(fonts);
  retired.clear();
}

CTRL_Generic::CTRL_Generic(std::unique_ptr<CTRL_ScriptEngine> scriptEngine, std::unique_ptr<VIEW_Generic> view,
                           std::unique_ptr<VIEW_Sound> output)
    : renderer(std::move(view)), soundOutput(std::move(output)), engine(std::move(scriptEngine)) {
  CTRL_readCounter(&clock.lastCounterTime);
  CTRL_readCounter(&loadingScreen.counterTime);
  if (engine) engine->setController(this);
  platform = 1;  // ENV_WINDOWS
  clock.dt = 0;
  contentAspect = 0.75;
  // Texts and the failure screen always have a font: the built-in face, which
  // takes this controller's first resource id.
  defaultFont =
      std::make_unique<FontRecord>("default", vs_default_font, static_cast<int32_t>(vs_default_font_size), false);
  acceleration = Vec3(0, 0, -1);
  ++g_liveControllers;
}

CTRL_Generic::~CTRL_Generic() {
  // The outputs go first: nothing is mixed or drawn from what follows.
  soundOutput.reset();
  renderer.reset();
  // Resources go before the engine, so every proxy has lost its model by the
  // time the script state closes.
  currentViewport = nullptr;
  mouse.picked = mouse.hovered = nullptr;
  resources.clear();
  // The package is gone from here on, but its bytes outlive the script
  // state: a stored member a script still has open points into them, and a
  // closing script's __gc may read it.
  std::unique_ptr<ByteBuffer> packageBytes = std::move(package);
  defaultFont.reset();
  engine.reset();
  packageBytes.reset();
  dropLoadingScreen();
  --g_liveControllers;
}

void CTRL_Generic::setRenderer(std::unique_ptr<VIEW_Generic> view) { renderer = std::move(view); }

void CTRL_Generic::setSoundOutput(std::unique_ptr<VIEW_Sound> output) { soundOutput = std::move(output); }

void CTRL_Generic::dropSoundOutput() {
  if (!soundOutput) return;
  soundOutput->pause();
  soundOutput.reset();
}

void CTRL_Generic::setBackgroundColor(const double color[4]) {
  for (int i = 0; i < 4; ++i) backgroundColor[i] = color[i];
}

int32_t CTRL_Generic::registerDevice(int32_t, int32_t, int32_t) { return 0; }
int32_t CTRL_Generic::sendToDevice(int32_t, const uint8_t*, int32_t) { return 0; }
void CTRL_Generic::setCursor(int32_t) {}
void CTRL_Generic::warpCursor(void*, const double*) {}
void CTRL_Generic::openURL(const char*) {}
void CTRL_Generic::getLanguage(char* out) {
  if (out) out[0] = '\0';
}

void CTRL_Generic::fail(const char* format, ...) {
  if (load.stopped) return;
  load.stopped = true;
  // No sound after a failure: the output stops its buffer and goes.
  dropSoundOutput();
  // The screen shows only a fixed text; the log keeps the reason (a script
  // error's file and line) for the content's author.
  char reason[1024];
  va_list args;
  va_start(args, format);
  if (!format || vsnprintf(reason, sizeof reason, format, args) < 0) reason[0] = '\0';
  va_end(args);
  debugPrintf("%s", reason);
  load.failureText = failureTextFor(load.state);
}

const char* CTRL_Generic::packageLabel() const { return packageName.empty() ? "package" : packageName.c_str(); }

bool CTRL_Generic::dispatchEvent(const Event& event) {
  if (event.type == EVENT_KEY_DOWN || event.type == EVENT_KEY_UP) {
    // Virtual-key codes index the 256 key states; anything else has no entry.
    if (event.code >= 0 && event.code < 256) keys.current[event.code] = event.type == EVENT_KEY_DOWN ? 1 : 0;
  }
  if (load.stopped) return false;
  if (currentViewport && LMP_fireCallback(currentViewport->proxy, engine.get(), CB_EVENT, &event)) return true;
  return engine ? engine->onEvent(event) : false;
}

void CTRL_Generic::deleteObject(MDL_Object* object) {
  if (!object) return;
  // Children go before their parent, deepest first. The objects whose
  // children are being deleted wait on a stack of our own, so that a chain
  // of any depth goes in time linear in its length.
  std::vector<MDL_Object*> pending;
  for (MDL_Object* o = object;;) {
    if (MDL_Object* child = o->firstChild) {
      pending.push_back(o);
      o = child;
      continue;
    }
    deleteLeaf(o);
    if (pending.empty()) break;
    MDL_Object* up = pending.back();
    pending.pop_back();
    // A child that was not unlinked (a broken chain) must not stall the loop.
    if (up->firstChild == o) up->firstChild = o->nextSibling;
    o = up;
  }
}

void CTRL_Generic::deleteLeaf(MDL_Object* object) {
  // Unlink only when the object really is in its parent's child chain; a
  // root object has nothing to unlink from.
  if (MDL_Object* parent = object->parent) {
    if (parent->firstChild == object) {
      parent->firstChild = object->nextSibling;
    } else {
      for (MDL_Object* c = parent->firstChild; c; c = c->nextSibling) {
        if (c->nextSibling == object) {
          c->nextSibling = object->nextSibling;
          break;
        }
      }
    }
  }
  object->pendingDelete = 1;
  if (object->type == OBJECT_CAMERA || object->type == OBJECT_MIKE) {
    for (Viewport* v : resources.viewports) {
      if (static_cast<MDL_Object*>(v->camera) == object)
        v->camera = nullptr;
      else if (static_cast<MDL_Object*>(v->mike) == object)
        v->mike = nullptr;
    }
    return;
  }
  if (object == mouse.picked) {
    mouse.picked = nullptr;
    mouse.leftButton = false;
    setCursor(3);
  }
  if (object == mouse.hovered) pick();
}

void CTRL_Generic::letGoOfFlagged() {
  auto flagged = [](const MDL_Object* o) { return o && o->pendingDelete; };
  for (Viewport* v : resources.viewports) {
    VS_ASSERT(v);
    if (flagged(v->camera)) v->camera = nullptr;
    if (flagged(v->mike)) v->mike = nullptr;
  }
  if (flagged(mouse.picked)) {
    mouse.picked = nullptr;
    mouse.leftButton = false;
  }
  if (flagged(mouse.hovered)) mouse.hovered = nullptr;
}

bool CTRL_Generic::deleteViewport(Viewport* viewport) {
  VS_ASSERT(viewport);
  if (!resources.viewports.removeFirst(viewport)) return false;
  if (currentViewport == viewport) currentViewport = nullptr;
  delete viewport;  // the proxy link releases the proxy
  return true;
}

Scene* CTRL_Generic::getScene() {
  if (!currentViewport || !currentViewport->camera) return nullptr;
  return static_cast<MDL_Object*>(currentViewport->camera)->scene;
}

Vec3& CTRL_Generic::getPickPointWorld(Vec3& out) {
  if (!mouse.picked) return out;
  const RigidTransform& world = mouse.picked->getWorld();
  out = world.basis * mouse.pickPosition + world.position;
  return out;
}

void CTRL_Generic::dropLoadingScreen() {
  loadingScreen.image.reset();
  loadingScreen.imageSource.reset();
}

void CTRL_KeyStates::swap() {
  std::swap(current, previous);
  memcpy(current, previous, sizeof a);
}

void CTRL_Generic::finishLoading() {
  clock.dt = 0.0;
  dropLoadingScreen();
  load.state = 3;
}

void CTRL_Generic::setLanguage(const char* code) {
  if (code && strlen(code) < sizeof language) strcpy(language, code);
}
