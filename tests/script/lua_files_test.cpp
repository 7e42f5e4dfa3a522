#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lua_files_case.h"

using scripttest::Player;

namespace {

using filecase::DiskFile;

std::string uniqueName(const char* stem) { return filecase::uniqueName("vs_engine_", stem); }

TEST(ScriptModules, RequireFindsAPackageMemberOnTheDefaultPath) {
  Player p({{"tools.lua", "return { twice = function(x) return 2 * x end }\n"}, {"sub/inner.lua", "return 'inner'\n"}});
  EXPECT_EQ(p.run("assert(package.path == './?.lua', package.path)"
                  "assert(package.cpath == '', package.cpath)"
                  "r = require('tools').twice(21) .. require('sub.inner')"),
            "");
  EXPECT_EQ(p.global("r"), "42inner");
  std::string error = p.run("require('missing')");
  EXPECT_NE(error.find("module 'missing' not found"), std::string::npos) << error;
  EXPECT_NE(error.find("\n\tno file './missing.lua'"), std::string::npos) << error;
  EXPECT_EQ(p.run("assert(package.searchpath('tools', './?.lua') == './tools.lua')"
                  "local f, e = package.searchpath('x.y', 'a/?.lua;b/?.txt')"
                  "assert(f == nil and e == \"\\n\\tno file 'a/x/y.lua'\\n\\tno file 'b/x/y.txt'\", e)"),
            "");
}

TEST(ScriptModules, NoNativeModules) {
  Player p({{"native.so", "not a library"}});
  EXPECT_EQ(p.run("local f, msg, where = package.loadlib('native.so', 'luaopen_native')"
                  "assert(f == nil and where == 'absent' and msg:find('dynamic libraries not enabled'))"
                  "package.cpath = './?.so'"
                  "local ok, err = pcall(require, 'native')"
                  "assert(not ok and err:find(\"error loading module 'native' from file './native.so'\"), err)"),
            "");
}

TEST(ScriptModules, PathsFromTheEnvironment) {
  setenv("LUA_PATH_5_2", "lib/?.lua;;", 1);
  setenv("LUA_PATH", "ignored/?.lua", 1);
  setenv("LUA_CPATH", "c/?.so", 1);
  {
    Player p({});
    EXPECT_EQ(p.run("assert(package.path == 'lib/?.lua;./?.lua;', package.path)"
                    "assert(package.cpath == 'c/?.so', package.cpath)"),
              "");
  }
  unsetenv("LUA_PATH_5_2");
  unsetenv("LUA_PATH");
  unsetenv("LUA_CPATH");
}

TEST(ScriptLoading, DofileAndLoadfile) {
  DiskFile disk(uniqueName("disk.lua"), "return 'from disk', ...\n");
  Player p({{"data/chunk.lua", "#!/ignored first line\nlocal a = ... return (a or 0) + 1\n"},
            {"bom.lua", "\xEF\xBB\xBFreturn 'bom'\n"},
            {"bad.lua", "x = \nerror('line two')\n"}});
  EXPECT_EQ(p.run("assert(dofile('//" + disk.name +
                  "') == 'from disk')"
                  "assert(dofile('./data/chunk.lua') == 1)"
                  "assert(loadfile('data/chunk.lua')(41) == 42)"
                  "assert(dofile('bom.lua') == 'bom')"
                  "local f, e = loadfile('nothing.lua') assert(f == nil and e:find('^cannot open nothing.lua'), e)"
                  "local g = loadfile('data/chunk.lua', 't', {}) assert(g(1) == 2)"
                  "assert(loadfile() ~= nil and select('#', dofile()) == 0)"),  // standard input is empty
            "");
  // A skipped "#" line keeps the line numbers of the rest.
  std::string error = p.run("dofile('bad.lua')");
  EXPECT_NE(error.find("bad.lua:2: line two"), std::string::npos) << error;
}

TEST(ScriptLoading, PrecompiledChunksOnlyFromDisk) {
  std::string binary = filecase::compiled("return 'compiled'");
  DiskFile disk(uniqueName("compiled.luac"), binary);
  Player p({{"compiled.luac", binary}});
  std::string error = p.run("local f, e = loadfile('compiled.luac') assert(f == nil) error(e, 0)");
  EXPECT_NE(error.find("cannot reopen compiled.luac"), std::string::npos) << error;
  EXPECT_EQ(p.run("assert(dofile('//" + disk.name + "') == 'compiled')"), "");
}

TEST(ScriptIo, SeekAndReadAMember) {
  Player p({{"data.txt", "0123456789"}});
  EXPECT_EQ(p.run("local f = assert(io.open('data.txt'))"
                  "assert(f:seek('end') == 10)"
                  "assert(f:read(0) == nil and f:seek() == 10)"  // at the end
                  "assert(f:seek('set', 0) == 0 and f:read('*a') == '0123456789')"
                  "assert(f:read('*a') == '')"
                  "assert(f:seek('set', 4) == 4 and f:read(0) == '' and f:seek() == 4)"
                  "assert(f:read(3) == '456' and f:seek('cur', -1) == 6)"
                  "assert(f:seek('set', -5) == 0 and f:seek('end', 10) == 10)"
                  "assert(f:seek('end', -3) == 7 and f:read(100) == '789' and f:read(1) == nil)"
                  "assert(not pcall(f.seek, f, 'set', 1.5))"
                  // Counts round half to even: 2.5 reads 2 bytes, 3.5 reads 4.
                  "f:seek('set', 0) assert(f:read(2.5) == '01' and f:read(3.5) == '2345')"
                  "assert(not pcall(f.read, f, -1))"
                  "assert(f:close() == true and io.type(f) == 'closed file')"),
            "");
}

TEST(ScriptIo, LinesAndNumbersOfAMember) {
  Player p({{"lines.txt", "first\nsecond\r\n\nlast"}, {"numbers.txt", "  12 -3.5e1\n0x10 nope"}});
  EXPECT_EQ(p.run("local t = {} for l in io.lines('lines.txt') do t[#t + 1] = '[' .. l .. ']' end\n"
                  "r = table.concat(t)"
                  "local f = io.open('lines.txt') assert(f:read('*L') == 'first\\n') f:close()"
                  "local g = io.open('numbers.txt')"
                  "local a, b, c = g:read('*n', '*n', '*n') assert(a == 12 and b == -35 and c == 16)"
                  "assert(g:read('*n') == nil and g:read('*a') == 'nope')"),
            "");
  EXPECT_EQ(p.global("r"), "[first][second\r][][last]");
}

TEST(ScriptIo, WritesToTheStandardFilesGoToTheLog) {
  vsplat::DebugCapture log;
  Player p({});
  log.clear();
  EXPECT_EQ(p.run("assert(io.write('hello', 42) == io.stdout)"
                  "io.stderr:write(1.5)"
                  "assert(io.stdout:write('x') == io.stdout)"),
            "");
  std::string text = log.text();
  EXPECT_EQ(text, "hello\n42\n1.5\nx\n");
}

TEST(ScriptIo, StandardFilesAndPopen) {
  vsplat::DebugCapture log;
  Player p({});
  EXPECT_EQ(p.run("local a, b = io.close(io.stdout)"
                  "assert(a == nil and b == 'cannot close standard file')"
                  "assert(io.type(io.stdout) == 'file')"  // still open
                  "local n = select('#', io.popen('ls')) assert(n == 3)"
                  "local f, msg, code = io.popen('ls')"
                  "assert(f == nil and msg:find('^ls: ') and type(code) == 'number')"
                  "assert(io.read() == nil and io.read('*a') == '' and io.stdin:read(0) == nil)"
                  "assert(io.flush() == true and io.stdout:setvbuf('no') == true)"
                  "assert(not pcall(io.stdout.setvbuf, io.stdout, 'sometimes'))"
                  "debug.debug()"),
            "");
  EXPECT_NE(log.text().find("lua_debug> "), std::string::npos);
}

TEST(ScriptIo, MissingFilesAndReadOnlyMembers) {
  Player p({{"data.txt", "abc"}});
  EXPECT_EQ(p.run("local f, msg, code = io.open('none.txt')"
                  "assert(f == nil and msg:find('^none.txt: ') and type(code) == 'number')"
                  "local ok, e = pcall(io.lines, 'none.txt')"
                  "assert(not ok and e:find(\"cannot open file 'none.txt'\"), e)"
                  "local g = io.open('data.txt', 'w')"  // members are read-only whatever the mode
                  "local r, wmsg = g:write('x') assert(r == nil and type(wmsg) == 'string')"
                  "assert(g:read('*a') == 'abc')"
                  "assert(not pcall(io.open, 'data.txt', 'rw'))"),
            "");
}

TEST(ScriptIo, DiskFilesAndTemporaryFiles) {
  std::string name = uniqueName("out.txt");
  DiskFile cleanup(name, "");
  Player p({});
  EXPECT_EQ(p.run("local f = assert(io.open('//" + name +
                  "', 'w'))"
                  "assert(f:write('line one\\n', 2, '\\n') == f) f:close()"
                  "local t = {} for l in io.lines('//" +
                  name +
                  "') do t[#t + 1] = l end\n"
                  "assert(t[1] == 'line one' and t[2] == '2')"
                  "local tmp = assert(io.tmpfile())"
                  "tmp:write('temp') assert(tmp:seek('set') == 0 and tmp:read('*a') == 'temp') tmp:close()"),
            "");
  std::ifstream in(name);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "line one");
}

}  // namespace
