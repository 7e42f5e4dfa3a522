#include "controller/package.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/package_crypto.h"
#include "controller/package_writer.h"
#include "platform/testing.h"
#include "support/test_package.h"

using testpkg::RecordingController;

namespace {

const char kProblem[] = "Problem reading %s.\nCheck with your content provider.";
const char kCorrupted[] = "Error opening the file, the file is corrupted.\nPlease check with your content provider.";
const char kIncompatible[] = "You are trying to open a file not compatible with your player.";

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// The key stream exactly as described: one multiply-with-carry step per
// byte, last byte first.
void referenceScramble(uint8_t* data, size_t size) {
  uint32_t z = 13572468;
  for (size_t i = size; i-- > 0;) {
    z = 18000 * (z & 0xFFFF) + (z >> 16);
    data[i] ^= static_cast<uint8_t>(z & 0xFF);
  }
}

std::unique_ptr<RecordingController> openBytes(const std::vector<uint8_t>& bytes) {
  auto c = std::make_unique<RecordingController>();
  c->openPackage(testpkg::toBuffer(bytes));
  return c;
}

// The one refusal report, the package dropped, the content stopped.
void expectRefused(const RecordingController& c, const char* screenText) {
  EXPECT_EQ(c.package, nullptr);
  EXPECT_TRUE(c.load.stopped);
  ASSERT_EQ(c.formats.size(), 1u);
  EXPECT_EQ(c.formats[0], kProblem);
  ASSERT_FALSE(c.load.failureText.empty());
  EXPECT_STREQ(c.load.failureText.c_str(), screenText);
}

// A raw local header for hand-made (hostile) archives.
void putHeader(std::vector<uint8_t>* a, uint16_t method, uint32_t compressed, uint32_t uncompressed,
               const std::string& name, uint16_t extra = 0, uint16_t nameLength = 0xFFFF) {
  auto put16 = [a](uint32_t v) {
    a->push_back(static_cast<uint8_t>(v));
    a->push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put32(0x04034b50);
  put16(20);
  put16(0);
  put16(method);
  put16(0);
  put16(0);
  put32(0);
  put32(compressed);
  put32(uncompressed);
  put16(nameLength == 0xFFFF ? name.size() : nameLength);
  put16(extra);
  a->insert(a->end(), name.begin(), name.end());
}

std::string readMember(CTRL_Generic& c, const char* name, bool* mustFree = nullptr, bool text = false) {
  uint8_t* data = nullptr;
  int32_t size = -1;
  bool owned = c.readFile(name, &data, &size, text);
  if (mustFree) *mustFree = owned;
  std::string s = data ? std::string(reinterpret_cast<char*>(data), static_cast<size_t>(size)) : "<missing>";
  if (!data) {
    EXPECT_EQ(size, 0);
  }
  if (owned) free(data);
  return s;
}

}  // namespace

TEST(PackageScramble, MatchesTheSerialKeyStreamAndIsItsOwnInverse) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{127}, size_t{128}, size_t{63},
                      size_t{64}, size_t{65}, size_t{1023}, size_t{4099}, size_t{100003}, size_t{1} << 20}) {
    std::string original = randomBytes(size, static_cast<unsigned>(size));
    std::vector<uint8_t> fast(original.begin(), original.end()), slow = fast;
    scramblePackage(fast.data(), fast.size());
    referenceScramble(slow.data(), slow.size());
    ASSERT_EQ(fast, slow) << "size " << size;
    scramblePackage(fast.data(), fast.size());
    EXPECT_EQ(std::string(fast.begin(), fast.end()), original) << "size " << size;
  }
}

TEST(PackageSignature, SignedDigestVerifiesAndAnyOtherDoesNot) {
  const SigningKey& key = testSigningKey();
  uint8_t digest[kDigestSize];
  digestPackage(reinterpret_cast<const uint8_t*>("abc"), 3, digest);
  // RFC 1321's test vector for "abc".
  const uint8_t abc[kDigestSize] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                    0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
  ASSERT_EQ(memcmp(digest, abc, kDigestSize), 0);
  uint8_t signature[kSignatureSize];
  ASSERT_TRUE(signPackageDigest(digest, key.modulus, key.privateExponent, signature));
  EXPECT_TRUE(verifyPackageSignature(digest, signature, key.modulus));
  digest[15] ^= 1;
  EXPECT_FALSE(verifyPackageSignature(digest, signature, key.modulus));
}

class PackageRoundTrip : public ::testing::TestWithParam<bool> {};

