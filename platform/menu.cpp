// Menus, accelerator tables, dialog boxes, icons and cursors.
#ifndef _WIN32
#include <SDL.h>

#include <map>

#include "platform/internal.h"
#include "platform/resources.h"

namespace vsplat {

bool findProgramResource(LPCSTR type, LPCSTR name, const void** data, size_t* size);

std::function<WORD(HMENU)> g_menuChooser;
std::function<INT_PTR(HWND, DLGPROC)> g_dialogRunner;
bool g_offscreen = false;
std::function<uint64_t()> g_testClock;

namespace {

std::map<uintptr_t, std::unique_ptr<Menu>> g_menus;
std::map<uintptr_t, std::vector<ACCEL>> g_accels;
uintptr_t g_nextMenu = 0x5000;
uintptr_t g_nextAccel = 0x6000;

HMENU newMenu() {
  uintptr_t h = g_nextMenu++;
  g_menus[h] = std::make_unique<Menu>();
  return (HMENU)h;
}

// Builds one level from the flat list, returning the index after it.
size_t buildLevel(HMENU menu, const MenuItemDef* defs, size_t count, size_t i) {
  while (i < count) {
    const MenuItemDef& d = defs[i++];
    if (d.flags & MF_END) break;
    MenuItem item;
    item.id = d.id;
    item.text = d.text ? d.text : "";
    item.flags = d.flags & (MF_CHECKED | MF_POPUP | MF_RIGHTJUSTIFY);
    if (d.flags & MF_POPUP) {
      item.sub = newMenu();
      i = buildLevel(item.sub, defs, count, i);
    }
    findMenu(menu)->items.push_back(item);
  }
  return i;
}

MenuItem* findItem(HMENU menu, UINT id) {
  Menu* m = findMenu(menu);
  if (!m) return nullptr;
  for (auto& item : m->items) {
    if (item.sub) {
      if (MenuItem* found = findItem(item.sub, id)) return found;
    } else if (item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

struct Cursor {
  LPCSTR name;
  SDL_SystemCursor shape;
  SDL_Cursor* cursor;
};
Cursor g_cursors[] = {
    {IDC_ARROW, SDL_SYSTEM_CURSOR_ARROW, nullptr},
    {IDC_SIZEALL, SDL_SYSTEM_CURSOR_SIZEALL, nullptr},
    {IDC_HAND, SDL_SYSTEM_CURSOR_HAND, nullptr},
};
HCURSOR g_current = nullptr;

}  // namespace

Menu* findMenu(HMENU menu) {
  auto it = g_menus.find((uintptr_t)menu);
  return it == g_menus.end() ? nullptr : it->second.get();
}

void runMenuLoop(HWND hwnd) {
  Window* w = findWindow(hwnd);
  if (!w || !w->menu) return;
  SendMessageA(hwnd, WM_ENTERMENULOOP, FALSE, 0);
  w = findWindow(hwnd);
  WORD chosen = 0;
  if (w && w->menu) chosen = g_menuChooser ? g_menuChooser(w->menu) : gtkPopupMenu(w->sdl, w->menu);
  if (!findWindow(hwnd)) return;
  SendMessageA(hwnd, WM_EXITMENULOOP, FALSE, 0);
  // As on Windows, the chosen command arrives as a posted WM_COMMAND.
  if (chosen) PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

}  // namespace vsplat

using namespace vsplat;

extern "C" {

HMENU LoadMenuA(HINSTANCE, LPCSTR name) {
  const void* data = nullptr;
  size_t size = 0;
  if (!findProgramResource(RT_MENU, name, &data, &size)) return nullptr;
  const MenuItemDef* defs = static_cast<const MenuItemDef*>(data);
  HMENU menu = newMenu();
  buildLevel(menu, defs, size / sizeof(MenuItemDef), 0);
  return menu;
}

HMENU GetMenu(HWND hwnd) {
  Window* w = findWindow(hwnd);
  return w ? w->menu : nullptr;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
  Window* w = findWindow(hwnd);
  if (!w || (menu && !findMenu(menu))) return FALSE;
  w->menu = menu;
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  Menu* m = findMenu(menu);
  if (!m) return FALSE;
  for (auto& item : m->items)
    if (item.sub) DestroyMenu(item.sub);
  g_menus.erase((uintptr_t)menu);
  return TRUE;
}

DWORD CheckMenuItem(HMENU menu, UINT id, UINT check) {
  MenuItem* item = findItem(menu, id);
  if (!item) return (DWORD)-1;
  DWORD old = item->flags & MF_CHECKED;
  item->flags = (item->flags & ~(UINT)MF_CHECKED) | (check & MF_CHECKED);
  return old;
}

// The menu is shown as a popup (see runMenuLoop): there is no bar to draw.
BOOL DrawMenuBar(HWND hwnd) { return findWindow(hwnd) ? TRUE : FALSE; }

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
  const void* data = nullptr;
  size_t size = 0;
  if (!findProgramResource(RT_ACCELERATOR, name, &data, &size)) return nullptr;
  const ACCEL* a = static_cast<const ACCEL*>(data);
  uintptr_t h = g_nextAccel++;
  g_accels[h].assign(a, a + size / sizeof(ACCEL));
  return (HACCEL)h;
}

int TranslateAcceleratorA(HWND hwnd, HACCEL accel, LPMSG msg) {
  if (!msg || !findWindow(hwnd)) return 0;
  auto it = g_accels.find((uintptr_t)accel);
  if (it == g_accels.end()) return 0;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
  bool ctrl = keyDown(VK_CONTROL), shift = keyDown(VK_SHIFT);
  // Ctrl+Alt+key arrives as WM_KEYDOWN, with Alt in the key's flags.
  bool alt = (msg->lParam & (1 << 29)) != 0;
  for (const ACCEL& a : it->second) {
    if (!(a.fVirt & FVIRTKEY) || a.key != msg->wParam) continue;
    if (((a.fVirt & FCONTROL) != 0) != ctrl || ((a.fVirt & FSHIFT) != 0) != shift || ((a.fVirt & FALT) != 0) != alt)
      continue;
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return 1;
  }
  return 0;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  const void* data = nullptr;
  size_t size = 0;
  if (!proc || !findProgramResource(RT_DIALOG, name, &data, &size)) return -1;
  const DialogDef& def = *static_cast<const DialogDef*>(data);
  // The dialog is a window handle of its own, so EndDialog finds it; what
  // the user sees lives in the toolkit.
  HWND dlg = newDialogWindow(def.title);
  INT_PTR result;
  if (g_dialogRunner) {
    proc(dlg, WM_INITDIALOG, 0, param);
    result = g_dialogRunner(dlg, proc);
  } else {
    gtkRunDialog(dlg, owner, def, proc, param);
    Window* w = findWindow(dlg);
    result = w ? w->dialogResult : -1;
  }
  destroyDialogWindow(dlg);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* w = findWindow(dialog);
  if (!w || !w->dialog) return FALSE;
  w->dialogEnded = true;
  w->dialogResult = result;
  return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  const void* data = nullptr;
  size_t size = 0;
  if (!findProgramResource(RT_GROUP_ICON, name, &data, &size)) return nullptr;
  return (HICON)data;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance) return nullptr;
  for (auto& c : g_cursors)
    if (c.name == name) return (HCURSOR)&c;
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = g_current;
  g_current = cursor;
  if (!cursor || !SDL_WasInit(SDL_INIT_VIDEO)) return old;
  Cursor* c = reinterpret_cast<Cursor*>(cursor);
  if (!c->cursor) c->cursor = SDL_CreateSystemCursor(c->shape);
  if (c->cursor) SDL_SetCursor(c->cursor);
  return old;
}

BOOL SetCursorPos(int x, int y) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return FALSE;
  return SDL_WarpMouseGlobal(x, y) == 0 ? TRUE : FALSE;
}

}  // extern "C"
#endif
