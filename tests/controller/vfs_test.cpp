#include "controller/vfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "controller/package_writer.h"
#include "platform/testing.h"
#include "support/test_package.h"

namespace fs = std::filesystem;

namespace {

std::string ten() { return "0123456789"; }

std::string hundred() {
  std::string s;
  for (int i = 0; i < 100; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

std::string readAll(PackageFile* f) {
  std::string out;
  char piece[7];
  for (int32_t n; (n = vfs_fread(piece, sizeof piece, f)) > 0;) out.append(piece, static_cast<size_t>(n));
  return out;
}

// A folder of its own under the current directory, removed afterwards.
struct ScratchDir {
  explicit ScratchDir(const std::string& name) : path("vfs_scratch_" + name) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~ScratchDir() { fs::remove_all(path); }
  std::string path;
};

std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

}  // namespace

TEST(VfsOpen, MemberNamesMatchExactlyAfterDroppingDotSlash) {
  auto c = testpkg::openMembers(
      {{"init.lua", "a\n"}, {"lib/", ""}, {"mod.lua", "m\n"}, {"", "?"}, {"./", "dot\n"}, {"//", "slashes\n"}});
  ASSERT_NE(c->package, nullptr);
  struct Case {
    const char* request;
    const char* contents;  // null: not found
  };
  const Case cases[] = {
      {"init.lua", "a\n"},   {"./init.lua", "a\n"},  {"init.lu", nullptr},     {"init.luax", nullptr},
      {"INIT.LUA", nullptr}, {"lib/x.lua", nullptr}, {"mod.lua.txt", nullptr}, {"missing", nullptr},
      {"./", "dot\n"},       {"//", "slashes\n"},    {".//init.lua", nullptr}, {"././init.lua", nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.request);
    errno = 0;
    PackageFile* f = vfs_fopen(c.get(), k.request, "r");
    if (!k.contents) {
      EXPECT_EQ(f, nullptr);
      EXPECT_EQ(errno, ENOENT);
      continue;
    }
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(f->isDisk);
    EXPECT_EQ(f->data, nullptr);  // nothing read before the first access
    EXPECT_EQ(readAll(f), k.contents);
    EXPECT_EQ(vfs_fclose(f), 0);
  }
  EXPECT_EQ(vfs_fopen(nullptr, "init.lua", "r"), nullptr);
}

TEST(VfsOpen, WithoutAPackageNothingOpens) {
  testpkg::RecordingController c;
  EXPECT_EQ(vfs_fopen(&c, "init.lua", "r"), nullptr);
}

TEST(VfsRead, SeeksClampIntoTheMember) {
  auto c = testpkg::openMembers({{"ten.bin", ten()}});
  PackageFile* f = vfs_fopen(c.get(), "ten.bin", "rb");
  ASSERT_NE(f, nullptr);
  struct Step {
    int32_t offset;
    int whence;
    int32_t pos;
  };
  const Step steps[] = {{-5, 0, 0},  {4, 0, 4},   {3, 1, 7}, {10, 1, 10}, {-3, 2, 7},
                        {10, 2, 10}, {-20, 1, 0}, {6, 0, 6}, {2, 9, 6} /* unknown whence */};
  for (const Step& s : steps) {
    EXPECT_EQ(vfs_fseek(f, s.offset, s.whence), 0);
    EXPECT_EQ(f->pos, s.pos) << s.offset << " whence " << s.whence;
  }
  EXPECT_EQ(vfs_fgetc(f), '6');
  // Extreme offsets must not overflow the position arithmetic.
  vfs_fseek(f, INT32_MAX, 1);
  EXPECT_EQ(f->pos, 10);
  vfs_fseek(f, INT32_MIN, 2);
  EXPECT_EQ(f->pos, 0);
  vfs_fclose(f);
}

TEST(VfsRead, ShortReadsAtTheEndThenEmpty) {
  for (bool store : {true, false}) {
    auto c = testpkg::openMembers({{"h.txt", hundred()}}, store);
    PackageFile* f = vfs_fopen(c.get(), "h.txt", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vfs_fgetc(f), 'A');
    EXPECT_EQ(f->owns, !store);  // an inflated member belongs to the handle
    vfs_fseek(f, 95, 0);
    char buffer[100];
    EXPECT_EQ(vfs_fread(buffer, 100, f), 5);
    EXPECT_EQ(std::string(buffer, 5), hundred().substr(95));
    EXPECT_EQ(vfs_fread(buffer, 100, f), 0);
    EXPECT_EQ(vfs_fgetc(f), -1);
    EXPECT_EQ(vfs_fread(buffer, -1, f), 0);
    vfs_fclose(f);
  }
}

TEST(VfsRead, BytesAbove127AreNotNegative) {
  auto c = testpkg::openMembers({{"b.bin", "\xff\x80"}});
  PackageFile* f = vfs_fopen(c.get(), "b.bin", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(vfs_fgetc(f), 255);
  EXPECT_EQ(vfs_fgetc(f), 128);
  EXPECT_EQ(vfs_fgetc(f), -1);
  vfs_fclose(f);
}

TEST(VfsRead, MemberThatCannotBeReadReadsAsEmpty) {
  // Found by the open, but its unknown method makes the first access fail.
  ArchiveWriter w;
  w.add("config.xml", reinterpret_cast<const uint8_t*>(testpkg::kConfigXml), strlen(testpkg::kConfigXml));
  std::vector<uint8_t> header = {0x50, 0x4b, 0x03, 0x04, 20, 0, 0, 0, 99, 0, 0, 0,   0,   0,   0,   0,   0,   0,  2,
                                 0,    0,    0,    2,    0,  0, 0, 5, 0,  0, 0, 'o', 'd', 'd', '.', 'x', 'y', 'z'};
  w.bytes().insert(w.bytes().end(), header.begin(), header.end());
  testpkg::RecordingController c;
  c.openPackage(testpkg::toBuffer(testpkg::sealArchive(w.bytes())));
  ASSERT_NE(c.package, nullptr);
  PackageFile* f = vfs_fopen(&c, "odd.x", "r");
  ASSERT_NE(f, nullptr);
  char buffer[4];
  EXPECT_EQ(vfs_fread(buffer, 4, f), 0);
  EXPECT_EQ(vfs_fgetc(f), -1);
  EXPECT_EQ(f->data, nullptr);
  vfs_fclose(f);
}

TEST(VfsWrite, PackageMembersAreReadOnly) {
  auto c = testpkg::openMembers({{"ten.bin", ten()}});
  PackageFile* f = vfs_fopen(c.get(), "ten.bin", "w");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(vfs_fwrite("xx", 2, f), 0);
  EXPECT_EQ(vfs_fprintf(f, "%d", 42), 0);
  EXPECT_EQ(readAll(f), ten());
  vfs_fclose(f);
}

TEST(VfsStandard, OutputAndErrorGoToTheLogInPieces) {
  for (PackageFile* out : {vfs_stdout(), vfs_stderr()}) {
    vsplat::DebugCapture log;
    const std::string big(2000, 'q');
    EXPECT_EQ(vfs_fwrite(big.data(), 2000, out), 1023);
    EXPECT_EQ(vfs_fwrite("5% done", 7, out), 7);
    EXPECT_EQ(vfs_fprintf(out, "%s|%d", "100%", 7), 6);
    EXPECT_EQ(vfs_fprintf(out, "%s", std::string(1500, 'z').c_str()), 1023);
    // One log line per write, the text verbatim ("%" is not formatted again).
    ASSERT_EQ(log.calls(), 8u);
    EXPECT_EQ(log.call(0), std::string(1023, 'q'));
    EXPECT_EQ(log.call(1), "\n");
    EXPECT_EQ(log.call(2), "5% done");
    EXPECT_EQ(log.call(4), "100%|7");
    EXPECT_EQ(log.call(6), std::string(1023, 'z'));
    // An empty write is still a write: one empty line.
    EXPECT_EQ(vfs_fwrite("", 0, out), 0);
    ASSERT_EQ(log.calls(), 10u);
    EXPECT_EQ(log.call(8), "");
    EXPECT_EQ(log.call(9), "\n");
    EXPECT_EQ(vfs_fclose(out), 0);
  }
}

TEST(VfsStandard, InputIsAnEmptyStreamAndNothingIsARecord) {
  vsplat::DebugCapture log;
  char buffer[8];
  for (PackageFile* f : {vfs_stdin(), vfs_stdout(), vfs_stderr()}) {
    EXPECT_EQ(vfs_fread(buffer, 8, f), 0);
    EXPECT_EQ(vfs_fgetc(f), -1);
    EXPECT_EQ(vfs_fseek(f, 3, 0), 0);
    EXPECT_FALSE(vfs_load(f));
  }
  EXPECT_EQ(vfs_fwrite("abc", 3, vfs_stdin()), 0);
  EXPECT_EQ(vfs_fprintf(vfs_stdin(), "abc"), 0);
  EXPECT_EQ(vfs_fclose(vfs_stdin()), 0);
  EXPECT_EQ(log.calls(), 0u);
}

TEST(VfsDisk, DoubleSlashOpensRelativeToTheCurrentDirectory) {
  ScratchDir dir(testName());
  auto c = testpkg::openMembers({});
  const std::string name = "//" + dir.path + "/notes.txt";
  PackageFile* w = vfs_fopen(c.get(), name.c_str(), "w");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isDisk);
  EXPECT_EQ(w->name, nullptr);
  EXPECT_EQ(vfs_fwrite("hello ", 6, w), 6);
  EXPECT_EQ(vfs_fprintf(w, "%d%%\n", 50), 4);
  EXPECT_EQ(vfs_fclose(w), 0);
  {
    std::ifstream in(dir.path + "/notes.txt");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "hello 50%");
  }
  PackageFile* r = vfs_fopen(c.get(), name.c_str(), "r");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(vfs_fseek(r, 6, 0), 0);
  EXPECT_EQ(vfs_fgetc(r), '5');
  char rest[16];
  EXPECT_EQ(vfs_fread(rest, 16, r), 3);
  EXPECT_EQ(vfs_fgetc(r), -1);
  vfs_fclose(r);
  EXPECT_EQ(vfs_fopen(c.get(), ("//" + dir.path + "/absent.txt").c_str(), "r"), nullptr);
}

TEST(VfsDisk, PathsFollowThePackageFolderAndHaveALimit) {
  ScratchDir dir(testName());
  std::ofstream(dir.path + "/data.txt") << "disk";
  auto c = testpkg::openMembers({});
  c->packageName = dir.path + "/content.pkg";
  PackageFile* f = vfs_fopen(c.get(), "//data.txt", "r");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(readAll(f), "disk");
  vfs_fclose(f);

  // A file that exists, but whose path is longer than the layer takes.
  c->packageName.clear();
  std::string deep = dir.path;
  while (deep.size() <= 1030) deep += "/" + std::string(100, 'd');
  fs::create_directories(deep);
  std::ofstream(deep + "/x.txt") << "far";
  ASSERT_TRUE(fs::exists(deep + "/x.txt"));
  errno = 0;
  EXPECT_EQ(vfs_fopen(c.get(), ("//" + deep + "/x.txt").c_str(), "r"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);  // the cause the script's message names
}
