// The program's main window: creation from the embedded package, the About
// box, the language menu and the end of the message loop.
#include "program/main_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controller/win32/ctrl_win32.h"
#include "platform/testing.h"
#include "support/test_package.h"

namespace {

CTRL_Win32* controllerOf(HWND w) { return reinterpret_cast<CTRL_Win32*>(GetWindowLongPtrA(w, GWLP_USERDATA)); }

struct Program {
  explicit Program(const std::vector<uint8_t>* package) {
    vsplat::setOffscreen(true);
    vsplat::setTestPackage(package);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = mainWndProc;
    wc.lpszMenuName = MAKEINTRESOURCEA(104);
    wc.lpszClassName = "vKorplayer";
    RegisterClassA(&wc);
  }
  ~Program() {
    if (IsWindow(mainWindow())) DestroyWindow(mainWindow());
    vsplat::setTestPackage(nullptr);
  }
};

const std::vector<uint8_t>& package() {
  static const std::vector<uint8_t> bytes =
      testpkg::makePackage({{"config.xml", testpkg::kConfigXml}, {"init.lua", "function startup() end\n"}});
  return bytes;
}

}  // namespace

TEST(MainWindow, OpensTheEmbeddedPackageAtA1024By768ClientArea) {
  Program p(&package());
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  HWND w = mainWindow();
  RECT r;
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, 1024);
  EXPECT_EQ(r.bottom, 768);
  char title[32];
  GetWindowTextA(w, title, sizeof title);
  EXPECT_STREQ(title, "Vostrelle");
  CTRL_Win32* c = controllerOf(w);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->package);  // accepted
  EXPECT_EQ(c->load.state, 1);
  EXPECT_EQ(c->contentAspect, 0.75);
  EXPECT_TRUE(GetMenu(w));
}

TEST(MainWindow, WithoutAPackageTheWindowOpensAndShowsTheFailure) {
  Program p(nullptr);
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  CTRL_Win32* c = controllerOf(mainWindow());
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->load.stopped);
  EXPECT_FALSE(c->package);
  EXPECT_TRUE(IsWindow(mainWindow()));
}

TEST(MainWindow, EnglishRebuildsWithLanguageUsAtTheSameRectangle) {
  Program p(&package());
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  HWND old = mainWindow();
  SetWindowPos(old, nullptr, 60, 70, 800, 600, SWP_NOZORDER);
  RECT before;
  GetWindowRect(old, &before);
  int live = CTRL_Generic::liveControllers();
  SendMessageA(old, WM_COMMAND, MAKEWPARAM(32790, 0), 0);
  HWND now = mainWindow();
  ASSERT_NE(now, old);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(CTRL_Generic::liveControllers(), live);
  EXPECT_STREQ(chosenLanguage(), "US");
  CTRL_Win32* c = controllerOf(now);
  ASSERT_TRUE(c);
  char lang[8];
  c->getLanguage(lang);
  EXPECT_STREQ(lang, "US");
  EXPECT_TRUE(c->package);
  EXPECT_EQ(c->load.state, 1);  // the content starts again
  RECT r;
  GetWindowRect(now, &r);
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.top, before.top);
  EXPECT_EQ(r.right, before.right);
  EXPECT_EQ(r.bottom, before.bottom);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));  // still running
}

TEST(MainWindow, EveryLanguageItemGivesItsCodeToTheNewController) {
  Program p(&package());
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  struct Case {
    WORD item;
    const char* code;
  } cases[] = {{32784, "FR"}, {32785, "DE"}, {32786, "IT"}, {32787, "ES"}, {32788, "RU"}, {32789, "ZH"}, {32790, "US"}};
  for (const Case& c : cases) {
    HWND old = mainWindow();
    SendMessageA(old, WM_COMMAND, MAKEWPARAM(c.item, 0), 0);
    ASSERT_NE(mainWindow(), old) << c.item;
    EXPECT_STREQ(chosenLanguage(), c.code);
    char lang[8] = "zz";
    controllerOf(mainWindow())->getLanguage(lang);
    EXPECT_STREQ(lang, c.code);
  }
  // Only those seven items are languages: the next one is no rebuild.
  HWND last = mainWindow();
  SendMessageA(last, WM_COMMAND, MAKEWPARAM(32791, 0), 0);
  EXPECT_EQ(mainWindow(), last);
  EXPECT_STREQ(chosenLanguage(), "US");
}

TEST(MainWindow, AboutBoxEndsOnOkAndTheLastWindowEndsTheLoop) {
  Program p(&package());
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  std::vector<UINT> seen;
  vsplat::setDialogRunner([&](HWND dlg, DLGPROC proc) {
    seen.push_back(proc(dlg, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0) ? 1u : 0u);
    return (INT_PTR)1;
  });
  EXPECT_EQ(SendMessageA(mainWindow(), WM_COMMAND, MAKEWPARAM(100, 0), 0), 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], 1u);
  vsplat::setDialogRunner(nullptr);
  EXPECT_EQ(aboutDlgProc(nullptr, WM_INITDIALOG, 0, 0), TRUE);
  EXPECT_EQ(aboutDlgProc(nullptr, WM_COMMAND, 7, 0), FALSE);
  SendMessageA(mainWindow(), WM_COMMAND, MAKEWPARAM(101, 0), 0);  // File, Exit
  EXPECT_FALSE(IsWindow(mainWindow()));
  EXPECT_EQ(CTRL_Generic::liveControllers(), 0);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
}

TEST(MainWindow, ALanguageChangeThatCannotMakeItsWindowKeepsTheOldOne) {
  Program p(&package());
  ASSERT_TRUE(createMainWindow(nullptr, SW_SHOW));
  HWND old = mainWindow();
  int live = CTRL_Generic::liveControllers();
  UnregisterClassA("vKorplayer", nullptr);  // no new window can be made
  EXPECT_FALSE(rebuildForLanguage());
  SendMessageA(old, WM_COMMAND, MAKEWPARAM(32785, 0), 0);
  EXPECT_EQ(mainWindow(), old);
  EXPECT_TRUE(IsWindow(old));
  EXPECT_EQ(CTRL_Generic::liveControllers(), live);
  EXPECT_TRUE(controllerOf(old)->package);
}
