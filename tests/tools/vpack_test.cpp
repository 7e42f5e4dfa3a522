#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "controller/package.h"
#include "controller/package_crypto.h"
#include "controller/package_writer.h"
#include "support/test_package.h"
#include "support/test_process.h"

namespace fs = std::filesystem;

namespace {

std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

// A folder of its own under the build directory, removed afterwards.
struct Scratch {
  Scratch() : path(fs::path(VS_BINARY_DIR) / ("vpack_scratch_" + testName())) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Scratch() { fs::remove_all(path); }
  void write(const std::string& name, const std::string& bytes) const {
    fs::create_directories((path / name).parent_path());
    std::ofstream(path / name, std::ios::binary) << bytes;
  }
  fs::path path;
};

// The packer run with these arguments, its output dropped; answers its status.
int vpack(std::vector<std::string> args) {
  args.insert(args.begin(), std::string(VS_BINARY_DIR) + "/vpack");
  testproc::Options quiet;
  quiet.out = quiet.err = "/dev/null";
  return testproc::run(args, quiet);
}

// The arguments as one line, for a failure message.
std::string shown(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + a;
  return line;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<testpkg::RecordingController> openFile(const fs::path& path) {
  auto c = std::make_unique<testpkg::RecordingController>();
  c->openPackage(testpkg::toBuffer(readBytes(path)));
  return c;
}

std::string member(CTRL_Generic& c, const std::string& name) {
  uint8_t* data = nullptr;
  int32_t size = 0;
  const bool owned = c.readFile(name.c_str(), &data, &size, false);
  std::string s = data ? std::string(reinterpret_cast<char*>(data), static_cast<size_t>(size)) : "<missing>";
  if (owned) free(data);
  return s;
}

uint16_t methodOf(CTRL_Generic& c, const std::string& name) {
  PackageMember m{};
  EXPECT_TRUE(findPackageMember(c.package.get(), name.c_str(), name.size(), &m)) << name;
  return m.method;
}

bool deflateShrinks(const std::string& bytes) {
  if (bytes.empty()) return false;
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, bytes.size()));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  deflateEnd(&z);
  return z.total_out < bytes.size();
}

}  // namespace

TEST(Vpack, DemoContentPacksIntoAPackageThePlayerAccepts) {
  Scratch s;
  const fs::path out = s.path / "demo.pkg";
  ASSERT_EQ(vpack({"pack", fs::path(VS_SOURCE_DIR) / "content/demo", out}), 0);
  auto c = openFile(out);
  ASSERT_NE(c->package, nullptr) << (c->failures.empty() ? "" : c->failures[0]);
  EXPECT_FALSE(c->load.stopped);
  EXPECT_EQ(c->version.major * 10000 + c->version.minor * 100 + c->version.patch, 10604);
  EXPECT_NE(member(*c, "init.lua").find("function startup"), std::string::npos);
}

TEST(Vpack, EveryFileBecomesAMemberByItsRelativePath) {
  Scratch s;
  std::mt19937 rng(3);
  std::string noise(4000, '\0');
  for (char& ch : noise) ch = static_cast<char>(rng());
  const std::map<std::string, std::string> files = {
      {"config.xml", testpkg::kConfigXml},
      {"init.lua", "function startup() end\n"},
      {"models/set one/scene.xml", std::string(5000, 'x')},
      {"models/deep/er/a.bin", noise},
      {"empty.txt", ""},
  };
  const fs::path src = s.path / "src";
  for (const auto& f : files) s.write("src/" + f.first, f.second);

  for (bool store : {false, true}) {
    SCOPED_TRACE(store ? "stored" : "deflated");
    const fs::path out = s.path / (store ? "stored.pkg" : "deflated.pkg");
    std::vector<std::string> args = {"pack", src, out};
    if (store) args.insert(args.begin() + 1, "--store");
    ASSERT_EQ(vpack(args), 0);
    auto c = openFile(out);
    ASSERT_NE(c->package, nullptr);
    for (const auto& f : files) {
      // (config.xml lost its last byte to the text read of the open.)
      if (!f.second.empty() && f.first != "config.xml") {
        EXPECT_EQ(member(*c, f.first), f.second) << f.first;
      }
      // Deflated only where asked and where it shrinks the member.
      EXPECT_EQ(methodOf(*c, f.first), !store && deflateShrinks(f.second) ? 8 : 0) << f.first;
    }
    EXPECT_EQ(member(*c, "src/init.lua"), "<missing>");
  }
}

