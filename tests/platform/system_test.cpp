#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/testing.h"
#include "platform/win32.h"

TEST(Locale, CountryComesFromTheFirstSetLocaleVariable) {
  struct Case {
    const char* all;
    const char* messages;
    const char* lang;
    const char* country;  // "" when none
  } cases[] = {
      {nullptr, nullptr, "fr_FR.UTF-8", "FR"},
      {"de_AT@euro", nullptr, "fr_FR.UTF-8", "AT"},
      {"", "it_IT", "fr_FR", "IT"},
      {nullptr, nullptr, "C", ""},
      {nullptr, nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    auto set = [](const char* name, const char* v) { v ? setenv(name, v, 1) : unsetenv(name); };
    set("LC_ALL", c.all);
    set("LC_MESSAGES", c.messages);
    set("LANG", c.lang);
    char buf[64] = "unchanged";
    int n = GetLocaleInfoA(GetUserDefaultUILanguage(), LOCALE_SISO3166CTRYNAME, buf, sizeof buf);
    if (*c.country) {
      EXPECT_EQ(n, (int)strlen(c.country) + 1);
      EXPECT_STREQ(buf, c.country);
    } else {
      EXPECT_EQ(n, 0) << (c.lang ? c.lang : "none");
    }
  }
  setenv("LANG", "es_ES.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  char tiny[2];
  EXPECT_EQ(GetLocaleInfoA(0, LOCALE_SISO3166CTRYNAME, tiny, sizeof tiny), 0);  // never overruns
}

TEST(Time, PerformanceCounterAdvancesAtItsFrequency) {
  LARGE_INTEGER f, a, b;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  ASSERT_TRUE(QueryPerformanceCounter(&a));
  SDL_Delay(20);
  ASSERT_TRUE(QueryPerformanceCounter(&b));
  double s = (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
  EXPECT_GE(s, 0.019);
}

TEST(Threads, ThreadRunsItsProcedureWithItsParameter) {
  static std::atomic<int> got{0};
  int value = 42;
  HANDLE t = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        got = *static_cast<int*>(p);
        return 0;
      },
      &value, 0, nullptr);
  ASSERT_TRUE(t);
  for (int i = 0; i < 200 && got == 0; ++i) SDL_Delay(5);
  EXPECT_EQ(got, 42);
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_FALSE(CloseHandle(t));
}

TEST(Displays, DevicesAndCurrentModeComeFromSdl) {
  DISPLAY_DEVICEA dd = {};
  dd.cb = sizeof dd;
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &dd, 0)) << SDL_GetError();
  EXPECT_STREQ(dd.DeviceName, "\\\\.\\DISPLAY1");
  EXPECT_TRUE(dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP);
  DEVMODEA dm = {};
  dm.dmSize = sizeof dm;
  ASSERT_TRUE(EnumDisplaySettingsA(dd.DeviceName, ENUM_CURRENT_SETTINGS, &dm)) << SDL_GetError();
  SDL_Rect b;
  SDL_GetDisplayBounds(0, &b);
  EXPECT_EQ((int)dm.dmPelsWidth, b.w);
  EXPECT_EQ((int)dm.dmPelsHeight, b.h);
  EXPECT_EQ(dm.dmPosition.x, b.x);
  DISPLAY_DEVICEA none = {};
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, (DWORD)SDL_GetNumVideoDisplays(), &none, 0));
  EXPECT_FALSE(EnumDisplaySettingsA("\\\\.\\DISPLAY99", ENUM_CURRENT_SETTINGS, &dm));
}
