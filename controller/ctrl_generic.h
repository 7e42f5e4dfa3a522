// The portable controller: owns a running player (renderer, sound output,
// script engine, content package, every resource the scripts create, the
// input state) and is where every content failure ends up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "controller/byte_buffer.h"
#include "controller/event.h"
#include "controller/mouse_state.h"
#include "controller/resource_lists.h"
#include "controller/script_engine.h"
#include "model/object.h"
#include "model/vec3.h"
#include "platform/win32.h"
#include "view/sound.h"
#include "view/view_generic.h"

// Frees an image source record and what it owns.
void CTRL_destroyImageSource(ImageSource* source);

struct CTRL_ImageSourceDelete {
  void operator()(ImageSource* source) const { CTRL_destroyImageSource(source); }
};
using CTRL_ImageSourcePtr = std::unique_ptr<ImageSource, CTRL_ImageSourceDelete>;

// Where the content is in its life: opening, configured, loading, running,
// or stopped by a failure (the screen then shows failureText).
struct CTRL_LoadState {
  int32_t state = 0;     // 0 opening, 1 configuration read, 2 loading scripts, 3 running
  bool started = false;  // the script start has been attempted
  bool stopped = false;  // fail has run
  std::string failureText;
};

// The loading screen's logo and its moving dots.
struct CTRL_LoadingScreen {
  int32_t dots = 0;
  double counterTime = 0;             // when the dots last moved
  std::unique_ptr<MDL_Object> image;  // the logo object (an MDL_Image) while loading
  CTRL_ImageSourcePtr imageSource;    // the logo's encoded image
};

// The frame timer and the time step it gives each frame.
struct CTRL_FrameClock {
  bool timerRunning = false;
  double lastCounterTime = 0;
  double dt = 0;  // time step of the current frame in seconds
};

// Two key-state arrays: this frame's and the last frame's, swapped once a
// frame (the new current one starts as a copy of the old).
struct CTRL_KeyStates {
  CTRL_KeyStates() = default;
  CTRL_KeyStates(const CTRL_KeyStates&) = delete;
  CTRL_KeyStates& operator=(const CTRL_KeyStates&) = delete;
  void swap();

  uint8_t a[256] = {};
  uint8_t b[256] = {};
  uint8_t* current = a;
  uint8_t* previous = b;
};

// The content version config.xml gives.
struct CTRL_ContentVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t patch = 0;
};

class CTRL_Generic {
 public:
  // The controller owns what it is given: the engine (told its controller
  // here), the renderer and the sound output (either may be absent).
  explicit CTRL_Generic(std::unique_ptr<CTRL_ScriptEngine> engine = nullptr,
                        std::unique_ptr<VIEW_Generic> renderer = nullptr,
                        std::unique_ptr<VIEW_Sound> soundOutput = nullptr);
  virtual ~CTRL_Generic();
  CTRL_Generic(const CTRL_Generic&) = delete;
  CTRL_Generic& operator=(const CTRL_Generic&) = delete;

