#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/payload.h"
#include "platform/seams.h"
#include "platform/testing.h"
#include "platform/win32.h"
#include "test_window.h"

namespace {

MSG key(UINT msg, WPARAM vk) {
  MSG m = {};
  m.message = msg;
  m.wParam = vk;
  return m;
}

}  // namespace

TEST(Payload, ReplacingKeepsThePlayerAndFindsTheNewPackage) {
  std::vector<uint8_t> player = {'E', 'L', 'F', 1, 2, 3};
  std::vector<uint8_t> a = {9, 9, 9}, b = {7};
  std::vector<uint8_t> once = vsplat::withPayload(player, a);
  std::vector<uint8_t> twice = vsplat::withPayload(once, b);
  size_t off = 0, size = 0;
  ASSERT_TRUE(vsplat::findPayload(twice.data(), twice.size(), &off, &size));
  EXPECT_EQ(off, player.size());
  ASSERT_EQ(size, 1u);
  EXPECT_EQ(twice[off], 7);
  EXPECT_EQ(twice.size(), player.size() + 1 + 16);
  EXPECT_FALSE(vsplat::findPayload(player.data(), player.size(), &off, &size));
  // A trailer whose size reaches before the file's start is no payload.
  std::vector<uint8_t> bad = once;
  bad[bad.size() - 16] = 0xff;
  bad[bad.size() - 9] = 0x7f;
  EXPECT_FALSE(vsplat::findPayload(bad.data(), bad.size(), &off, &size));
}

TEST(Resources, PackageIsRcData130) {
  std::vector<uint8_t> pkg = {1, 2, 3, 4, 5};
  vsplat::setTestPackage(&pkg);
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(130), RT_RCDATA);
  ASSERT_TRUE(r);
  EXPECT_EQ(SizeofResource(nullptr, r), 5u);
  const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, r)));
  ASSERT_TRUE(p);
  EXPECT_EQ(memcmp(p, pkg.data(), 5), 0);
  vsplat::setTestPackage(nullptr);
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCEA(130), RT_RCDATA));
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCEA(131), RT_RCDATA));
}

// The package is read from the program file's payload only when asked for,
// and FreeResource lets it go until the next lookup reads it again.
TEST(Resources, PackageComesFromTheProgramFilesPayloadUntilFreed) {
  const std::string path = ::testing::TempDir() + "payload_program.bin";
  std::vector<uint8_t> player(5000, 0x7f), pkg(70000);
  for (size_t i = 0; i < pkg.size(); ++i) pkg[i] = static_cast<uint8_t>(i * 7 + i / 251);
  auto write = [&](const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  write(vsplat::withPayload(player, pkg));
  vsplat::overrideProgramFile(path.c_str());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(130), RT_RCDATA);
    ASSERT_TRUE(r);
    ASSERT_EQ(SizeofResource(nullptr, r), pkg.size());
    HGLOBAL loaded = LoadResource(nullptr, r);
    const uint8_t* p = static_cast<const uint8_t*>(LockResource(loaded));
    ASSERT_TRUE(p);
    EXPECT_EQ(memcmp(p, pkg.data(), pkg.size()), 0);
    EXPECT_TRUE(FreeResource(loaded));
    EXPECT_FALSE(FreeResource(loaded));
  }
  write(vsplat::withPayload(player, {}));  // an empty package is still one
  vsplat::overrideProgramFile(path.c_str());
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(130), RT_RCDATA);
  ASSERT_TRUE(r);
  EXPECT_EQ(SizeofResource(nullptr, r), 0u);
  write(player);  // no trailer: no package
  vsplat::overrideProgramFile(path.c_str());
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCEA(130), RT_RCDATA));
  vsplat::overrideProgramFile(nullptr);
  std::remove(path.c_str());
}

TEST(Resources, AboutBitmapIsADib) {
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(155), RT_BITMAP);
  ASSERT_TRUE(r);
  const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, r)));
  int32_t w, h;
  memcpy(&w, p + 4, 4);
  memcpy(&h, p + 8, 4);
  EXPECT_GT(w, 0);
  EXPECT_GT(h, 0);
  EXPECT_EQ(p[14], 24);
  EXPECT_GE(SizeofResource(nullptr, r), 40u + (uint32_t)(w * 3) * h);
  EXPECT_TRUE(FindResourceA(nullptr, MAKEINTRESOURCEA(151), RT_GROUP_ICON));
  EXPECT_FALSE(LoadIconA(nullptr, MAKEINTRESOURCEA(102)));  // the class's icon is not there
}

