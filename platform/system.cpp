// Time, threads, the shell, the locale and the displays.
#ifndef _WIN32
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/internal.h"

extern char** environ;

namespace vsplat {

namespace {
std::mutex g_handleMutex;
std::map<uintptr_t, std::unique_ptr<KernelObject>> g_handles;
uintptr_t g_nextHandle = 0x9000;

struct ThreadObject : KernelObject {};

// The country part of a locale name: "fr_FR.UTF-8" -> "FR".
std::string countryOfLocale(const char* name) {
  if (!name) return "";
  const char* us = strchr(name, '_');
  if (!us) return "";
  std::string c;
  for (const char* p = us + 1; *p && *p != '.' && *p != '@'; ++p) c += (char)toupper((unsigned char)*p);
  return c;
}

std::string userCountry() {
  static const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* v : vars) {
    const char* value = getenv(v);
    if (value && *value) return countryOfLocale(value);
  }
  return "";
}

// "\\.\DISPLAY2" -> display index 1; null names the primary display.
int displayIndex(LPCSTR device) {
  if (!device) return 0;
  const char* p = strstr(device, "DISPLAY");
  if (!p) return -1;
  int n = atoi(p + 7);
  return n >= 1 ? n - 1 : -1;
}

}  // namespace

HANDLE newHandle(KernelObject* object) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  uintptr_t h = g_nextHandle++;
  g_handles[h].reset(object);
  return (HANDLE)h;
}

KernelObject* findHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  auto it = g_handles.find((uintptr_t)handle);
  return it == g_handles.end() ? nullptr : it->second.get();
}

}  // namespace vsplat

using namespace vsplat;

extern "C" {

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return FALSE;
  count->QuadPart =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* freq) {
  if (!freq) return FALSE;
  freq->QuadPart = 1000000000LL;
  return TRUE;
}

DWORD GetTickCount(void) {
  return (DWORD)std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD, LPDWORD threadId) {
  if (!start) return nullptr;
  static std::atomic<DWORD> nextId{1};
  try {
    std::thread([start, param] { start(param); }).detach();
  } catch (...) {
    return nullptr;  // no thread could be started
  }
  if (threadId) *threadId = nextId++;
  return newHandle(new ThreadObject);
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  return g_handles.erase((uintptr_t)handle) ? TRUE : FALSE;
}

// "open" hands the text to xdg-open as one argument, without a shell, and
// waits for it, so no zombie is left behind. Results above 32 mean success.
HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  if (!file || (verb && strcmp(verb, "open") != 0)) return (HINSTANCE)(uintptr_t)2;
  char prog[] = "xdg-open";
  std::string arg = file;
  char* argv[] = {prog, &arg[0], nullptr};
  pid_t pid;
  if (const int error = posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ)) {
    OutputDebugStringA((std::string("xdg-open could not be started: ") + strerror(error)).c_str());
    OutputDebugStringA("\n");
    return (HINSTANCE)(uintptr_t)2;
  }
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid, &status, 0);
  } while (done < 0 && errno == EINTR);
  bool ok = done == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return (HINSTANCE)(uintptr_t)(ok ? 42 : 31);
}

LANGID GetUserDefaultUILanguage(void) { return 0x0400; }

int GetLocaleInfoA(LCID, DWORD type, LPSTR out, int size) {
  if (type != LOCALE_SISO3166CTRYNAME) return 0;
  std::string c = userCountry();
  if (c.empty()) return 0;
  int need = (int)c.size() + 1;
  if (size == 0) return need;
  if (!out || size < need) return 0;
  memcpy(out, c.c_str(), need);
  return need;
}

BOOL EnumDisplayDevicesA(LPCSTR device, DWORD index, DISPLAY_DEVICEA* out, DWORD) {
  if (device || !out || !ensureVideo()) return FALSE;
  int n = SDL_GetNumVideoDisplays();
  if (n < 0 || index >= (DWORD)n) return FALSE;
  DWORD cb = out->cb;
  memset(out, 0, sizeof *out);
  out->cb = cb;
  snprintf(out->DeviceName, sizeof out->DeviceName, "\\\\.\\DISPLAY%u", (unsigned)index + 1);
  const char* name = SDL_GetDisplayName((int)index);
  snprintf(out->DeviceString, sizeof out->DeviceString, "%s", name ? name : "Display");
  out->StateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | (index == 0 ? DISPLAY_DEVICE_PRIMARY_DEVICE : 0);
  return TRUE;
}

BOOL EnumDisplaySettingsA(LPCSTR device, DWORD mode, DEVMODEA* out) {
  if (!out || mode != ENUM_CURRENT_SETTINGS || !ensureVideo()) return FALSE;
  int i = displayIndex(device);
  if (i < 0 || i >= SDL_GetNumVideoDisplays()) return FALSE;
  SDL_DisplayMode dm;
  SDL_Rect bounds;
  if (SDL_GetCurrentDisplayMode(i, &dm) != 0 || SDL_GetDisplayBounds(i, &bounds) != 0) return FALSE;
  WORD size = out->dmSize;
  memset(out, 0, sizeof *out);
  out->dmSize = size ? size : (WORD)sizeof *out;
  out->dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  out->dmPosition = {bounds.x, bounds.y};
  out->dmPelsWidth = (DWORD)bounds.w;
  out->dmPelsHeight = (DWORD)bounds.h;
  out->dmBitsPerPel = SDL_BITSPERPIXEL(dm.format);
  // SDL reports 0 when the rate is unknown, as Windows reports its default.
  out->dmDisplayFrequency = dm.refresh_rate > 0 ? (DWORD)dm.refresh_rate : 0;
  return TRUE;
}

}  // extern "C"
#endif
