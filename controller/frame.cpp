// One frame of the player: the script start, the time step and the
// simulation, the sound pump, the key-state swap and the image.
#include <cmath>
#include <cstdint>
#include <new>
#include <string>

#include "assets/assets.h"
#include "controller/ctrl_generic.h"
#include "controller/drag.h"
#include "controller/perf_counter.h"
#include "controller/script_engine.h"
#include "controller/video_stream.h"
#include "core/assert.h"
#include "model/animation.h"
#include "model/constants.h"
#include "model/image.h"
#include "model/image_source.h"
#include "model/material.h"
#include "model/rigid_body.h"
#include "model/scene.h"
#include "model/shadow_volume.h"
#include "model/sound.h"
#include "view/sound.h"
#include "view/view_generic.h"

namespace {

constexpr double kMaxStep = widen(0.1f);  // a stalled frame counts as 0.1 s
constexpr double kDotPeriod = 0.5;        // seconds per loading-dot step
constexpr int32_t kMaxDots = 10;
constexpr double kLogoScale = 0.25;  // of the content's width
const Vec3 kLogoCentre(0.5, widen(0.2f), 1.0);
constexpr double kHeldFriction = widen(0.7f);  // a body held by the mouse

constexpr int32_t kMaxSubSteps = 1000;  // a tiny step must not freeze the frame

// Sub-steps for dt with the scene's integration step. A step that is not a
// positive number (a script may set anything) makes none: such a scene is
// not stepped. Past the ceiling the steps just get longer, so the simulated
// time still follows the clock.
int32_t subSteps(double dt, double step) {
  if (!(step > 0)) return 0;
  const double n = std::ceil(dt / step);
  if (!(n >= 1)) return 1;
  return n > kMaxSubSteps ? kMaxSubSteps : static_cast<int32_t>(n);
}

// frames of the output rate expressed at another rate, truncated. 64-bit:
// a sound output without a device reports 2147483647 frames.
int64_t framesAt(int32_t rate, int32_t frames, int32_t outputRate) {
  if (outputRate <= 0) return 0;
  return int64_t{rate} * int64_t{frames} / outputRate;
}

}  // namespace

void CTRL_Generic::frame(HDC dc, VIEW_Generic* view) {
  if (!load.started && package) {
    if (engine) engine->start();
    load.started = true;
  }
  update();
  CTRL_constrainMouse(*this, dc);
  pumpSound();
  updateStreams();
  if (!load.stopped) {
    keys.swap();
  }
  if (clientWidth > 0 && clientHeight > 0) render(dc, view);
  // Nothing draws, so nothing keeps a copy of what the records hold.
  if (!renderer) resources.freeUnusedRetired(nullptr);
}

void CTRL_Generic::update() {
  if (load.stopped) return;
  double now = 0;
  if (!clock.timerRunning) {
    clock.dt = 0;
  } else {
    CTRL_readCounter(&now);
    clock.dt = (now - clock.lastCounterTime) * CTRL_secondsPerCount();
    if (clock.dt > kMaxStep) clock.dt = kMaxStep;
  }
  if (CTRL_readCounter(&now)) clock.lastCounterTime = now;

  if (clock.dt > 0) {
    // A body held by the mouse drags with its own friction set aside; the
    // object is only flagged if a step deletes it, so it is still there to
    // get its friction back.
    MDL_RigidBody* held =
        mouse.picked && mouse.picked->type == OBJECT_RIGID_BODY ? static_cast<MDL_RigidBody*>(mouse.picked) : nullptr;
    const double ownFriction = held ? held->friction : 0.0;
    if (held) held->friction = kHeldFriction;
    // No velocity (no camera to aim with), no drag.
    MDL_Object* const dragged = mouse.picked;
    Vec3 velocity;
    const bool drags = CTRL_dragVelocity(*this, clock.dt, velocity);
    for (int32_t i = 0; i < resources.scenes.count; ++i) {
      Scene* scene = resources.scenes[i];
      VS_ASSERT(scene);
      if (!scene->active) continue;
      const int32_t n = subSteps(clock.dt, scene->integrationStep);
      if (n == 0) continue;
      const double h = clock.dt / n;
      for (int32_t k = 0; k < n; ++k) {
        // A callback of the last sub-step may have deleted or dropped it.
        if (drags && mouse.picked == dragged && !dragged->pendingDelete && dragged->scene == scene)
          dragObject(dragged, velocity, h);
        scene->step(engine.get(), h);
      }
    }
    if (held) held->friction = ownFriction;
    // A callback during the steps may have failed.
    if (!load.stopped && engine) engine->onUpdate(clock.dt);
  }

  for (int32_t i = 0; i < resources.scenes.count; ++i) {
    Scene* scene = resources.scenes[i];
    VS_ASSERT(scene);
    scene->updateSkinning();
    if (clock.dt != 0)
      for (Animation* a : scene->animations)
        if (a->playing) Animation::step(a, clock.dt);
    scene->step(engine.get(), 0.0);
    letGoOfFlagged();
    scene->purgeDeleted();
  }
}

