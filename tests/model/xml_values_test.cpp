#include "model/xml_values.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct RealCase {
  const char* text;
  int size;
  int n;
  double want[3];
};

TEST(XmlValues, PackedRealsDecodeLittleEndianAndSkipSeparators) {
  const RealCase cases[] = {
      {"000000000000f03f", 8, 1, {1.0}},
      {"0000803f", 4, 1, {1.0}},
      {"00000000 0000f03f\n000000000000\r\n0040", 8, 2, {1.0, 2.0}},
      {"0000c0bf,0000803f", 4, 2, {-1.5, 1.0}},
      // Upper-case letters are separators, not digits.
      {"00XX0080F3f", 4, 1, {1.0}},
  };
  for (const RealCase& c : cases) {
    double out[3] = {7, 7, 7};
    readRealArray(c.text, c.size, c.n, out);
    for (int i = 0; i < c.n; ++i) EXPECT_EQ(out[i], c.want[i]) << c.text << " [" << i << "]";
    EXPECT_EQ(out[c.n], 7) << "wrote past n for " << c.text;
  }
}

TEST(XmlValues, PackedIntegers) {
  int32_t out[4] = {9, 9, 9, 9};
  readIntArray("ffff0100", 2, 2, out);
  EXPECT_EQ(out[0], -1);
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[2], 9);

  readIntArray("ffffffff 02000000 feff0000", 4, 3, out);
  EXPECT_EQ(out[0], -1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 65534);

  // An unknown element size reads nothing and leaves the text where it was.
  const char* text = "01000000";
  EXPECT_EQ(readIntArray(text, 3, 1, out), text);
  EXPECT_EQ(out[0], -1);
  double d = 4;
  EXPECT_EQ(readRealArray(text, 2, 1, &d), text);
  EXPECT_EQ(d, 4);
}

TEST(XmlValues, HexDecodeStopsAtCountOrEndAndReportsPosition) {
  unsigned char out[4] = {0, 0, 0, 0};
  const char* text = "0a 0b 0c";
  const char* end = hexDecode(text, 2, out);
  EXPECT_EQ(out[0], 0x0a);
  EXPECT_EQ(out[1], 0x0b);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(end - text, 5);  // just after the 'b'
  // Continuing from there reads the rest.
  end = hexDecode(end, 4, out + 2);
  EXPECT_EQ(out[2], 0x0c);
  EXPECT_EQ(*end, '\0');

  unsigned char none = 0x55;
  EXPECT_EQ(hexDecode(text, 0, &none), text);
  hexDecode("FF", 1, &none);
  EXPECT_EQ(none, 0x55);
}

TEST(XmlValues, ConsecutivePackedReadsContinueWhereTheLastEnded) {
  const char* text = "0100 0200 ffff 0300";
  int32_t a[2], b[2];
  const char* p = readIntArray(text, 2, 2, a);
  readIntArray(p, 2, 2, b);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 2);
  EXPECT_EQ(b[0], -1);
  EXPECT_EQ(b[1], 3);
}

TEST(XmlValues, ShortPackedTextLeavesTheRestUntouched) {
  double out[2] = {5, 5};
  readRealArray("000000000000f03f000000", 8, 2, out);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_EQ(out[1], 5);
}

