// What the model fuzz targets leave out before they read a text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include <tinyxml.h>

#include "model/xml_values.h"

// Counts and sizes up to the loader's ceiling are honoured by design, so a
// few bytes can ask for hundreds of megabytes of zeroed arrays: fine for the
// player, but past the fuzzer's time and memory limits under the sanitizers.
// Texts whose counts and sizes add up to more than a million are left out.
inline bool asksForLittle(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str());
  int64_t total = 0;
  const TiXmlNode* node = doc.FirstChild();
  while (node) {
    if (const TiXmlElement* e = node->ToElement()) {
      for (const char* name : {"count", "size"}) {
        int n = 0;
        if (intAttribute(e, name, &n) && n > 0 && (total += n) > (1 << 20)) return false;
      }
    }
    // Depth first without recursion: down, else on, else up and on.
    if (node->FirstChild()) {
      node = node->FirstChild();
      continue;
    }
    while (node && !node->NextSibling()) node = node->Parent();
    if (node) node = node->NextSibling();
  }
  return true;
}