void CTRL_Generic::pumpSound() {
  if (!soundOutput) return;
  const int32_t frames = soundOutput->update(resources.viewports);
  const int32_t outputRate = soundOutput->getSampleRate();
  // What the mixer just played of each playing stream's queue is dropped:
  // the mixer reads a stream's sound from the front of its queue.
  for (VideoStream* stream : resources.videoStreams) {
    VS_ASSERT(stream);
    if (!stream->sound.paused) stream->consumeAudio(frames, outputRate);
  }
  for (int32_t i = 0; i < resources.scenes.count; ++i) {
    Scene* scene = resources.scenes[i];
    VS_ASSERT(scene);
    // Deleting a sound only flags it, so the list stays as it is meanwhile.
    for (int32_t j = 0; j < scene->sounds.count; ++j) {
      MDL_Sound* sound = listItem<MDL_Sound>(scene->sounds, j);
      VS_ASSERT(sound);
      const SoundRecord* sample = sound->sample;
      if (!sample || sample->streaming) continue;
      const int64_t length = sample->frameCount();
      // A sound output without a device reports 2147483647 frames: then no
      // sound moves on by more than its own length in one frame. A real fill
      // advances exactly, so a loop shorter than the fill goes on where the
      // mixer stopped.
      // The fraction of a frame is carried, so that a rate the output rate
      // does not divide keeps the sound's true length.
      int64_t advance = 0;
      if (frames == INT32_MAX) {
        advance = framesAt(sample->sampleRate, frames, outputRate);
        if (advance > length) advance = length;
        sound->playRemainder = 0;
      } else if (outputRate > 0 && frames > 0) {
        const int64_t total = sound->playRemainder + int64_t{sample->sampleRate} * frames;
        advance = total / outputRate;
        sound->playRemainder = total % outputRate;
      }
      int64_t position = sound->position + advance;
      if (position >= length) {
        if (sound->looping) {
          position -= length;
          if (position >= length) position = length > 0 ? position % length : 0;
        } else if (sound->autoDelete && !sound->pendingDelete) {
          deleteObject(sound);
        }
      }
      sound->position = static_cast<int32_t>(position > INT32_MAX ? INT32_MAX : position);
    }
  }
}

void CTRL_Generic::updateStreams() {
  if (load.stopped) return;
  for (VideoStream* stream : resources.videoStreams) {
    VS_ASSERT(stream);
    stream->advance(clock.dt);  // a paused stream stays where it is
  }
}

