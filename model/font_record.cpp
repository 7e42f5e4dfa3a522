#include "model/font_record.h"

#include <cstdlib>
#include <cstring>

#include "assets/assets.h"
#include "core/debug_log.h"
#include "model/font_library.h"
#include "model/object.h"
#include "model/resource_id.h"

bool MDL_isDefaultFontName(const char* name) {
  static const char kDefault[] = "default";
  if (!name) return false;
  for (int i = 0; i < 7; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kDefault[i]) return false;  // also stops at the name's end
  }
  return true;
}

FontRecord::FontRecord(const char* fontName, const uint8_t* bytes, int32_t byteCount, bool ownsBytes)
    : data(bytes), size(byteCount), owns(ownsBytes) {
  name = MDL_copyString(fontName);
  id = MDL_nextResourceId();
  if (MDL_isDefaultFontName(fontName)) {
    // Nothing keeps the replaced bytes, so owned ones go now; the
    // built-in data belongs to the program and is never freed.
    if (owns) std::free(const_cast<uint8_t*>(data));
    data = vs_default_font;
    size = static_cast<int32_t>(vs_default_font_size);
    owns = false;
  }
  FT_Library library = MDL_fontLibrary();
  if (!library) return;
  const FT_Error error = data && size > 0 ? FT_New_Memory_Face(library, data, size, 0, &face) : FT_Err_Invalid_Argument;
  if (error != 0) {
    face = nullptr;
    debugPrintf("Font %s: FreeType cannot read it (error %d)", name ? name : "", error);
    return;
  }
  // Text is drawn from outlines at any size: a face of fixed bitmaps only
  // would draw nothing, so it is refused.
  if (!FT_IS_SCALABLE(face)) {
    debugPrintf("Font %s: it has bitmaps only and no outlines: refused", name ? name : "");
    FT_Done_Face(face);
    face = nullptr;
    return;
  }
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
}

void FontRecord::destroy() {
  if (face) FT_Done_Face(face);
  face = nullptr;
  std::free(name);
  name = nullptr;
  if (owns) std::free(const_cast<uint8_t*>(data));
  data = nullptr;
  size = 0;
  owns = false;
  proxy.release();
}
