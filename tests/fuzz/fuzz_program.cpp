#include "fuzz_program.h"

#include <lua.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/package_writer.h"
#include "fuzz_media.h"
#include "fuzz_support.h"
#include "model/font_library.h"
#include "script/engine.h"
#include "support/test_media.h"
#include "support/test_package.h"

namespace fuzz {

namespace {

std::string sourceFile(const char* relative) {
  const std::string path = std::string(VS_SOURCE_DIR) + "/" + relative;
  std::string text = testmedia::readFile(path.c_str());
  if (text.empty()) {
    std::fprintf(stderr, "fuzz: cannot read %s\n", path.c_str());
    std::abort();
  }
  return text;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// The parameters of a call as written in the reference, "?" before the
// optional ones: "p [, frame]" gives {"p", "?frame"}; "frame pA" counts as
// "frame".
std::vector<std::string> parameters(const std::string& list) {
  std::vector<std::string> out;
  bool optional = false;  // a "[" came before
  std::stringstream s(list);
  std::string token;
  while (std::getline(s, token, ',')) {
    std::string word;
    bool optionalWord = optional;
    for (char c : token) {
      if (c == '[') {
        optional = true;
        if (word.empty()) optionalWord = true;
      } else if (c == ']' || c == ' ') {
        if (!word.empty()) break;
      } else {
        word += c;
      }
    }
    if (token.find('[') != std::string::npos) optional = true;
    if (word.empty() || word == "...") continue;
    out.push_back((optionalWord ? "?" : "") + word);
  }
  return out;
}

std::string luaList(const std::vector<std::string>& items) {
  std::string s = "{";
  for (const std::string& i : items) s += quoted(i) + ",";
  return s + "}";
}

// The scripting reference's classes, constructors, methods and global
// functions with their parameter names, as a Lua chunk returning
// {classes = {name = {inherits, ctor, methods}}, functions = {...}}. The
// reference keeps to the layout its introduction gives (a test holds it
// to the bound API): "### `class`" sections, list entries that begin with
// their calls in backticks before the first colon, "Constructor `...`"
// paragraphs and "**Inherits**" lines.
std::string signatureChunk(const std::string& reference) {
  struct Class {
    std::string inherits;
    std::vector<std::string> ctor;
    bool hasCtor = false;
    std::map<std::string, std::vector<std::string>> methods;
  };
  std::map<std::string, Class> classes;
  std::map<std::string, std::vector<std::string>> functions;

  // Entries and paragraphs, joined into one line each.
  std::vector<std::string> blocks;
  std::vector<std::string> headings;  // the heading each block is under
  std::string heading, block;
  auto close = [&] {
    if (!block.empty()) {
      blocks.push_back(block);
      headings.push_back(heading);
    }
    block.clear();
  };
  std::stringstream lines(reference);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 3, "## ") == 0 || line.compare(0, 4, "### ") == 0) {
      close();
      heading = line;
    } else if (line.empty() || line.compare(0, 2, "- ") == 0) {
      close();
      block = line;
    } else {
      block += (block.empty() ? "" : " ") + line;
    }
  }
  close();

  static const std::regex call("`([A-Za-z_][A-Za-z0-9_]*)\\(([^`]*)\\)`");
  static const std::regex classHeading("^### `([A-Za-z0-9_]+)`");
  static const std::regex inherits("\\*\\*Inherits\\*\\* the methods of `([A-Za-z0-9_]+)`");
  for (size_t i = 0; i < blocks.size(); ++i) {
    const std::string& h = headings[i];
    std::smatch m;
    std::string owner;
    if (std::regex_search(h, m, classHeading))
      owner = m[1].str();
    else if (h == "## Global functions")
      owner = "";
    else
      continue;
    const std::string& b = blocks[i];
    if (!owner.empty() && std::regex_search(b, m, inherits)) {
      classes[owner].inherits = m[1].str();
      continue;
    }
    const bool constructor = b.compare(0, 13, "Constructor `") == 0;
    if (b.compare(0, 3, "- `") != 0 && !constructor) continue;
    const size_t colon = b.find(constructor ? "`:" : ": ");
    const std::string head = b.substr(0, colon == std::string::npos ? b.size() : colon + 1);
    for (std::sregex_iterator it(head.begin(), head.end(), call), end; it != end; ++it) {
      const std::string name = (*it)[1].str();
      const std::vector<std::string> params = parameters((*it)[2].str());
      if (owner.empty()) {
        functions[name] = params;
      } else if (constructor) {
        if (name == owner) {
          classes[owner].ctor = params;
          classes[owner].hasCtor = true;
        }
      } else {
        classes[owner].methods[name] = params;
      }
    }
  }