void CTRL_Generic::render(HDC dc, VIEW_Generic* view) {
  CTRL_refreshSecondsPerCount();
  if (!renderer) return;
  if (!view) view = renderer.get();

  double origin[2], size[2];
  contentRectangle(origin, size);
  const double w = size[0], h = size[1];
  static const double kWhite[4] = {1, 1, 1, 1};
  static const double kBlack[4] = {0, 0, 0, 1};

  if (load.stopped) {
    renderer->beginFrame(dc, false);
    renderer->clear(kWhite);
  } else if (package && load.state == 3) {
    if (loadingScreen.image || loadingScreen.imageSource) dropLoadingScreen();
    for (Scene* scene : resources.scenes) {
      VS_ASSERT(scene);
      updateShadowVolumes(*scene);
    }
    view->beginFrame(dc, false);
    for (int32_t i = 0; i < resources.imageSources.count;) {
      ImageSource* source = resources.imageSources[i];
      VS_ASSERT(source);
      if (source->releasePending) {
        view->forgetTexture(source);
        // Materials may still point at it: kept until the controller goes.
        resources.imageSources.removeAt(i);  // the next entry moves into place i
        resources.retired.add(source);
      } else {
        ++i;
      }
    }
    resources.freeUnusedRetired(view);
    const bool bars = std::floor(clientWidth * contentAspect + 0.5) != clientHeight;
    view->clear(bars && backgroundColor[3] == 0 ? kBlack : backgroundColor);
    for (int32_t i = 0; i < resources.viewports.count; ++i) {
      Viewport* v = resources.viewports[i];
      VS_ASSERT(v);
      if (!v->camera) continue;
      // Pixels from the bottom of the window.
      const double at[2] = {w * v->x + origin[0], h - w * v->y - w * v->height + origin[1]};
      const double extent[2] = {w * v->width, w * v->height};
      view->renderViewport(v, at, extent, defaultFont.get());
    }
  } else {
    createLoadingScreen();
    double now = 0;
    if (CTRL_readCounter(&now) && (now - loadingScreen.counterTime) * CTRL_secondsPerCount() > kDotPeriod) {
      loadingScreen.counterTime = now;
      loadingScreen.dots = loadingScreen.dots >= kMaxDots ? 1 : loadingScreen.dots + 1;
    }
    std::string text = "Loading ";
    for (int32_t i = 0; i < loadingScreen.dots; ++i) text += " .";
    renderer->beginFrame(dc, false);
    renderer->clear(kWhite);
    renderer->drawLoadingScreen(origin, size, text.c_str(), defaultFont.get(), loadingScreen.image.get());
  }
  if (load.stopped) view->drawMessage(origin, size, load.failureText.c_str(), defaultFont.get());
  view->endFrame(dc);
}

void CTRL_Generic::createLoadingScreen() {
  if (loadingScreen.image) return;
  CTRL_ImageSourcePtr source(new (std::nothrow) ImageSource("Trelm", const_cast<unsigned char*>(vs_loading_logo),
                                                            static_cast<int32_t>(vs_loading_logo_size), false));
  std::unique_ptr<MDL_Image> image(new (std::nothrow) MDL_Image);
  if (!source || !image || !image->ownMaterial()) return;
  MaterialLayer* layer = image->material->addLayer();
  if (!layer) return;
  layer->image = source.get();
  RigidTransform& world = image->editWorld();
  Matrix3::setScale(world.basis, Vec3(kLogoScale, kLogoScale, 1.0));
  // The logo's centre lands on (0.5, 0.2) of the content.
  const Vec3 centre(0.5, image->getAspectRatio() * 0.5, 0.0);
  world.position = kLogoCentre - world.basis * centre;
  loadingScreen.imageSource = std::move(source);
  loadingScreen.image = std::move(image);
}

void CTRL_Generic::setViewSize(double width, double height) {
  clientWidth = width;
  clientHeight = height;
  if (width == lastClientSize[0] && height == lastClientSize[1]) return;
  lastClientSize[0] = width;
  lastClientSize[1] = height;
  if (renderer) renderer->resetGlyphTextureCache();
  if (width == 0) return;
  const double ratio = height / width;
  if (!load.started) {
    contentAspect = ratio;
  } else if (ratio != contentAspect && !load.stopped && engine) {
    engine->onAspectRatioChanged(ratio);
  }
}