TEST_P(PackageRoundTrip, EveryMemberReadsBackByteForByte) {
  const bool store = GetParam();
  const std::map<std::string, std::string> members = {
      {"init.lua", "function startup() end\n"},
      {"models/scene.xml", std::string(20000, 'a') + "<b/>" + std::string(3000, 'c')},
      {"noise.bin", randomBytes(5000, 7)},  // does not shrink: stored either way
      {"empty.txt", ""},
  };
  auto c = testpkg::openMembers(members, store);
  ASSERT_NE(c->package, nullptr);
  EXPECT_FALSE(c->load.stopped);
  EXPECT_EQ(c->load.state, 1);
  for (const auto& m : members) {
    if (m.second.empty()) continue;
    bool mustFree = false;
    EXPECT_EQ(readMember(*c, m.first.c_str(), &mustFree), m.second) << m.first;
    // Only inflated members are new blocks; stored ones point into the package.
    EXPECT_EQ(mustFree, !store && m.first == "models/scene.xml") << m.first;
  }
  uint8_t* data = reinterpret_cast<uint8_t*>(1);
  int32_t size = 5;
  EXPECT_FALSE(c->readFile("empty.txt", &data, &size, false));
  EXPECT_EQ(size, 0);  // an empty member reads as missing to callers that test the size
  EXPECT_TRUE(c->failures.empty());
}

INSTANTIATE_TEST_SUITE_P(StoredAndDeflated, PackageRoundTrip, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Stored" : "Deflated"; });

TEST(PackageOpen, StoredMemberPointsIntoThePackage) {
  auto c = testpkg::openMembers({{"a.txt", "hello\n"}}, true);
  ASSERT_NE(c->package, nullptr);
  uint8_t* data = nullptr;
  int32_t size = 0;
  EXPECT_FALSE(c->readFile("a.txt", &data, &size, false));
  EXPECT_GE(data, c->package->data);
  EXPECT_LE(data + size, c->package->data + c->package->size);
}

TEST(PackageOpen, AnyFlippedByteIsRefused) {
  const std::vector<uint8_t> good = testpkg::makePackage({{"config.xml", testpkg::kConfigXml}});
  ASSERT_TRUE(openBytes(good)->package);
  // Every byte: archive, central directory and signature block alike.
  for (size_t i = 0; i < good.size(); ++i) {
    std::vector<uint8_t> bad = good;
    bad[i] ^= 0x20;
    auto c = openBytes(bad);
    SCOPED_TRACE("byte " + std::to_string(i) + " of " + std::to_string(good.size()));
    expectRefused(*c, kCorrupted);
  }
}

TEST(PackageOpen, SignatureFromAnotherKeyIsRefused) {
  SigningKey other = testSigningKey();
  other.modulus[0] ^= 0x40;  // a different modulus: signs, but not for our key
  std::vector<PackageEntry> entries = {{"config.xml", testpkg::kConfigXml}};
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(buildPackage(entries, false, other, &bytes));
  expectRefused(*openBytes(bytes), kCorrupted);
}

TEST(PackageOpen, TooShortOrEmptyIsRefused) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{30}, size_t{127}}) {
    SCOPED_TRACE(n);
    expectRefused(*openBytes(std::vector<uint8_t>(n, 0x50)), kCorrupted);
  }
  auto c = std::make_unique<RecordingController>();
  EXPECT_FALSE(c->openPackage(nullptr));
  expectRefused(*c, kCorrupted);
}

TEST(PackageOpen, RefusalReportsOnceEvenAfterAnEarlierFailure) {
  // A config.xml without a final line end is reported, then refused because
  // its last character is gone: the refusal still comes once, the first
  // report is the one kept.
  auto c = testpkg::openMembers({{"config.xml", "<trelm><version/></trelm>"}});
  EXPECT_EQ(c->package, nullptr);
  ASSERT_EQ(c->failures.size(), 2u);
  EXPECT_EQ(c->failures[0], "No newline at end of file config.xml");
  EXPECT_EQ(c->formats[1], kProblem);
  EXPECT_STREQ(c->load.failureText.c_str(), kIncompatible);
}

