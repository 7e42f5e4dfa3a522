#pragma once
// Helpers for the file access tests: disk files that clean up after
// themselves, and chunks checked against their exact error text.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "script_harness.h"

namespace filecase {

// A disk file in the current directory for the test's lifetime.
struct DiskFile {
  std::string name;
  DiskFile(const std::string& n, const std::string& content) : name(n) {
    std::ofstream(name, std::ios::binary) << content;
  }
  ~DiskFile() { std::remove(name.c_str()); }
};

// A name no other test uses: the prefix, the running test's name and the stem.
inline std::string uniqueName(const char* prefix, const char* stem) {
  return std::string(prefix) + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + stem;
}

inline std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The precompiled form of a chunk, as lua_dump writes it.
inline std::string compiled(const char* source) {
  lua_State* L = luaL_newstate();
  luaL_loadstring(L, source);
  std::string binary;
  lua_dump(
      L,
      [](lua_State*, const void* p, size_t n, void* ud) {
        static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
        return 0;
      },
      &binary);
  lua_close(L);
  return binary;
}

// The message without the chunk's place ("[string ...]:1: ").
inline std::string withoutPlace(const std::string& error) {
  size_t at = error.find("]:1: ");
  return error.rfind("[string ", 0) == 0 && at != std::string::npos ? error.substr(at + 5) : error;
}

// A chunk and what it raises: "" when it must run cleanly, else the whole
// error text after the chunk's place.
struct Exact {
  const char* code;
  const char* error;
};

// Runs each case after the setup text in the same player.
template <size_t N>
void expectExact(scripttest::Player& p, const Exact (&cases)[N], const std::string& setup = "") {
  for (const Exact& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(withoutPlace(p.run(setup + c.code)), c.error);
  }
}

}  // namespace filecase
