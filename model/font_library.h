// The one FreeType library object that every font shares. The program's
// entry creates it before the first window and destroys it at the end.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

// Creates the library (default modules, memory through malloc/free); true
// when it exists afterwards.
bool MDL_createFontLibrary();
void MDL_destroyFontLibrary();
// Null before creation or after destruction.
FT_Library MDL_fontLibrary();