TEST(PackageConfig, VersionRuleAndDocumentShape) {
  struct Case {
    const char* config;
    bool accepted;
    int major, minor, patch;
  };
  const Case cases[] = {
      {"<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n", true, 1, 6, 4},
      {"<trelm><version major=\"1\" minor=\"6\" patch=\"5\"/></trelm>\n", false, 1, 6, 5},
      {"<trelm><version major=\"0\" minor=\"9\" patch=\"9\"/></trelm>\n", true, 0, 9, 9},
      {"<trelm><version major=\"1\" minor=\"5\" patch=\"20\"/></trelm>\n", true, 1, 5, 20},
      {"<trelm><version major=\"1\" minor=\"7\" patch=\"0\"/></trelm>\n", false, 1, 7, 0},
      {"<trelm><version major=\"2\"/></trelm>\n", false, 2, 0, 0},
      {"<trelm><version major=\"-3\" minor=\"99\"/></trelm>\n", true, -3, 99, 0},
      {"<trelm><version/></trelm>\n", true, 0, 0, 0},
      {"<trelm><version major=\"one\" minor=\"6\"/></trelm>\n", true, 0, 6, 0},
      {"<divu><version major=\"1\" minor=\"2\"/></divu>\n", true, 1, 2, 0},
      {"<?xml version=\"1.0\"?>\n<!-- c --><other/><trelm><x/><version minor=\"1\"/></trelm>\n", true, 0, 1, 0},
      {"<trelm><x><version/></x></trelm>\n", false, 0, 0, 0},  // not a child of the root
      {"<other><version/></other>\n", false, 0, 0, 0},
      {"<trelm><version/>\n", false, 0, 0, 0},  // parse error
      {"\n", false, 0, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.config);
    auto c = testpkg::openMembers({{"config.xml", k.config}});
    EXPECT_EQ(c->package != nullptr, k.accepted);
    EXPECT_EQ(c->load.state, 1);
    if (k.accepted) {
      EXPECT_TRUE(c->failures.empty());
    } else {
      expectRefused(*c, kIncompatible);
    }
    EXPECT_EQ(c->version.major, k.major);
    EXPECT_EQ(c->version.minor, k.minor);
    EXPECT_EQ(c->version.patch, k.patch);
  }
}

TEST(PackageConfig, MissingOrEmptyConfigIsRefused) {
  for (bool store : {true, false}) {
    auto c = std::make_unique<RecordingController>();
    c->openPackage(testpkg::toBuffer(testpkg::makePackage({{"init.lua", "x\n"}}, store)));
    expectRefused(*c, kIncompatible);
    auto e = std::make_unique<RecordingController>();
    e->openPackage(testpkg::toBuffer(testpkg::makePackage({{"config.xml", ""}}, store)));
    expectRefused(*e, kIncompatible);
  }
}

// Every refusal keeps its one screen text and report, and the log says why
// in one line of its own.
TEST(PackageRefusal, TheLogNamesTheCause) {
  const std::vector<uint8_t> good = testpkg::makePackage({{"config.xml", testpkg::kConfigXml}});
  ArchiveWriter plain;
  plain.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
  plain.finish();
  std::vector<uint8_t> tampered = good;
  tampered[40] ^= 0x01;  // inside the archive: the signature no longer covers it
  std::vector<uint8_t> badSignature = good;
  for (size_t i = badSignature.size() - kSignatureSize; i < badSignature.size(); ++i) badSignature[i] ^= 0x5A;
  SigningKey other = testSigningKey();
  other.modulus[0] ^= 0x40;
  std::vector<uint8_t> otherKey;
  std::vector<PackageEntry> entries = {{"config.xml", testpkg::kConfigXml}};
  ASSERT_TRUE(buildPackage(entries, false, other, &otherKey));
  auto withConfig = [](const char* config) {
    return testpkg::makePackage({{"config.xml", config}, {"init.lua", "function startup() end\n"}});
  };
  const std::string junk = randomBytes(600, 7);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* screen;
    const char* cause;
  };
  const Case cases[] = {
      {"empty", {}, kCorrupted, "Package refused: it is empty (the program carries no package)."},
      {"short", std::vector<uint8_t>(30, 0x50), kCorrupted,
       "Package refused: not a package of this player (30 bytes, too short for one)."},
      {"plain zip", plain.bytes(), kCorrupted,
       "Package refused: not a package of this player (a plain ZIP archive; packages are made with vpack)."},
      {"junk", std::vector<uint8_t>(junk.begin(), junk.end()), kCorrupted,
       "Package refused: not a package of this player."},
      {"bad signature", badSignature, kCorrupted, "Package refused: its signature does not match this player's key."},
      {"other key", otherKey, kCorrupted, "Package refused: its signature does not match this player's key."},
      {"tampered", tampered, kCorrupted, "Package refused: its content changed after it was signed."},
      {"no config", testpkg::makePackage({{"init.lua", "function startup() end\n"}}), kIncompatible,
       "Package refused: no config.xml in it."},
      {"unclosed", withConfig("<trelm>\n<version major=\"1\">\n</trelm>\n"), kIncompatible,
       "Package refused: config.xml is not well-formed (line 3: Error reading end tag.)."},
      {"no root", withConfig("<other><version/></other>\n"), kIncompatible,
       "Package refused: config.xml has no trelm root element."},
      {"no version", withConfig("<trelm><x/></trelm>\n"), kIncompatible,
       "Package refused: config.xml has no version element."},
      {"newer", withConfig("<trelm><version major=\"1\" minor=\"7\" patch=\"0\"/></trelm>\n"), kIncompatible,
       "Package refused: its version 1.7.0 is newer than 1.6.4."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    vsplat::DebugCapture log;
    auto c = openBytes(k.bytes);
    expectRefused(*c, k.screen);
    EXPECT_NE(log.text().find(k.cause), std::string::npos) << log.text();
    // The refusal's own lines stay, after the cause.
    EXPECT_LT(log.text().find(k.cause), log.text().find("Problem reading")) << log.text();
  }
  vsplat::DebugCapture log;
  EXPECT_TRUE(openBytes(good)->package);
  EXPECT_EQ(log.text().find("Package refused"), std::string::npos) << log.text();
}

