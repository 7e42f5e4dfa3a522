// The program's resource table: what a resource compiler would link into a
// Windows executable. The program owns the table (program/resources.cpp) and
// installs it at start; the platform layer serves it through FindResourceA,
// LoadMenuA, LoadAcceleratorsA and DialogBoxParamA. RCDATA 130 alone comes from the executable file itself
// (see platform/payload.h), so it can be replaced without recompiling.
#pragma once

#ifndef _WIN32
#include <cstddef>

#include "platform/win32.h"

namespace vsplat {

// A menu resource is a flat list: an MF_POPUP item opens a submenu, whose
// items follow until an item with MF_END (which carries no command).
struct MenuItemDef {
  WORD id;
  const char* text;
  UINT flags;  // MF_POPUP, MF_END, MF_RIGHTJUSTIFY, MF_CHECKED
};

enum DialogControlKind { kDialogBitmap = 0, kDialogButton = 1 };

struct DialogControlDef {
  int kind;
  WORD id;
  const char* text;
  WORD bitmap;         // resource id of the picture of a kDialogBitmap
  short x, y, cx, cy;  // dialog units
};

struct DialogDef {
  const char* title;
  const char* font;
  int points;
  short cx, cy;
  const DialogControlDef* controls;
  int controlCount;
};

// One resource: its type (an RT_* integer resource), its id and its bytes.
// A resource whose bytes are made at run time gives load instead of data.
struct ResourceDef {
  WORD type;
  WORD id;
  const void* data;
  size_t size;
  const void* (*load)(size_t* size);
};

// Installs the program's table (it must outlive every lookup); until then
// only RCDATA 130 is found.
void setProgramResources(const ResourceDef* table, size_t count);

}  // namespace vsplat

#endif
