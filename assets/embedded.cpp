// The font and the logo are taken into the object file as they are at build
// time (the font from the system's fonts-dejavu-core, never committed).
#include "assets/assets.h"

#if !defined(VS_DEFAULT_FONT_FILE) || !defined(VS_LOADING_LOGO_FILE)
#error "the build names the font and logo files"
#endif

#define VS_EMBED(name, file)                  \
  __asm__(                                    \
      ".section .rodata\n"                    \
      ".balign 16\n"                          \
      ".global " #name                        \
      "\n"                                    \
      ".type " #name ", @object\n" #name      \
      ":\n"                                   \
      ".incbin \"" file "\"\n" #name          \
      "_end:\n"                               \
      ".byte 0\n"                             \
      ".balign 8\n"                           \
      ".global " #name                        \
      "_size\n"                               \
      ".type " #name "_size, @object\n" #name \
      "_size:\n"                              \
      ".quad " #name "_end - " #name          \
      "\n"                                    \
      ".previous\n")

VS_EMBED(vs_default_font, VS_DEFAULT_FONT_FILE);
VS_EMBED(vs_loading_logo, VS_LOADING_LOGO_FILE);