TEST(PackageReadFile, OnlyTheExactNameMatches) {
  auto c = testpkg::openMembers({{"init.lua", "a\n"}, {"lib/", ""}, {"a.lua", "b\n"}});
  ASSERT_NE(c->package, nullptr);
  EXPECT_EQ(readMember(*c, "init.lua"), "a\n");
  for (const char* name : {"./init.lua", "INIT.LUA", "init.lu", "init.luax", "", "lib/x.lua", "a.lua.txt"}) {
    EXPECT_EQ(readMember(*c, name), "<missing>") << name;
  }
  EXPECT_TRUE(c->failures.empty());
}

TEST(PackageReadFile, WalkStopsAtTheFirstNonHeaderAndFirstNameWins) {
  ArchiveWriter w;
  w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
  w.add("twice.txt", reinterpret_cast<const uint8_t*>("first\n"), 6, true);
  w.add("twice.txt", reinterpret_cast<const uint8_t*>("second\n"), 7, true);
  w.add("before.txt", reinterpret_cast<const uint8_t*>("ok\n"), 3, true);
  w.bytes().insert(w.bytes().end(), {'P', 'K', 0, 0});  // not a local header
  w.add("after.txt", reinterpret_cast<const uint8_t*>("hidden\n"), 7, true);
  w.finish();
  w.add("beyond.txt", reinterpret_cast<const uint8_t*>("beyond\n"), 7, true);
  auto c = openBytes(testpkg::sealArchive(w.bytes()));
  ASSERT_NE(c->package, nullptr);
  EXPECT_EQ(readMember(*c, "twice.txt"), "first\n");
  EXPECT_EQ(readMember(*c, "before.txt"), "ok\n");
  EXPECT_EQ(readMember(*c, "after.txt"), "<missing>");
  EXPECT_EQ(readMember(*c, "beyond.txt"), "<missing>");
}

TEST(PackageReadFile, HeadersReachingPastThePackageFindNothing) {
  // Each archive ends with a header whose name, extra field or data would
  // run past the end; sizes near 2^32 must not wrap an offset sum back inside.
  struct Case {
    const char* what;
    uint32_t compressed;
    uint16_t extra;
    uint16_t nameLength;
  };
  const Case cases[] = {
      {"name past the end", 0, 0, 60000},           {"extra past the end", 0, 60000, 0xFFFF},
      {"data past the end", 1000000, 0, 0xFFFF},    {"data size wrapping 32 bits", 0xFFFFFFF0u, 0, 0xFFFF},
      {"data size 2^32-1", 0xFFFFFFFFu, 0, 0xFFFF},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ArchiveWriter w;
    w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
    std::vector<uint8_t>& a = w.bytes();
    putHeader(&a, 0, k.compressed, k.compressed, "bad.txt", k.extra, k.nameLength);
    a.insert(a.end(), {'x', 'y', 'z', '\n'});
    auto c = openBytes(testpkg::sealArchive(a));
    ASSERT_NE(c->package, nullptr);
    EXPECT_EQ(readMember(*c, "bad.txt"), "<missing>");
    EXPECT_EQ(readMember(*c, "zzz"), "<missing>");
  }
}

