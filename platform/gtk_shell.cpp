// What SDL lacks: the menu popup and the dialog boxes, in GTK 3.
#ifndef _WIN32
#include <SDL.h>
#include <SDL_syswm.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstring>
#include <string>

#include "platform/internal.h"
#include "platform/resources.h"

namespace vsplat {

bool findProgramResource(LPCSTR type, LPCSTR name, const void** data, size_t* size);

namespace {

bool ensureGtk() {
  static int state = 0;  // 0 untried, 1 ready, 2 unavailable
  if (state == 0) {
    gdk_set_allowed_backends("x11");
    // GTK would switch the C locale to the user's; a decimal comma there
    // breaks every number read from models sets and Lua's number formatting.
    gtk_disable_setlocale();
    state = gtk_init_check(nullptr, nullptr) ? 1 : 2;
  }
  return state == 1;
}

// "&File" -> "_File"; "E&xit\tCtrl+Q" -> label "E_xit", accelerator "Ctrl+Q".
void splitText(const std::string& text, std::string* label, std::string* accel) {
  size_t tab = text.find('\t');
  std::string main = text.substr(0, tab);
  *accel = tab == std::string::npos ? "" : text.substr(tab + 1);
  label->clear();
  for (size_t i = 0; i < main.size(); ++i) {
    char c = main[i];
    if (c == '_') {
      *label += "__";
    } else if (c == '&' && i + 1 < main.size() && main[i + 1] == '&') {
      *label += '&';
      ++i;
    } else {
      *label += c == '&' ? '_' : c;
    }
  }
}

struct PopupState {
  WORD chosen = 0;
  GMainLoop* loop = nullptr;
};

void onActivate(GtkMenuItem* item, gpointer data) {
  auto* st = static_cast<PopupState*>(data);
  st->chosen = (WORD)GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "vs-id"));
}

void onDeactivate(GtkMenuShell*, gpointer data) {
  auto* st = static_cast<PopupState*>(data);
  if (st->loop) g_main_loop_quit(st->loop);
}

GtkWidget* buildMenu(HMENU handle, PopupState* st) {
  GtkWidget* menu = gtk_menu_new();
  Menu* m = findMenu(handle);
  if (!m) return menu;
  for (const MenuItem& item : m->items) {
    std::string label, accel;
    splitText(item.text, &label, &accel);
    GtkWidget* w;
    if (!item.sub && (item.flags & MF_CHECKED)) {
      w = gtk_check_menu_item_new_with_mnemonic(label.c_str());
      gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(w), TRUE);
    } else {
      w = gtk_menu_item_new_with_mnemonic(label.c_str());
    }
    if (!accel.empty()) {
      // The shortcut is shown beside the text, as Windows shows it.
      GtkWidget* child = gtk_bin_get_child(GTK_BIN(w));
      gtk_widget_destroy(child);
      GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 24);
      GtkWidget* l = gtk_label_new_with_mnemonic(label.c_str());
      GtkWidget* a = gtk_label_new(accel.c_str());
      gtk_widget_set_halign(l, GTK_ALIGN_START);
      gtk_style_context_add_class(gtk_widget_get_style_context(a), "accelerator");
      gtk_box_pack_start(GTK_BOX(box), l, TRUE, TRUE, 0);
      gtk_box_pack_end(GTK_BOX(box), a, FALSE, FALSE, 0);
      gtk_container_add(GTK_CONTAINER(w), box);
    }
    if (item.sub) {
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(w), buildMenu(item.sub, st));
    } else {
      g_object_set_data(G_OBJECT(w), "vs-id", GUINT_TO_POINTER(item.id));
      g_signal_connect(w, "activate", G_CALLBACK(onActivate), st);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), w);
  }
  return menu;
}

void drainGtk() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// A DIB (info header and bottom-up rows) as a pixbuf.
GdkPixbuf* pixbufFromDib(const uint8_t* p, size_t size) {
  if (size < 40) return nullptr;
  auto rd32 = [p](size_t o) { return (int32_t)(p[o] | p[o + 1] << 8 | p[o + 2] << 16 | (uint32_t)p[o + 3] << 24); };
  uint32_t header = (uint32_t)rd32(0);
  int32_t width = rd32(4), height = rd32(8);
  int bits = p[14] | p[15] << 8;
  if (header < 40 || header > size || width <= 0 || width > 8192 || height == 0 || height > 8192 || height < -8192 ||
      (bits != 24 && bits != 32))
    return nullptr;
  bool bottomUp = height > 0;
  int rows = bottomUp ? height : -height;
  size_t stride = ((size_t)width * (bits / 8) + 3) & ~(size_t)3;
  if (header + stride * rows > size) return nullptr;
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, rows);
  if (!pb) return nullptr;
  guchar* out = gdk_pixbuf_get_pixels(pb);
  int outStride = gdk_pixbuf_get_rowstride(pb);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* src = p + header + stride * (bottomUp ? rows - 1 - y : y);
    guchar* dst = out + (size_t)outStride * y;
    for (int x = 0; x < width; ++x) {
      const uint8_t* s = src + (size_t)x * (bits / 8);
      dst[3 * x] = s[2];
      dst[3 * x + 1] = s[1];
      dst[3 * x + 2] = s[0];
    }
  }
  return pb;
}

struct DialogState {
  HWND dialog;
  DLGPROC proc;
};

