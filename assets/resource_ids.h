// The ids of the program's resources, menu commands and dialog controls,
// shared by the resource table and the windows that use it.
#pragma once

#include "platform/win32.h"

namespace res {

// Resources.
constexpr WORD kMenuId = 104;          // the main menu
constexpr WORD kAcceleratorsId = 104;  // the main window's accelerators
constexpr WORD kClassIcon = 102;       // the window class's icon
constexpr WORD kPackageId = 130;       // RCDATA: the content package
constexpr WORD kIconGroupId = 151;
constexpr WORD kAboutDialog = 152;
constexpr WORD kAboutBitmap = 155;  // the About box's picture

// Menu commands.
constexpr WORD kCmdAbout = 100;
constexpr WORD kCmdExit = 101;
constexpr WORD kCmdFullscreen = 32779;
constexpr WORD kFirstLanguage = 32784;  // French, German, Italian, Spanish, Russian, Chinese, English
constexpr WORD kLastLanguage = 32790;

}  // namespace res
