#include "model/xml_values.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

namespace {

inline int hexNibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

inline bool isDelimiter(char c) {
  return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}

// A decimal integer as "%d" reads it (leading space, sign, digits), with a
// value past the int range held at the nearest end instead of wrapping: a
// count of 5000000000 stays too large, it does not turn into a small one.
// False when s holds no number.
bool parseInt(const char* s, int* out) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s) return false;
  *out = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  return true;
}

}  // namespace

const char* hexDecode(const char* text, int byteCount, unsigned char* out, int* decoded) {
  *decoded = 0;
  if (!text) return text;
  const char* p = text;
  int done = 0;
  int high = -1;
  while (done < byteCount && *p) {
    int nibble = hexNibble(*p++);
    if (nibble < 0) continue;
    if (high < 0) {
      high = nibble;
    } else {
      out[done++] = static_cast<unsigned char>((high << 4) | nibble);
      high = -1;
    }
  }
  *decoded = done;
  return p;
}

namespace {

// Decodes one element of `size` bytes and assembles it little-endian. An
// element cut short by the end of the text is not stored.
const char* decodeElement(const char* text, int size, uint64_t* value, bool* complete) {
  unsigned char bytes[8];
  int got = 0;
  const char* end = hexDecode(text, size, bytes, &got);
  *complete = got == size;
  if (!*complete) return end;
  uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | bytes[i];
  *value = v;
  return end;
}

// Decodes up to n elements, handing each to store(i, bits); stops at the end
// of the text or at an element cut short. Returns where reading stopped.
template <class Store>
const char* decodeElements(const char* p, int size, int n, Store store) {
  for (int i = 0; i < n && *p; ++i) {
    uint64_t bits = 0;
    bool complete = false;
    p = decodeElement(p, size, &bits, &complete);
    if (!complete) break;
    store(i, bits);
  }
  return p;
}

// Skips delimiters; returns the start of the next token or null at the end.
const char* nextToken(const char* p) {
  while (*p && isDelimiter(*p)) ++p;
  return *p ? p : nullptr;
}

const char* skipToken(const char* p) {
  while (*p && !isDelimiter(*p)) ++p;
  return p;
}

// A token of whitespace that is not a delimiter (form feed, vertical tab):
// atof/atoi would skip it and the delimiters after it and read the next
// token's number, where the token on its own converts to 0.
bool blankToken(const char* p, const char* end) {
  for (; p < end; ++p)
    if (!std::isspace(static_cast<unsigned char>(*p))) return false;
  return true;
}

}  // namespace

const char* hexDecode(const char* text, int byteCount, unsigned char* out) {
  int decoded;
  return hexDecode(text, byteCount, out, &decoded);
}

const char* readRealArray(const char* text, int size, int n, double* out) {
  if (!text || (size != 8 && size != 4)) return text;
  return decodeElements(text, size, n, [&](int i, uint64_t bits) {
    if (size == 8) {
      std::memcpy(&out[i], &bits, 8);
    } else {
      uint32_t b32 = static_cast<uint32_t>(bits);
      float f;
      std::memcpy(&f, &b32, 4);
      out[i] = f;
    }
  });
}

const char* readIntArray(const char* text, int size, int n, int32_t* out) {
  if (!text || (size != 4 && size != 2)) return text;
  return decodeElements(text, size, n, [&](int i, uint64_t bits) {
    if (size == 4) {
      uint32_t b32 = static_cast<uint32_t>(bits);
      std::memcpy(&out[i], &b32, 4);
    } else {
      out[i] = bits == 0xFFFF ? -1 : static_cast<int32_t>(bits);
    }
  });
}

// A number atof/atoi accept never contains a delimiter, so converting in
// place gives what converting a copy cut at the token's end would, except
// for a blank token, which is 0.
int readReals(const char* text, double* out, int n) {
  if (!text) return 0;
  int stored = 0;
  const char* p = text;
  while (stored < n && (p = nextToken(p))) {
    const char* end = skipToken(p);
    out[stored++] = blankToken(p, end) ? 0.0 : std::atof(p);
    p = end;
  }
  return stored;
}

int readInt(const char* text, int* out) {
  if (!text) return 0;
  const char* p = nextToken(text);
  if (!p) return 0;
  int v = 0;
  if (!blankToken(p, skipToken(p))) parseInt(p, &v);  // a token that is no number reads 0, as atoi
  *out = v;
  return 1;
}

const char* elementText(const TiXmlElement* element) {
  if (!element) return nullptr;
  const TiXmlNode* first = element->FirstChild();
  if (!first) return nullptr;
  const TiXmlText* text = first->ToText();
  return text ? text->Value() : nullptr;
}

bool readRealsChild(const TiXmlElement* element, const char* child, double* out, int n) {
  if (!element) return false;
  const TiXmlElement* c = element->FirstChildElement(child);
  if (!c) return false;
  return readReals(elementText(c), out, n) == n;
}

bool readBoolChild(const TiXmlElement* element, const char* child, bool* out) {
  if (!element) return false;
  const TiXmlElement* c = element->FirstChildElement(child);
  if (!c) return false;
  int value = 0;
  if (readInt(elementText(c), &value) != 1) return false;
  *out = value != 0;
  return true;
}

bool intAttribute(const TiXmlElement* element, const char* name, int* out) {
  const char* s = element ? element->Attribute(name) : nullptr;
  return s && parseInt(s, out);
}

bool realAttribute(const TiXmlElement* element, const char* name, double* out) {
  const char* s = element ? element->Attribute(name) : nullptr;
  double v;
  if (!s || std::sscanf(s, "%lf", &v) != 1) return false;
  *out = v;
  return true;
}