TEST(Menus, MainMenuHoldsItsCommandsAndCheckMarks) {
  HMENU menu = LoadMenuA(nullptr, MAKEINTRESOURCEA(104));
  ASSERT_TRUE(menu);
  for (UINT id : {101u, 32784u, 32790u, 32779u, 100u})
    EXPECT_EQ(CheckMenuItem(menu, id, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_UNCHECKED) << id;
  EXPECT_EQ(CheckMenuItem(menu, 32779, MF_BYCOMMAND | MF_CHECKED), (DWORD)MF_UNCHECKED);
  EXPECT_EQ(CheckMenuItem(menu, 32779, MF_BYCOMMAND | MF_UNCHECKED), (DWORD)MF_CHECKED);
  EXPECT_EQ(CheckMenuItem(menu, 4242, MF_BYCOMMAND), (DWORD)-1);
  EXPECT_TRUE(DestroyMenu(menu));
}

TEST(Accelerators, EscapeAndCtrlQSendTheirCommands) {
  HWND w = testwin::make();
  HACCEL acc = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(104));
  ASSERT_TRUE(acc);
  struct Case {
    bool ctrl;
    UINT msg;
    WPARAM vk;
    int command;  // 0: not translated
    LPARAM lParam;
  } cases[] = {
      {false, WM_KEYDOWN, VK_ESCAPE, 32779, 0},
      {true, WM_KEYDOWN, 'Q', 101, 0},
      {false, WM_KEYDOWN, 'Q', 0, 0},
      {true, WM_KEYUP, 'Q', 0, 0},
      {false, WM_KEYDOWN, VK_F1, 0, 0},
      {true, WM_KEYDOWN, VK_ESCAPE, 0, 0},
      // Ctrl+Alt+Q (Alt in the key's flags) is not Ctrl+Q; Alt+Esc is not Esc.
      {true, WM_KEYDOWN, 'Q', 0, 1 << 29},
      {false, WM_SYSKEYDOWN, VK_ESCAPE, 0, 1 << 29},
  };
  for (const Case& c : cases) {
    // The key state follows the messages taken from the queue.
    PostMessageA(w, c.ctrl ? WM_KEYDOWN : WM_KEYUP, VK_CONTROL, 0);
    MSG m;
    while (PeekMessageA(&m, w, 0, 0, PM_REMOVE)) {
    }
    testwin::log().clear();
    MSG k = key(c.msg, c.vk);
    k.hwnd = w;
    k.lParam = c.lParam;
    int done = TranslateAcceleratorA(w, acc, &k);
    EXPECT_EQ(done, c.command ? 1 : 0) << c.vk;
    if (c.command) {
      ASSERT_EQ(testwin::count(WM_COMMAND), 1u);
      EXPECT_EQ(LOWORD(testwin::log().back().wParam), c.command);
      EXPECT_EQ(HIWORD(testwin::log().back().wParam), 1);
    } else {
      EXPECT_EQ(testwin::count(WM_COMMAND), 0u);
    }
  }
}

TEST(Dialogs, AboutBoxRunsItsProcedureUntilEndDialog) {
  static std::vector<UINT> seen;
  vsplat::setDialogRunner([](HWND dlg, DLGPROC proc) {
    proc(dlg, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    return (INT_PTR)0;
  });
  DLGPROC proc = [](HWND dlg, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
    seen.push_back(msg);
    if (msg == WM_COMMAND) return EndDialog(dlg, LOWORD(wParam));
    return msg == WM_INITDIALOG;
  };
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(152), nullptr, proc, 0), 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (UINT)WM_INITDIALOG);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, proc, 0), -1);
  vsplat::setDialogRunner(nullptr);
}

// The real box, without a runner: while it is up, the owner's timer still
// ticks, so the player's frames (and its sound) go on behind it.
TEST(Dialogs, TheOwnersTimerKeepsTickingWhileTheBoxIsUp) {
  HWND w = testwin::make();
  ASSERT_TRUE(w);
  static HWND box = nullptr;
  static int ticks = 0;
  static bool guarded = false;
  testwin::handler() = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* r) {
    if (msg != WM_TIMER) return false;
    if (++ticks == 3 && box) EndDialog(box, 7);
    *r = 0;
    return true;
  };
  DLGPROC proc = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg == WM_INITDIALOG) box = dlg;
    return msg == WM_INITDIALOG;
  };
  SetTimer(w, 0, 10, nullptr);
  // Should no tick come, the box is closed after a while instead of hanging.
  guint guard = g_timeout_add(
      10000,
      [](gpointer) -> gboolean {
        guarded = true;
        if (box) EndDialog(box, -2);
        return G_SOURCE_REMOVE;
      },
      nullptr);
  INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(152), w, proc, 0);
  if (!guarded) g_source_remove(guard);
  testwin::handler() = nullptr;
  EXPECT_EQ(result, 7);
  EXPECT_GE(ticks, 3);
}

#include "assets/assets.h"

TEST(Assets, FontAndLogoAreCompiledIn) {
  ASSERT_GT(vs_default_font_size, 100000u);
  // A TrueType font starts with version 1.0.
  EXPECT_EQ(memcmp(vs_default_font, "\x00\x01\x00\x00", 4), 0);
  ASSERT_GT(vs_loading_logo_size, 33u);
  EXPECT_EQ(memcmp(vs_loading_logo, "\x89PNG\r\n\x1a\n", 8), 0);
  // IHDR: 400 x 115.
  auto be32 = [](const uint8_t* p) { return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
  EXPECT_EQ(be32(vs_loading_logo + 16), 400u);
  EXPECT_EQ(be32(vs_loading_logo + 20), 115u);
}