TEST(Vpack, KeyOptionSignsWithThatKey) {
  Scratch s;
  s.write("src/config.xml", testpkg::kConfigXml);
  const fs::path keyFile = fs::path(VS_SOURCE_DIR) / "tests/fixtures/other-private.txt";
  std::ifstream in(keyFile);
  SigningKey other{};
  ASSERT_TRUE(
      parseSigningKey(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), &other));
  const fs::path out = s.path / "other.pkg";
  ASSERT_EQ(vpack({"pack", "--key", keyFile, s.path / "src", out}), 0);

  // The test build's player refuses it...
  EXPECT_EQ(openFile(out)->package, nullptr);
  // ...and it carries a valid signature for the other key.
  std::vector<uint8_t> bytes = readBytes(out);
  ASSERT_GT(bytes.size(), kSignatureSize);
  scramblePackage(bytes.data(), bytes.size());
  uint8_t digest[kDigestSize];
  digestPackage(bytes.data(), bytes.size() - kSignatureSize, digest);
  EXPECT_TRUE(verifyPackageSignature(digest, bytes.data() + bytes.size() - kSignatureSize, other.modulus));
}

TEST(Vpack, BadArgumentsFailWithoutWritingAPackage) {
  Scratch s;
  s.write("src/a.txt", "a\n");
  s.write("bad-key.txt", "n=12zz\nd=01\n");
  const fs::path out = s.path / "out.pkg";
  const std::string src = s.path / "src";
  const std::vector<std::string> cases[] = {
      {},
      {"unpack", src, out},
      {"pack", src},
      {"pack", s.path / "absent", out},
      {"pack", "--key", s.path / "bad-key.txt", src, out},
      {"pack", "--key", s.path / "no-such-key.txt", src, out},
      {"pack", "--fast", src, out},
      {"pack", src, s.path / "no-such-dir" / "out.pkg"},
  };
  for (const std::vector<std::string>& args : cases) {
    EXPECT_NE(vpack(args), 0) << shown(args);
    EXPECT_FALSE(fs::exists(out)) << shown(args);
  }
}

// A key that would sign packages no player accepts is refused before
// anything is written, with the reason: a modulus that is not 1024 bits, an
// n and d from different keys, and the public half of a key.
TEST(Vpack, KeysThatCannotSignAreRefusedWithTheirReason) {
  Scratch s;
  s.write("src/a.txt", "a\n");
  auto line = [](const fs::path& file, const char* prefix) {
    std::ifstream in(file);
    std::string text;
    while (std::getline(in, text))
      if (text.rfind(prefix, 0) == 0) return text;
    return std::string();
  };
  const fs::path own = fs::path(VS_SOURCE_DIR) / "keys/test-private.txt";
  const fs::path other = fs::path(VS_SOURCE_DIR) / "tests/fixtures/other-private.txt";
  const std::string publicHex = line(own, "n=").substr(2);
  ASSERT_EQ(publicHex.size(), 2 * kSignatureSize);
  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"short", "n=ABC\nd=12\n", "not a 1024-bit number"},
      {"mismatched", line(own, "n=") + "\n" + line(other, "d=") + "\n", "do not belong together"},
      {"public", "# the public half\n" + publicHex + "\n", "this is a public key file"},
      {"modulus-only", line(own, "n=") + "\n", "this is a public key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SigningKey key{};
    std::string why;
    const bool parsed = parseSigningKey(c.text, &key, &why);
    EXPECT_FALSE(parsed && checkSigningKey(key, &why));
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    s.write(std::string(c.name) + ".txt", c.text);
    const fs::path out = s.path / (std::string(c.name) + ".pkg");
    EXPECT_NE(vpack({"pack", "--key", s.path / (std::string(c.name) + ".txt"), s.path / "src", out}), 0);
    EXPECT_FALSE(fs::exists(out));
  }
  SigningKey key{};
  std::string why;
  ASSERT_TRUE(parseSigningKey(line(own, "n=") + "\n" + line(own, "d=") + "\n", &key, &why)) << why;
  EXPECT_TRUE(checkSigningKey(key, &why)) << why;
  EXPECT_TRUE(checkSigningKey(testSigningKey()));
}

TEST(SigningKeyFile, ParsesCommentsAndRefusesJunk) {
  SigningKey key{};
  std::string why;
  EXPECT_TRUE(parseSigningKey("# c\n\n  n = 0A0b \r\nd=ff\n", &key, &why)) << why;
  EXPECT_EQ(key.modulus[126], 0x0A);
  EXPECT_EQ(key.modulus[127], 0x0B);
  EXPECT_EQ(key.privateExponent[127], 0xFF);
  for (const char* bad : {"n=01\n", "d=01\n", "n=01\nd=\n", "n=0g\nd=01\n", "x=1\nn=1\nd=1\n"}) {
    EXPECT_FALSE(parseSigningKey(bad, &key, &why)) << bad;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_FALSE(parseSigningKey("n=" + std::string(257, '1') + "\nd=1\n", &key));
}
