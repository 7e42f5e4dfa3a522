// Data compiled into the program: the built-in "default" TrueType font and
// the loading screen's logo (a PNG), both read-only and never freed.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
extern const uint8_t vs_default_font[];
extern const size_t vs_default_font_size;
extern const uint8_t vs_loading_logo[];
extern const size_t vs_loading_logo_size;
}
