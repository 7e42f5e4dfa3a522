#include "model/font_library.h"

#include <cstdlib>

#include FT_MODULE_H

namespace {

FT_Library g_library = nullptr;

void* ftAlloc(FT_Memory, long size) { return malloc((size_t)size); }
void ftFree(FT_Memory, void* block) { free(block); }
void* ftRealloc(FT_Memory, long, long size, void* block) { return realloc(block, (size_t)size); }

FT_MemoryRec_ g_memory = {nullptr, ftAlloc, ftFree, ftRealloc};

}  // namespace

bool MDL_createFontLibrary() {
  if (g_library) return true;
  if (FT_New_Library(&g_memory, &g_library) != 0) {
    g_library = nullptr;
    return false;
  }
  FT_Add_Default_Modules(g_library);
  return true;
}

void MDL_destroyFontLibrary() {
  if (g_library) FT_Done_Library(g_library);
  g_library = nullptr;
}

FT_Library MDL_fontLibrary() { return g_library; }
