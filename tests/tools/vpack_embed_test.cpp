#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/payload.h"
#include "support/test_process.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytesOf(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int embed(const fs::path& player, const fs::path& pkg, const fs::path& out) {
  testproc::Options quiet;
  quiet.out = quiet.err = "/dev/null";
  return testproc::run({std::string(VS_BINARY_DIR) + "/vpack", "embed", player, pkg, out}, quiet);
}

}  // namespace

TEST(VpackEmbed, ReplacesThePackageOfABuiltPlayerAndKeepsItRunnable) {
  fs::path dir = fs::path(VS_BINARY_DIR) / "embed_scratch_replace";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "a.pkg", std::ios::binary) << "first package";
  std::ofstream(dir / "b.pkg", std::ios::binary) << "second";
  // /bin/true stands in for a built player: it must still run afterwards.
  ASSERT_EQ(embed("/bin/true", dir / "a.pkg", dir / "one"), 0);
  ASSERT_EQ(embed(dir / "one", dir / "b.pkg", dir / "two"), 0);
  std::vector<uint8_t> two = bytesOf(dir / "two");
  size_t off = 0, size = 0;
  ASSERT_TRUE(vsplat::findPayload(two.data(), two.size(), &off, &size));
  EXPECT_EQ(std::string(two.begin() + off, two.begin() + off + size), "second");
  EXPECT_EQ(off, (size_t)fs::file_size("/bin/true"));
  EXPECT_EQ(testproc::run({dir / "two"}), 0);
  fs::remove_all(dir);
}

TEST(VpackEmbed, MissingInputsFailWithoutWritingTheOutput) {
  fs::path dir = fs::path(VS_BINARY_DIR) / "embed_scratch_missing";
  fs::remove_all(dir);
  fs::create_directories(dir);
  EXPECT_EQ(embed("/bin/true", dir / "absent.pkg", dir / "out"), 1);
  EXPECT_EQ(embed(dir / "absent", "/bin/true", dir / "out"), 1);
  EXPECT_FALSE(fs::exists(dir / "out"));
  fs::remove_all(dir);
}