void onButton(GtkButton* button, gpointer data) {
  auto* st = static_cast<DialogState*>(data);
  WORD id = (WORD)GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(button), "vs-id"));
  st->proc(st->dialog, WM_COMMAND, MAKEWPARAM(id, 0), (LPARAM)0);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* st = static_cast<DialogState*>(data);
  st->proc(st->dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  // A procedure that ignores IDCANCEL still lets the user close the box.
  Window* w = findWindow(st->dialog);
  if (w && !w->dialogEnded) EndDialog(st->dialog, IDCANCEL);
  return TRUE;
}

}  // namespace

WORD gtkPopupMenu(SDL_Window* window, HMENU handle) {
  if (!window || !ensureGtk()) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return 0;
  GdkWindow* parent = gdk_x11_window_foreign_new_for_display(display, info.info.x11.window);
  if (!parent) return 0;
  PopupState st;
  GtkWidget* menu = buildMenu(handle, &st);
  g_signal_connect(menu, "deactivate", G_CALLBACK(onDeactivate), &st);
  gtk_widget_show_all(menu);
  GdkRectangle at = {0, 0, 1, 1};
  // The keyboard opened the menu: GTK wants an event to grab from, so it
  // gets a key press of the window's own.
  GdkEvent* trigger = gdk_event_new(GDK_KEY_PRESS);
  trigger->key.window = GDK_WINDOW(g_object_ref(parent));
  trigger->key.time = GDK_CURRENT_TIME;
  if (GdkSeat* seat = gdk_display_get_default_seat(display)) gdk_event_set_device(trigger, gdk_seat_get_keyboard(seat));
  gtk_menu_popup_at_rect(GTK_MENU(menu), parent, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  gdk_event_free(trigger);
  drainGtk();
  if (gtk_widget_get_visible(menu)) {
    st.loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(st.loop);
    g_main_loop_unref(st.loop);
    st.loop = nullptr;
  }
  drainGtk();
  gtk_widget_destroy(menu);
  drainGtk();
  g_object_unref(parent);
  return st.chosen;
}

void gtkRunDialog(HWND dialog, HWND owner, const DialogDef& def, DLGPROC proc, LPARAM param) {
  if (!ensureGtk()) {
    EndDialog(dialog, -1);
    return;
  }
  // Dialog units of an 8-point shell font: 4 across and 8 down per base unit.
  auto px = [](int du) { return du * 6 / 4; };
  auto py = [](int du) { return du * 13 / 8; };
  DialogState st = {dialog, proc};
  GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(win), def.title ? def.title : "");
  gtk_window_set_modal(GTK_WINDOW(win), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(win), FALSE);
  gtk_window_set_position(GTK_WINDOW(win), GTK_WIN_POS_CENTER);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, px(def.cx), py(def.cy));
  gtk_container_add(GTK_CONTAINER(win), fixed);
  for (int i = 0; i < def.controlCount; ++i) {
    const DialogControlDef& c = def.controls[i];
    GtkWidget* w = nullptr;
    if (c.kind == kDialogBitmap) {
      const void* data = nullptr;
      size_t size = 0;
      GdkPixbuf* pb = nullptr;
      if (findProgramResource(RT_BITMAP, MAKEINTRESOURCEA(c.bitmap), &data, &size))
        pb = pixbufFromDib(static_cast<const uint8_t*>(data), size);
      if (pb) {
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pb, px(c.cx), py(c.cy), GDK_INTERP_BILINEAR);
        w = gtk_image_new_from_pixbuf(scaled ? scaled : pb);
        if (scaled) g_object_unref(scaled);
        g_object_unref(pb);
      }
    } else if (c.kind == kDialogButton) {
      w = gtk_button_new_with_label(c.text ? c.text : "");
      gtk_widget_set_size_request(w, px(c.cx), py(c.cy));
      g_object_set_data(G_OBJECT(w), "vs-id", GUINT_TO_POINTER(c.id));
      g_signal_connect(w, "clicked", G_CALLBACK(onButton), &st);
      if (c.id == IDOK) {
        gtk_widget_set_can_default(w, TRUE);
        gtk_window_set_default(GTK_WINDOW(win), w);
      }
    }
    if (w) gtk_fixed_put(GTK_FIXED(fixed), w, px(c.x), py(c.y));
  }
  g_signal_connect(win, "delete-event", G_CALLBACK(onDelete), &st);
  proc(dialog, WM_INITDIALOG, 0, param);
  gtk_widget_show_all(win);
  // The box takes the keyboard, even with no window manager to give it.
  gtk_window_present(GTK_WINDOW(win));
  for (;;) {
    Window* d = findWindow(dialog);
    if (!d || d->dialogEnded) break;
    if (gtk_events_pending()) {
      gtk_main_iteration_do(FALSE);
      continue;
    }
    // As in Windows' modal loop, the owner keeps its timers and its paint
    // (so its frames and sound go on); its input waits, as a disabled
    // window's would.
    MSG m;
    if (owner && (PeekMessageA(&m, owner, WM_TIMER, WM_TIMER, PM_REMOVE) ||
                  PeekMessageA(&m, owner, WM_PAINT, WM_PAINT, PM_REMOVE))) {
      DispatchMessageA(&m);
      continue;
    }
    g_usleep(2000);
  }
  gtk_widget_destroy(win);
  drainGtk();
  // As on Windows, the owner is active again once the box is gone.
  if (owner && IsWindow(owner)) SetForegroundWindow(owner);
}

}  // namespace vsplat
#endif
