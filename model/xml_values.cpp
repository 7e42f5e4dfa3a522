#include "model/xml_values.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed elements are little-endian bytes copied as they are");

namespace {

// Each character's nibble; kSkip for every other character, kEnd for the
// terminating NUL.
constexpr unsigned char kSkip = 16, kEnd = 17;
struct NibbleTable {
  unsigned char value[256];
  constexpr NibbleTable() : value() {
    for (int c = 0; c < 256; ++c) value[c] = kSkip;
    value[0] = kEnd;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<unsigned char>(c - 'a' + 10);
  }
};
constexpr NibbleTable kNibbles;

inline unsigned nibbleOf(const char* p) { return kNibbles.value[static_cast<unsigned char>(*p)]; }

inline bool isDelimiter(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n'; }

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

namespace {

// Sixteen characters at p (all readable): the pairs of digits before the
// first character that is not a digit are decoded into out. Returns how
// many characters were used, an even number from 0 to 16.
inline int decodeRun(const char* p, unsigned char* out) {
#ifdef __SSE2__
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Signed compares: characters from 0x80 up are negative and match neither range.
  const __m128i numeral =
      _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
  const __m128i letter =
      _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('f' + 1)));
  const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(numeral, letter)));
  const int pairs = __builtin_ctz(~digits) / 2;  // bit 16 of ~digits is always set
  if (pairs == 0) return 0;
  // '0'..'9' have their value in the low four bits, 'a'..'f' that value less 9.
  const __m128i nibbles = _mm_add_epi8(_mm_and_si128(c, _mm_set1_epi8(15)), _mm_and_si128(letter, _mm_set1_epi8(9)));
  // Each 16-bit lane holds a pair: the high digit in its low byte.
  const __m128i bytes =
      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0xFF)), 4), _mm_srli_epi16(nibbles, 8));
  if (pairs == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(bytes, bytes));
  } else {
    unsigned char all[8];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(all), _mm_packus_epi16(bytes, bytes));
    std::memcpy(out, all, static_cast<size_t>(pairs));
  }
  return 2 * pairs;
#else
  int pairs = 0;
  for (; pairs < 8; ++pairs) {
    const unsigned high = nibbleOf(p + 2 * pairs), low = nibbleOf(p + 2 * pairs + 1);
    if (high > 15 || low > 15) break;
    out[pairs] = static_cast<unsigned char>(high << 4 | low);
  }
  return 2 * pairs;
#endif
}

// Decodes up to byteCount bytes. Every character before readable is known
// to be there (not past the text's end), so runs of up to sixteen digits
// are taken at once while they fit before it; elsewhere one pair at a time.
const char* decodeHex(const char* p, const char* readable, int byteCount, unsigned char* out, int* decoded) {
  int done = 0;
  while (done < byteCount) {
    if (byteCount - done >= 8 && readable - p >= 16) {
      const int used = decodeRun(p, out + done);
      p += used;
      done += used / 2;
      if (used == 16) continue;
    } else {
      // An unbroken pair of digits.
      const unsigned high = nibbleOf(p);
      if (high < 16) {
        const unsigned low = nibbleOf(p + 1);
        if (low < 16) {
          out[done++] = static_cast<unsigned char>((high << 4) | low);
          p += 2;
          continue;
        }
      }
    }
    if (done == byteCount) break;
    // Otherwise one character at a time: separators are skipped, and a
    // high digit waits across them for its low one.
    int pending = -1;
    while (true) {
      const unsigned nibble = nibbleOf(p);
      if (nibble == kEnd) {
        *decoded = done;
        return p;
      }
      ++p;
      if (nibble == kSkip) continue;
      if (pending < 0) {
        pending = static_cast<int>(nibble);
      } else {
        out[done++] = static_cast<unsigned char>((pending << 4) | nibble);
        break;
      }
    }
  }
  *decoded = done;
  return p;
}

// How far past p the text may be read when about `bytes` bytes of digits
// are wanted: up to its end, looking no further than the digits with room
// for separators, so that many short reads along one text stay linear.
const char* readableEnd(const char* p, int64_t bytes) {
  if (bytes < 8) return p;
  return p + strnlen(p, static_cast<size_t>(bytes) * 4 + 64);
}

}  // namespace

const char* hexDecode(const char* text, int byteCount, unsigned char* out, int* decoded) {
  *decoded = 0;
  if (!text) return text;
  return decodeHex(text, readableEnd(text, byteCount), byteCount, out, decoded);
}

namespace {

// Decodes up to n elements of `size` bytes, handing each little-endian
// element's bytes to store(i, bytes); stops at the end of the text, where an
// element cut short is not stored. Returns where reading stopped. The
// digits go through a small buffer a block of elements at a time.
template <class Store>
const char* decodeElements(const char* p, int size, int n, Store store) {
  constexpr int kBlock = 4096;
  unsigned char bytes[kBlock];
  const int perBlock = kBlock / size;
  const char* readable = readableEnd(p, int64_t{n} * size);
  for (int i = 0; i < n && *p;) {
    const int want = n - i < perBlock ? n - i : perBlock;
    int got = 0;
    p = decodeHex(p, readable, want * size, bytes, &got);
    const int whole = got / size;
    for (int j = 0; j < whole; ++j) store(i + j, bytes + j * size);
    if (whole < want) break;
    i += whole;
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
  if (size == 8)
    return decodeElements(text, 8, n, [out](int i, const unsigned char* b) { std::memcpy(&out[i], b, 8); });
  return decodeElements(text, 4, n, [out](int i, const unsigned char* b) {
    float f;
    std::memcpy(&f, b, 4);
    out[i] = f;
  });
}

const char* readIntArray(const char* text, int size, int n, int32_t* out) {
  if (!text || (size != 4 && size != 2)) return text;
  if (size == 4)
    return decodeElements(text, 4, n, [out](int i, const unsigned char* b) { std::memcpy(&out[i], b, 4); });
  return decodeElements(text, 2, n, [out](int i, const unsigned char* b) {
    const int32_t v = b[0] | (b[1] << 8);
    out[i] = v == 0xFFFF ? -1 : v;
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
