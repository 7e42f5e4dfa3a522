#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "controller/package_writer.h"
#include "controller/perf_counter.h"
#include "platform/seams.h"
#include "platform/testing.h"
#include "support/test_package.h"
#include "view/opengl_win32.h"

namespace fuzz {

void quietLog() {
  if (!std::getenv("VS_FUZZ_LOG")) vsplat::setDebugSink([](const char*) {});
}

void serveMembers(CTRL_Generic& controller, const std::vector<std::pair<std::string, std::string>>& members) {
  ArchiveWriter archive;
  for (const auto& m : members)
    archive.add(m.first, reinterpret_cast<const uint8_t*>(m.second.data()), m.second.size(), true);
  archive.finish();
  controller.package = testpkg::toBuffer(archive.bytes());
}

void serveMember(CTRL_Generic& controller, const char* name, const uint8_t* data, size_t size) {
  serveMembers(controller, {{name, std::string(reinterpret_cast<const char*>(data), size)}});
}

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

struct Hidden {
  HDC dc = nullptr;
  HGLRC context = nullptr;
};

// One window and one context for the process: a context made for every
// input would have llvmpipe compile its shaders again each time.
const Hidden& hidden() {
  static const Hidden h = [] {
    Hidden made;
    vsplat::setOffscreen(true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.lpszClassName = "vsFuzzWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "fuzz", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                                  nullptr, nullptr);
    if (!window) return made;
    made.dc = GetDC(window);
    PIXELFORMATDESCRIPTOR pfd = VIEW_OpenGLWin32::pixelFormat();
    SetPixelFormat(made.dc, ChoosePixelFormat(made.dc, &pfd), &pfd);
    made.context = wglCreateContext(made.dc);
    return made;
  }();
  return h;
}

// The OpenGL renderer as the player has it, on the shared context: each
// input gets fresh caches, and what it left on the card goes with it.
class SharedContextRenderer : public VIEW_OpenGL {
 public:
  SharedContextRenderer(HDC dc, HGLRC context) : dc_(dc), context_(context) {
    if (!makeCurrent(dc_)) return;
    detectGeometryPath();
    doneCurrent(dc_);
  }
  ~SharedContextRenderer() override {
    if (!makeCurrent(dc_)) return;
    releaseBuffers();
    flushTextureCache();
    flushGlyphTextureCache();
    doneCurrent(dc_);
  }
  bool makeCurrent(HDC dc) override { return wglMakeCurrent(dc, context_) == TRUE; }
  bool doneCurrent(HDC dc) override { return wglMakeCurrent(dc, nullptr) == TRUE; }
  bool swapBuffers(HDC dc) override { return SwapBuffers(dc) == TRUE; }

 private:
  HDC dc_;
  HGLRC context_;
};

}  // namespace

void setUpDrawing(const char* target) {
  quietLog();
  if (hiddenRenderer()) return;
  std::fprintf(stderr, "fuzz_%s: no OpenGL window (run it under an X server, as scripts/fuzz does)\n", target);
  std::exit(1);
}

HDC hiddenWindow() { return hidden().context ? hidden().dc : nullptr; }

std::unique_ptr<VIEW_Generic> hiddenRenderer() {
  if (!hiddenWindow()) return nullptr;
  return std::make_unique<SharedContextRenderer>(hidden().dc, hidden().context);
}

int32_t FixedMixer::update(const PtrArray<Viewport>& viewports) {
  if (frames == kSilentFrames) return kSilentFrames;
  if (frames <= 0) return 0;
  ring_.resize(static_cast<size_t>(frames) * 2);
  const int32_t first = frames / 3;
  mixSounds(viewports, first, 0, ring_.data(), ring_.data() + 1);
  int16_t* rest = ring_.data() + static_cast<size_t>(first) * 2;
  mixSounds(viewports, frames - first, first, rest, rest + 1);
  return frames;
}

void runFrame(CTRL_Generic& controller, HDC dc, double dt) {
  double now = 0;
  controller.clock.timerRunning = dt > 0;
  if (dt > 0 && CTRL_readCounter(&now)) controller.clock.lastCounterTime = now - dt / CTRL_secondsPerCount();
  controller.frame(dc, nullptr);
}

}  // namespace fuzz
