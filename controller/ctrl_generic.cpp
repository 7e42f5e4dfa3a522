#include "controller/ctrl_generic.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controller/debug_log.h"
#include "controller/script_engine.h"

namespace {

char* copyText(const char* text) {
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(n));
  if (copy) memcpy(copy, text, n);
  return copy;
}

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

}  // namespace

CTRL_Generic::CTRL_Generic(CTRL_ScriptEngine* scriptEngine) {
  engine = scriptEngine;
  if (engine) engine->setController(this);
  platform = 1;  // ENV_WINDOWS
}

CTRL_Generic::~CTRL_Generic() {
  free(packageName);
  free(failureText);
  delete package;
  delete engine;
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
  if (stopped) return;
  stopped = true;
  // The screen shows only a fixed text; the log keeps the reason (a script
  // error's file and line) for the content's author.
  char reason[1024];
  va_list args;
  va_start(args, format);
  if (!format || vsnprintf(reason, sizeof reason, format, args) < 0) reason[0] = '\0';
  va_end(args);
  debugPrintf("%s", reason);
  free(failureText);
  failureText = copyText(failureTextFor(loadState));
}

const char* CTRL_Generic::packageLabel() const { return packageName ? packageName : "package"; }

void CTRL_Generic::dropLoadingScreen() {}