  // Platform operations; the portable defaults do nothing.
  virtual int32_t registerDevice(int32_t vendorId, int32_t productId, int32_t index);
  virtual int32_t sendToDevice(int32_t device, const uint8_t* bytes, int32_t length);
  virtual void setCursor(int32_t shape);  // 0 arrow, 1 move, 2 and 3 hand
  virtual void warpCursor(void* deviceContext, const double point[2]);
  virtual void openURL(const char* text);
  virtual void getLanguage(char* out);
  // Stops the content; only the first call counts. The screen then shows
  // the fixed text of the load state; the message itself goes to the log.
  virtual void fail(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Content package. On refusal the buffer is freed and no package is kept.
  bool openPackage(std::unique_ptr<ByteBuffer> package);
  bool checkPackage();
  bool readConfig();
  // Finds a member by exact name. True exactly when *data is a new heap block
  // the caller must free(); stored members point into the package. With text
  // set the last byte is replaced by NUL (see package.cpp).
  bool readFile(const char* name, uint8_t** data, int32_t* size, bool text);
  // Loads a models XML file of the package into a new set kept in
  // modelsSets; null when the file is missing or not XML.
  ModelsSet* loadModelsSet(const char* name);

  // Decodes a package Ogg Vorbis file into a new record on the sound list
  // (no channels when it does not decode); null only when there is no file.
  SoundRecord* loadSound(const char* name);

  // The package name for messages; nothing gives the package a name, so this
  // is usually a fixed word.
  const char* packageLabel() const;

  // Hands the event to the current viewport's CB_EVENT, then to the
  // engine's; true when a script consumed it. Key events update the key
  // states even after a failure.
  bool dispatchEvent(const Event& event);
  // Deletes an object and its subtree from the running content: children
  // first, unlinked from the parent and flagged for the scene's purge.
  void deleteObject(MDL_Object* object);
  // The part of deleteObject for one object whose children are gone.
  void deleteLeaf(MDL_Object* object);
  // Before a purge frees the flagged objects: every viewport and the mouse
  // let go of any they still refer to, however they were flagged.
  void letGoOfFlagged();
  // Removes a viewport record from the list and frees it (false when it is
  // not in the list); the current viewport is cleared when it was this one.
  bool deleteViewport(Viewport* viewport);
  // The scene of the current viewport's camera; null without either.
  Scene* getScene();
  // The pick position carried into world coordinates by the picked object.
  Vec3& getPickPointWorld(Vec3& out);
  // Finds the object under the mouse again (hovered, pick position, depth).
  void pick();
  // The view ray through a window point in the current viewport: from the
  // near plane (origin) to the far plane (origin + direction). Zeros without
  // a camera, with an empty client area or a viewport without width.
  void getMouseRay(const double window[2], Vec3& origin, Vec3& direction);
  // Makes the last active viewport under the window point current (null
  // when none is).
  void selectViewportAt(double x, double y);
  // Moves the window mouse and maps it into the current viewport.
  void setWindowMouse(double x, double y);
  // Moves a dragged object (or the body or bone holding it) so that the
  // pick point follows velocity for one sub-step of h seconds.
  void dragObject(MDL_Object* object, const Vec3& velocity, double h);
  // Makes the loading screen's logo: an image object over the built-in PNG,
  // a quarter of the content wide, centred 0.2 below the top. Nothing when
  // it exists already.
  void createLoadingScreen();
  // Deletes the loading screen's logo object and image source, if any.
  void dropLoadingScreen();

  // Replacing and dropping the outputs; the old one is deleted here.
  void setRenderer(std::unique_ptr<VIEW_Generic> view);
  void setSoundOutput(std::unique_ptr<VIEW_Sound> output);
  // The sound output stops its buffer and goes (as after a failure).
  void dropSoundOutput();

  // The script start as the engine runs it: loading (load state 2) while
  // "init.lua" and startup run; on success the loading screen goes, the
  // frame's time step restarts at 0 and the content runs (load state 3).
  void beginLoading() { load.state = 2; }
  void finishLoading();
  // The frame timer stopped (window gone, focus lost): the next frame's time
  // step is 0.
  void stopFrameClock() { clock.timerRunning = false; }
  // The language code the content is started with (at most 7 characters;
  // a longer one is ignored).
  void setLanguage(const char* code);

  // What scripts set.
  void setContentAspect(double aspect) { contentAspect = aspect; }
  // A new viewport is the current one until the mouse selects another.
  void setCurrentViewport(Viewport* viewport) { currentViewport = viewport; }
  void setBackgroundColor(const double color[4]);
  void setPickPosition(const Vec3& position) { mouse.pickPosition = position; }

  // One frame: the script start (once), update, the sound pump, the video
  // streams, the key-state swap and, when the client area is not empty, the
  // image. Called for every timer tick and paint.
  void frame(HDC dc, VIEW_Generic* view);
  // The time step (0 while the timer is not running, at most 0.1 s), the
  // sub-steps of every active scene, CB_UPDATE, then the zero-time pass of
  // every scene.
  void update();
  // Advances the sound objects by what the sound output just mixed.
  void pumpSound();
  void updateStreams();
  // Letter-boxes the content into the client area and draws the failure
  // screen, the loading screen or the viewports.
  void render(HDC dc, VIEW_Generic* view);
  // The client size, from the window on every message; tells the renderer
  // and the scripts when size or aspect change.
  void setViewSize(double width, double height);

  // Mouse input from the window, in client pixels: hover, press, click,
  // drag, camera navigation and the wheel's zoom.
  void onMouseMove(bool shift, bool control, double x, double y);
  void onLeftButtonDown(double x, double y);
  void onLeftButtonUp(double x, double y);
  void onRightButtonDown(double x, double y);
  void onRightButtonUp(double x, double y);
  void onMouseWheel(bool shift, double amount, double x, double y);

  // The content rectangle letter-boxed into the client area: its top-left
  // corner and size in client pixels.
  void contentRectangle(double origin[2], double size[2]) const;
  // Client pixels to a viewport's units (x 0 to 1 across it, y downwards in
  // units of its width); nothing for a null viewport.
  void windowToViewport(const Viewport* viewport, const double window[2], double out[2]) const;
  // The inverse, for the current viewport; nothing without one.
  void viewportToWindow(const double point[2], double out[2]) const;
  // One mouse-move step of camera navigation in the current viewport.
  void navigateCamera(bool shift, bool control);

  // Controllers alive in the process; the message loop runs while any is.
  static int32_t liveControllers();

  char language[8] = {};
  int32_t platform = 0;                     // ENV_* code
  std::unique_ptr<VIEW_Generic> renderer;   // made by the platform subclass
  std::unique_ptr<VIEW_Sound> soundOutput;  // dropped by fail
  std::unique_ptr<CTRL_ScriptEngine> engine;
  CTRL_MouseState mouse;
  std::unique_ptr<FontRecord> defaultFont;
  std::unique_ptr<ByteBuffer> package;  // null when none or dropped
  std::string packageName;              // empty: never set by the player itself
  CTRL_LoadState load;
  CTRL_LoadingScreen loadingScreen;
  CTRL_FrameClock clock;
  CTRL_KeyStates keys;
  CTRL_ContentVersion version;  // from config.xml
  CTRL_ResourceLists resources;
  Viewport* currentViewport = nullptr;
  double clientWidth = 0, clientHeight = 0;
  bool hiDPI = false;
  double contentAspect = 0;  // height / width
  Vec3 acceleration;
  double lastClientSize[2] = {0, 0};
  double backgroundColor[4] = {0, 0, 0, 0};
};