TEST(PackageReadFile, UntrustworthyDeflatedSizes) {
  const std::string text = "some text that deflates, some text that deflates, some text.\n";
  std::vector<uint8_t> packed;
  {
    ArchiveWriter probe;
    probe.add("t", reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<uint8_t>& b = probe.bytes();
    ASSERT_EQ(b[8], 8);  // deflated
    packed.assign(b.begin() + 31, b.end());
  }
  ArchiveWriter w;
  w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
  std::vector<uint8_t>& a = w.bytes();
  auto member = [&](const std::string& name, uint32_t claimed, size_t keep) {
    putHeader(&a, 8, static_cast<uint32_t>(keep), claimed, name);
    a.insert(a.end(), packed.begin(), packed.begin() + static_cast<long>(keep));
  };
  member("negative", 0x80000000u, packed.size());
  member("minus-one", 0xFFFFFFFFu, packed.size());
  member("zero", 0, packed.size());
  member("longer", static_cast<uint32_t>(text.size() + 500), packed.size());
  member("truncated", static_cast<uint32_t>(text.size()), packed.size() / 2);
  // Inflating yields at most 1032 bytes per compressed byte: a claim beyond
  // that (plus 1 KiB of slack) is a lie, not a block to zero-fill.
  const uint32_t most = static_cast<uint32_t>(1032 * packed.size() + 1024);
  member("most", most, packed.size());
  member("lying", most + 1, packed.size());
  putHeader(&a, 8, 4, 300, "garbage");
  a.insert(a.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  auto c = openBytes(testpkg::sealArchive(a));
  ASSERT_NE(c->package, nullptr);

  for (const char* name : {"negative", "minus-one", "zero", "lying"}) {
    bool mustFree = true;
    EXPECT_EQ(readMember(*c, name, &mustFree), "<missing>") << name;
    EXPECT_FALSE(mustFree);
  }
  // Bytes inflation never wrote are zeros, never leftovers of the heap.
  std::string longer = readMember(*c, "longer");
  EXPECT_EQ(longer, text + std::string(500, '\0'));
  std::string truncated = readMember(*c, "truncated");
  ASSERT_EQ(truncated.size(), text.size());
  EXPECT_EQ(text.compare(0, 10, truncated, 0, 10), 0);
  EXPECT_EQ(truncated.back(), '\0');
  EXPECT_EQ(readMember(*c, "garbage"), std::string(300, '\0'));
  EXPECT_EQ(readMember(*c, "most"), text + std::string(most - text.size(), '\0'));
  EXPECT_TRUE(c->failures.empty());
}

TEST(PackageReadFile, UnknownMethodIsReportedAndMissing) {
  ArchiveWriter w;
  w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
  putHeader(&w.bytes(), 12, 3, 3, "odd.bin");
  w.bytes().insert(w.bytes().end(), {1, 2, 3});
  auto c = openBytes(testpkg::sealArchive(w.bytes()));
  ASSERT_NE(c->package, nullptr);
  bool mustFree = true;
  EXPECT_EQ(readMember(*c, "odd.bin", &mustFree), "<missing>");
  EXPECT_FALSE(mustFree);
  ASSERT_EQ(c->failures.size(), 1u);
  EXPECT_EQ(c->failures[0], "Unknown compression type for file odd.bin");
  EXPECT_TRUE(c->load.stopped);
  EXPECT_STREQ(c->load.failureText.c_str(), kIncompatible);  // load state 1 after the open
}

TEST(PackageReadFile, TextModeEndsTheTextAtTheLastByte) {
  struct Case {
    std::string member;
    bool reported;
  };
  const Case cases[] = {{"line\n", false}, {"line\r", false}, {std::string("line\0", 5), false}, {"linex", true}};
  for (bool store : {true, false}) {
    for (const Case& k : cases) {
      // Long enough that the deflated form is what gets read when not storing.
      std::string body = std::string(200, 'a') + k.member;
      auto c = testpkg::openMembers({{"t.txt", body}}, store);
      ASSERT_NE(c->package, nullptr);
      uint8_t* data = nullptr;
      int32_t size = 0;
      bool mustFree = c->readFile("t.txt", &data, &size, true);
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(size, static_cast<int32_t>(body.size()));
      EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), body.substr(0, body.size() - 1));
      if (mustFree) free(data);
      ASSERT_EQ(c->failures.size(), k.reported ? 1u : 0u);
      if (k.reported) {
        EXPECT_EQ(c->failures[0], "No newline at end of file t.txt");
      }
    }
  }
}

TEST(ControllerFail, OnlyTheFirstFailureCounts) {
  RecordingController c;
  c.load.state = 2;
  c.fail("script error %d", 1);
  EXPECT_TRUE(c.load.stopped);
  EXPECT_STREQ(c.load.failureText.c_str(), "Error loading the file.\nPlease check with your content provider.");
  c.load.state = 3;
  c.fail("another");
  EXPECT_STREQ(c.load.failureText.c_str(), "Error loading the file.\nPlease check with your content provider.");
}
