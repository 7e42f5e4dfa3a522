// The program's resources: menu, accelerators, About box, its picture and
// the icons. RCDATA 130 (the package) is not here: it travels after the
// executable image so that it can be replaced in a built player.
#include "program/resources.h"

#ifndef _WIN32
#include <cmath>
#include <cstring>
#include <vector>

#include "assets/resource_ids.h"
#include "platform/resources.h"

using vsplat::DialogControlDef;
using vsplat::DialogDef;
using vsplat::MenuItemDef;
using vsplat::ResourceDef;

namespace {

const MenuItemDef kMainMenu[] = {
    {0, "&File", MF_POPUP},
    {res::kCmdExit, "E&xit\tCtrl+Q", 0},
    {0, nullptr, MF_END},
    {0, "Langage", MF_POPUP},
    {res::kFirstLanguage, "French", 0},
    {res::kFirstLanguage + 1, "German", 0},
    {res::kFirstLanguage + 2, "Italian", 0},
    {res::kFirstLanguage + 3, "Spanish", 0},
    {res::kFirstLanguage + 4, "Russian", 0},
    {res::kFirstLanguage + 5, "Chinese", 0},
    {res::kLastLanguage, "English", 0},
    {0, nullptr, MF_END},
    {0, "View", MF_POPUP},
    {res::kCmdFullscreen, "Fullscreen\tAlt+Enter", 0},
    {0, nullptr, MF_END},
    {0, "&Help", MF_POPUP | MF_RIGHTJUSTIFY},
    {res::kCmdAbout, "&About ...\tF1", 0},
    {0, nullptr, MF_END},
};

const ACCEL kAccelerators[] = {
    {FVIRTKEY, VK_ESCAPE, res::kCmdFullscreen},
    {FVIRTKEY | FCONTROL, 'Q', res::kCmdExit},
};

const DialogControlDef kAboutControls[] = {
    {vsplat::kDialogBitmap, 0xFFFF, nullptr, res::kAboutBitmap, 7, 7, 375, 262},
    {vsplat::kDialogButton, IDOK, "OK", 0, 332, 274, 50, 14},
};

const DialogDef kAboutDialog = {"About Vostrelle", "MS Shell Dlg", 8, 389, 295, kAboutControls, 2};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (uint8_t)(v >> (8 * i));
}

// A 24-bit DIB: a dusk gradient with a ring of dots, drawn once.
std::vector<uint8_t> makeDib(int width, int height) {
  size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
  std::vector<uint8_t> b(40 + stride * height, 0);
  put32(b, 0, 40);
  put32(b, 4, (uint32_t)width);
  put32(b, 8, (uint32_t)height);
  b[12] = 1;
  b[14] = 24;
  put32(b, 20, (uint32_t)(stride * height));
  double cx = width * 0.5, cy = height * 0.55, r = height * 0.3;
  for (int y = 0; y < height; ++y) {
    double t = (double)y / (height - 1);  // 0 at the bottom row
    for (int x = 0; x < width; ++x) {
      double red = 30 + 150 * t, green = 40 + 60 * t, blue = 90 + 120 * (1 - t);
      double d = std::hypot(x - cx, y - cy);
      if (std::fabs(d - r) < 3.0) red = green = blue = 235;
      for (int k = 0; k < 12; ++k) {
        double a = k * 3.14159265358979 / 6;
        if (std::hypot(x - (cx + r * std::cos(a)), y - (cy + r * std::sin(a))) < 8) {
          red = 250;
          green = 200;
          blue = 80;
        }
      }
      uint8_t* px = &b[40 + stride * y + 3 * x];
      px[0] = (uint8_t)blue;
      px[1] = (uint8_t)green;
      px[2] = (uint8_t)red;
    }
  }
  return b;
}

const void* aboutBitmap(size_t* size) {
  static const std::vector<uint8_t> dib = makeDib(375, 262);
  *size = dib.size();
  return dib.data();
}

const void* iconImage(size_t* size) {
  static const std::vector<uint8_t> dib = makeDib(32, 32);
  *size = dib.size();
  return dib.data();
}

// The icon group names its one image, icon 1.
const uint8_t kIconGroup[] = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 1, 0};

const ResourceDef kResources[] = {
    {4, res::kMenuId, kMainMenu, sizeof kMainMenu, nullptr},
    {9, res::kAcceleratorsId, kAccelerators, sizeof kAccelerators, nullptr},
    {5, res::kAboutDialog, &kAboutDialog, sizeof kAboutDialog, nullptr},
    {2, res::kAboutBitmap, nullptr, 0, aboutBitmap},
    {3, 1, nullptr, 0, iconImage},
    {14, res::kIconGroupId, kIconGroup, sizeof kIconGroup, nullptr},
};

}  // namespace

void CTRL_installProgramResources() { vsplat::setProgramResources(kResources, sizeof kResources / sizeof kResources[0]); }
#else
void CTRL_installProgramResources() {}
#endif