  std::string chunk = "return {classes = {\n";
  for (const auto& c : classes) {
    chunk += "[" + quoted(c.first) + "] = {";
    if (!c.second.inherits.empty()) chunk += "inherits = " + quoted(c.second.inherits) + ", ";
    if (c.second.hasCtor) chunk += "ctor = " + luaList(c.second.ctor) + ", ";
    chunk += "methods = {";
    for (const auto& m : c.second.methods) chunk += "[" + quoted(m.first) + "] = " + luaList(m.second) + ", ";
    chunk += "}},\n";
  }
  chunk += "}, functions = {\n";
  for (const auto& f : functions) chunk += "[" + quoted(f.first) + "] = " + luaList(f.second) + ",\n";
  return chunk + "}}\n";
}

const std::vector<uint8_t>& programArchive() {
  static const std::vector<uint8_t> bytes = [] {
    ArchiveWriter archive;
    auto add = [&](const std::string& name, const std::string& data) {
      archive.add(name, reinterpret_cast<const uint8_t*>(data.data()), data.size(), true);
    };
    add("config.xml", testpkg::kConfigXml);
    add("init.lua", sourceFile("tests/fuzz/program.lua"));
    add("signatures.lua", signatureChunk(sourceFile("docs/scripting.md")));
    for (const auto& m : programMedia()) add(m.first, m.second);
    archive.finish();
    return archive.bytes();
  }();
  return bytes;
}

enum Action { kEnd = -1, kScript = 0, kFrame, kMouse, kKey, kWheel, kSize, kClose, kDevice };

constexpr int kMaxFrames = 24;
constexpr int kMaxSteps = 4096;

// Window pixels from a byte: mostly inside the client area and a little
// around it, sometimes far outside (as a captured mouse reports).
double windowCoordinate(int b, double extent) {
  static const double kFar[] = {-32768, 32767, 0, -1, 1, 1e4, -1e4, 2, 3, 5, 8, 13, 21, 34, 55, 89};
  if (b < 240) return std::floor(b * (extent + 32) / 240) - 16;
  const double far = kFar[b - 240];
  return far == 1 ? extent - 1 : far == -1 ? extent : far;
}