// Long packed arrays against the rule written out plainly: keep the
// lowercase digits, pair them high first, and build little-endian elements;
// an element the text cuts short is not stored, and reading stops just
// after the last digit used. Separators fall anywhere, inside pairs too.
TEST(XmlValues, LongPackedArraysFollowTheDigitRule) {
  uint32_t seed = 99;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  const char* separators[] = {" ", "\n", "\r\n", ",", "X", "F", "  \t", "\xc3\xa9"};
  for (int round = 0; round < 40; ++round) {
    const int sizes[] = {8, 4, 2};
    const int size = sizes[round % 3];
    const int n = 1 + static_cast<int>(next(3000));
    std::string text, digits;
    std::vector<size_t> after;  // text length after each digit
    for (int i = 0; i < n * size * 2; ++i) {
      if (next(round % 2 ? 3 : 40) == 0) text += separators[next(8)];
      digits += "0123456789abcdef"[next(16)];
      text += digits.back();
      after.push_back(text.size());
    }
    // Some rounds end early, some inside an element, some with a tail.
    if (round % 4 == 1) {
      const size_t keep = next(static_cast<uint32_t>(digits.size()));
      digits.resize(keep);
      text.resize(keep ? after[keep - 1] : 0);
    } else if (round % 4 == 2) {
      text += " 0a0b";
    }
    auto byteAt = [&digits](size_t i) { return std::stoi(digits.substr(2 * i, 2), nullptr, 16); };
    const int whole = std::min<int>(n, static_cast<int>(digits.size() / 2 / size));
    const size_t used = whole == n ? after[n * size * 2 - 1] : text.size();
    const char* end = nullptr;
    if (size == 2) {
      std::vector<int32_t> out(n + 1, 7);
      end = readIntArray(text.c_str(), 2, n, out.data());
      for (int i = 0; i < whole; ++i) {
        const int v = byteAt(2 * i) | byteAt(2 * i + 1) << 8;
        ASSERT_EQ(out[i], v == 0xFFFF ? -1 : v) << round << " " << i;
      }
      for (int i = whole; i <= n; ++i) ASSERT_EQ(out[i], 7) << round << " " << i;
    } else {
      std::vector<double> out(n + 1, 7);
      end = readRealArray(text.c_str(), size, n, out.data());
      for (int i = 0; i < whole; ++i) {
        unsigned char b[8];
        for (int k = 0; k < size; ++k) b[k] = static_cast<unsigned char>(byteAt(size * i + k));
        double want;
        if (size == 8) {
          std::memcpy(&want, b, 8);
        } else {
          float f;
          std::memcpy(&f, b, 4);
          want = f;
        }
        ASSERT_TRUE(std::memcmp(&out[i], &want, 8) == 0) << round << " " << i;
      }
      for (int i = whole; i <= n; ++i) ASSERT_EQ(out[i], 7) << round << " " << i;
    }
    EXPECT_EQ(static_cast<size_t>(end - text.c_str()), used) << round;
  }
}

TEST(XmlValues, TextLists) {
  double out[4] = {0, 0, 0, 9};
  EXPECT_EQ(readReals("1, 2,\t3", out, 3), 3);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(out[3], 9);

  double two[3] = {0, 0, 8};
  EXPECT_EQ(readReals("  1 2\r\n", two, 3), 2);
  EXPECT_EQ(two[2], 8);

  double big[2];
  EXPECT_EQ(readReals("1.5e2,-0.25,7", big, 2), 2);
  EXPECT_EQ(big[0], 150);
  EXPECT_EQ(big[1], -0.25);
  EXPECT_EQ(readReals(nullptr, big, 2), 0);
  EXPECT_EQ(readReals(" , ", big, 2), 0);

  int i = 3;
  EXPECT_EQ(readInt(" 42 17", &i), 1);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(readInt("\n", &i), 0);
  EXPECT_EQ(i, 42);
}

// A character reference can put a form feed or vertical tab between the
// delimiters: that token is a number of its own (0), as it would be when
// cut out of the text, not a run-in to the next token.
TEST(XmlValues, TokensOfOtherWhitespaceReadAsZero) {
  TiXmlDocument doc;
  doc.Parse("<v><list>1 &#12; 2</list><last>4 5 &#11;</last><flag>&#11; 7</flag></v>");
  const TiXmlElement* e = doc.RootElement();
  ASSERT_NE(e, nullptr);
  double out[3] = {9, 9, 9};
  EXPECT_TRUE(readRealsChild(e, "list", out, 3));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 2);
  EXPECT_TRUE(readRealsChild(e, "last", out, 3));
  EXPECT_EQ(out[2], 0);
  bool b = true;
  EXPECT_TRUE(readBoolChild(e, "flag", &b));
  EXPECT_FALSE(b);
}

