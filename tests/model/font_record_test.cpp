#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "assets/assets.h"
#include "fake_proxy.h"
#include "model/font_library.h"
#include "model/font_record.h"
#include "platform/testing.h"

namespace {

// A TrueType font from a Debian package (fonts-dejavu-core), not the face
// built into the player.
const char kPackageFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

std::vector<uint8_t> readFileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint8_t* mallocCopy(const std::vector<uint8_t>& bytes, size_t n) {
  uint8_t* block = static_cast<uint8_t*>(std::malloc(n ? n : 1));
  std::memcpy(block, bytes.data(), n);
  return block;
}

class FontRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(MDL_createFontLibrary()); }
};

TEST_F(FontRecordTest, APackageFontGetsItsOwnFaceWithTheUnicodeMap) {
  std::vector<uint8_t> bytes = readFileBytes(kPackageFont);
  ASSERT_GT(bytes.size(), 1000u);
  FontRecord font("serif.ttf", mallocCopy(bytes, bytes.size()), static_cast<int32_t>(bytes.size()), true);
  ASSERT_NE(font.face, nullptr);
  EXPECT_STREQ(font.face->family_name, "DejaVu Serif");
  ASSERT_NE(font.face->charmap, nullptr);
  EXPECT_EQ(font.face->charmap->encoding, FT_ENCODING_UNICODE);
  EXPECT_STREQ(font.name, "serif.ttf");
  EXPECT_TRUE(font.owns);
  EXPECT_NE(font.data, vs_default_font);
  EXPECT_EQ(font.currentSize, -1.0);
  EXPECT_EQ(font.flags, 3);
}

TEST_F(FontRecordTest, NamesBeginningWithDefaultUseTheBuiltInFace) {
  std::vector<uint8_t> bytes = readFileBytes(kPackageFont);
  for (const char* name : {"Default", "DEFAULT.ttf", "defaultish"}) {
    // Owned bytes that are replaced are freed (the sanitizer run sees a
    // leak otherwise); the built-in data is never owned.
    FontRecord font(name, mallocCopy(bytes, bytes.size()), static_cast<int32_t>(bytes.size()), true);
    EXPECT_EQ(font.data, vs_default_font) << name;
    EXPECT_EQ(font.size, static_cast<int32_t>(vs_default_font_size)) << name;
    EXPECT_FALSE(font.owns) << name;
    ASSERT_NE(font.face, nullptr) << name;
    EXPECT_STREQ(font.face->family_name, "DejaVu Sans") << name;
  }
  for (const char* name : {"defaul", "xdefault", "",
                           "d\xC3\xa9"
                           "fault"})
    EXPECT_FALSE(MDL_isDefaultFontName(name)) << name;
  EXPECT_FALSE(MDL_isDefaultFontName(nullptr));
}

TEST_F(FontRecordTest, BytesThatAreNoFontLeaveAValidRecordWithoutFace) {
  std::vector<uint8_t> bytes = readFileBytes(kPackageFont);
  std::vector<uint8_t> garbage(4096, 0xA5);
  struct Case {
    const char* what;
    const std::vector<uint8_t>* bytes;
    size_t size;
  } cases[] = {
      {"empty", &bytes, 0},
      {"header only", &bytes, 12},
      {"truncated tables", &bytes, 400},
      {"noise", &garbage, garbage.size()},
  };
  for (const Case& c : cases) {
    vsplat::DebugCapture log;
    FontRecord font("broken.ttf", mallocCopy(*c.bytes, c.size), static_cast<int32_t>(c.size), true);
    EXPECT_EQ(font.face, nullptr) << c.what;
    EXPECT_STREQ(font.name, "broken.ttf") << c.what;
    EXPECT_GT(font.id, 0) << c.what;
    EXPECT_EQ(log.text().find("Font broken.ttf: FreeType cannot read it"), 0u) << c.what;
  }
}

TEST_F(FontRecordTest, AFontOfBitmapsOnlyIsRefusedAndSaysSo) {
  // Terminus as bitmap-only OpenType, from the fonts-terminus-otb package.
  std::vector<uint8_t> bytes = readFileBytes("/usr/share/fonts/opentype/terminus/terminus-normal.otb");
  ASSERT_GT(bytes.size(), 1000u) << "fonts-terminus-otb is missing (scripts/setup installs it)";
  vsplat::DebugCapture log;
  FontRecord font("terminus.otb", mallocCopy(bytes, bytes.size()), static_cast<int32_t>(bytes.size()), true);
  EXPECT_EQ(font.face, nullptr);
  EXPECT_EQ(log.text(), "Font terminus.otb: it has bitmaps only and no outlines: refused\n");
  // An outline font logs nothing.
  log.clear();
  std::vector<uint8_t> serif = readFileBytes(kPackageFont);
  FontRecord good("serif.ttf", mallocCopy(serif, serif.size()), static_cast<int32_t>(serif.size()), true);
  EXPECT_NE(good.face, nullptr);
  EXPECT_EQ(log.text(), "");
}

TEST_F(FontRecordTest, EachRecordTakesTheNextIdAndDestroyEmptiesItOnce) {
  FontRecord a("a", nullptr, 0, false);
  FontRecord b("b", nullptr, 0, false);
  EXPECT_EQ(b.id, a.id + 1);

  FakeProxyHooks hooks;
  FakeProxy proxy;
  b.proxy.assign(&proxy.base());
  ASSERT_EQ(proxy.count, 1);
  b.destroy();
  EXPECT_EQ(proxy.count, 0);
  EXPECT_EQ(b.name, nullptr);
  EXPECT_EQ(b.face, nullptr);
  b.destroy();  // and again through the destructor
  EXPECT_EQ(proxy.releases, 1);
}

}  // namespace