void act(CTRL_Generic& controller, lua_State* L, int top, HDC dc, int* frames) {
  const int action = static_cast<int>(lua_tointeger(L, top + 1));
  const int a = static_cast<int>(lua_tointeger(L, top + 2));
  const int b = static_cast<int>(lua_tointeger(L, top + 3));
  const int c = static_cast<int>(lua_tointeger(L, top + 4));
  const double w = controller.clientWidth, h = controller.clientHeight;
  static const bool trace = std::getenv("VS_FUZZ_LOG") != nullptr;
  if (trace) {
    static const char* const kNames[] = {"script", "frame", "mouse", "key", "wheel", "size", "close", "device"};
    std::fprintf(stderr, "fuzz: %s %d %d %d\n", kNames[action & 7], a, b, c);
  }
  switch (action) {
    case kFrame: {
      if (++*frames > kMaxFrames) break;
      static const double kSteps[] = {0, 1.0 / 60, 1.0 / 30, 0.1};
      // Output frames mixed: a frame's worth, none, no device, just over
      // the mixer's chunk, one.
      static const int32_t kMixed[] = {735, 0, FixedMixer::kSilentFrames, VIEW_Sound::kChunkFrames + 1, 1, 1470, 2};
      if (auto* mixer = static_cast<FixedMixer*>(controller.soundOutput.get())) mixer->frames = kMixed[(a / 4) % 7];
      runFrame(controller, dc, kSteps[a % 4]);
      break;
    }
    case kMouse: {
      const double x = windowCoordinate(b, w), y = windowCoordinate(c, h);
      switch (a % 5) {
        case 0:
          controller.onMouseMove(a & 8, a & 16, x, y);
          break;
        case 1:
          controller.onLeftButtonDown(x, y);
          break;
        case 2:
          controller.onLeftButtonUp(x, y);
          break;
        case 3:
          controller.onRightButtonDown(x, y);
          break;
        default:
          controller.onRightButtonUp(x, y);
          break;
      }
      break;
    }
    case kKey: {
      Event e;
      e.type = a ? EVENT_KEY_DOWN : EVENT_KEY_UP;
      e.code = b;
      controller.dispatchEvent(e);
      break;
    }
    case kWheel: {
      static const double kTurns[] = {120, -120, 240, -360, 1, -1, 32767, -32768, 0, 600, -600, 60};
      controller.onMouseWheel(a, kTurns[b % 12], controller.mouse.windowMouse[0], controller.mouse.windowMouse[1]);
      break;
    }
    case kSize: {
      static const double kSizes[] = {0, 1, 2, 16, kWidth, kHeight, 100, 333, 1024, 4096};
      controller.setViewSize(kSizes[a % 10], kSizes[b % 10]);
      break;
    }
    case kClose: {
      Event e;
      e.type = EVENT_CLOSE;
      controller.dispatchEvent(e);
      break;
    }
    case kDevice: {
      size_t length = 0;
      const char* report = lua_tolstring(L, top + 3, &length);
      Event e;
      e.type = EVENT_DEVICE;
      e.code = a;
      e.data = reinterpret_cast<const uint8_t*>(report);
      e.length = static_cast<int32_t>(length);
      controller.dispatchEvent(e);
      break;
    }
    default:
      break;
  }
}

}  // namespace

void runProgram(const uint8_t* data, size_t size, HDC dc) {
  static const bool fonts = MDL_createFontLibrary();  // as the program entry makes it
  (void)fonts;
  auto owned = std::make_unique<LMP_Engine>();
  LMP_Engine* engine = owned.get();
  lua_State* L = engine->L;
  if (!L) return;
  std::unique_ptr<VIEW_Generic> renderer;
  if (dc) {
    renderer = hiddenRenderer();
    if (!renderer) return;
  }
  CTRL_Generic controller(std::move(owned), std::move(renderer), std::make_unique<FixedMixer>());
  controller.package = testpkg::toBuffer(programArchive());
  controller.setViewSize(kWidth, kHeight);
  lua_pushlstring(L, reinterpret_cast<const char*>(data), size);
  lua_setglobal(L, "fz_bytes");
  lua_pushboolean(L, std::getenv("VS_FUZZ_LOG") != nullptr);
  lua_setglobal(L, "fz_trace");
  int frames = 0;
  runFrame(controller, dc, 0);  // init.lua, then startup
  for (int steps = 0; steps < kMaxSteps && !controller.load.stopped; ++steps) {
    const int top = lua_gettop(L);
    lua_getglobal(L, "fz_step");
    if (!engine->call(0, 4)) break;
    const bool end = lua_tointeger(L, top + 1) == kEnd;
    if (!end) act(controller, L, top, dc, &frames);
    lua_settop(L, top);
    if (end) break;
  }
  // What is left plays on for a moment (or shows the failure).
  runFrame(controller, dc, 0.1);
  runFrame(controller, dc, 0.1);
}

}  // namespace fuzz