TEST(XmlValues, ChildReaders) {
  TiXmlDocument doc;
  doc.Parse(
      "<lamp><color>0.5 0.25 1</color><short>1 2</short><empty/>"
      "<flag>0</flag><on>7</on><junk>x</junk></lamp>");
  const TiXmlElement* e = doc.RootElement();
  ASSERT_NE(e, nullptr);

  double c[3] = {0, 0, 0};
  EXPECT_TRUE(readRealsChild(e, "color", c, 3));
  EXPECT_EQ(c[0], 0.5);
  EXPECT_EQ(c[2], 1);
  EXPECT_FALSE(readRealsChild(e, "short", c, 3));
  EXPECT_EQ(c[0], 1);  // a short list still stores what it had
  EXPECT_EQ(c[2], 1);
  double m = 3;
  EXPECT_FALSE(readRealsChild(e, "missing", &m, 1));
  EXPECT_FALSE(readRealsChild(e, "empty", &m, 1));
  EXPECT_EQ(m, 3);

  bool b = true;
  EXPECT_TRUE(readBoolChild(e, "flag", &b));
  EXPECT_FALSE(b);
  EXPECT_TRUE(readBoolChild(e, "on", &b));
  EXPECT_TRUE(b);
  b = false;
  EXPECT_FALSE(readBoolChild(e, "missing", &b));
  EXPECT_FALSE(readBoolChild(e, "empty", &b));
  EXPECT_FALSE(b);
  // atoi of a non-number is 0, and a token was read.
  b = true;
  EXPECT_TRUE(readBoolChild(e, "junk", &b));
  EXPECT_FALSE(b);
}

TEST(XmlValues, Attributes) {
  TiXmlDocument doc;
  doc.Parse("<v count=\"12\" size=\"x\" time=\"0.5\"/>");
  const TiXmlElement* e = doc.RootElement();
  int n = -5;
  EXPECT_TRUE(intAttribute(e, "count", &n));
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(intAttribute(e, "size", &n));
  EXPECT_FALSE(intAttribute(e, "missing", &n));
  EXPECT_EQ(n, 12);
  double t = 0;
  EXPECT_TRUE(realAttribute(e, "time", &t));
  EXPECT_EQ(t, 0.5);
}

// Integer attributes read as "%d" would for every int, and hold a value past
// the int range at its nearest end instead of wrapping (so a huge count
// stays huge and is refused, never a small count that loads garbage).
TEST(XmlValues, IntegerAttributesAndOutOfRangeValues) {
  struct Case {
    const char* text;
    bool read;
    int want;
  } cases[] = {
      {"12", true, 12},
      {" \t-3", true, -3},
      {"+5", true, 5},
      {"12abc", true, 12},
      {"0x10", true, 0},
      {"007", true, 7},
      {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
      {"2147483648", true, INT_MAX},
      {"4294967296", true, INT_MAX},
      {"4294967299", true, INT_MAX},
      {"-2147483649", true, INT_MIN},
      {"99999999999999999999999", true, INT_MAX},
      {"-99999999999999999999999", true, INT_MIN},
      {"", false, 0},
      {"x", false, 0},
      {"-", false, 0},
      {"  ", false, 0},
  };
  for (const Case& c : cases) {
    TiXmlElement e("v");
    e.SetAttribute("count", c.text);
    int n = -77;
    EXPECT_EQ(intAttribute(&e, "count", &n), c.read) << c.text;
    EXPECT_EQ(n, c.read ? c.want : -77) << c.text;
  }
}

// A boolean child past the int range is still non-zero.
TEST(XmlValues, OutOfRangeIntegersInTextHoldTheirSign) {
  TiXmlDocument doc;
  doc.Parse("<m><a>4294967296</a><b>-99999999999999999999</b><c>0</c></m>");
  const TiXmlElement* m = doc.RootElement();
  bool a = false, b = false, c = true;
  EXPECT_TRUE(readBoolChild(m, "a", &a));
  EXPECT_TRUE(readBoolChild(m, "b", &b));
  EXPECT_TRUE(readBoolChild(m, "c", &c));
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
  EXPECT_FALSE(c);
  int v = 0;
  EXPECT_EQ(readInt("  8589934593,1", &v), 1);
  EXPECT_EQ(v, INT_MAX);
  EXPECT_EQ(readInt("-8589934593", &v), 1);
  EXPECT_EQ(v, INT_MIN);
}

}  // namespace

namespace {

TEST(XmlValues, TextListAndPackedFormsOfTheSameNumbersAgree) {
  // 0.5, -2, 1e3, 0.25 as text, as doubles and as floats.
  const char* text = "0.5,-2 1e3\n0.25";
  const char* doubles = "000000000000e03f 00000000000000c0 0000000000408f40 000000000000d03f";
  const char* floats = "0000003f000000c0 00007a440000803e";
  double a[4], b[4], c[4];
  ASSERT_EQ(readReals(text, a, 4), 4);
  readRealArray(doubles, 8, 4, b);
  readRealArray(floats, 4, 4, c);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a[i], b[i]) << i;
    EXPECT_EQ(a[i], c[i]) << i;
  }
}

}  // namespace
