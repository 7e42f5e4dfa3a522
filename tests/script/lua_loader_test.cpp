// The chunk loader and the module search over the package: chunk names,
// marks and comment lines, precompiled chunks, and require's messages.
#include <gtest/gtest.h>

#include <string>

#include "lua_files_case.h"

using filecase::DiskFile;
using filecase::Exact;
using filecase::expectExact;
using scripttest::Player;

namespace {

std::string uniqueName(const char* stem) { return filecase::uniqueName("vs_loader_", stem); }

TEST(ScriptRequire, NotFoundListsEveryTriedPlace) {
  Player p({});
  const Exact cases[] = {
      {"require('missing')",
       "module 'missing' not found:\n\tno field package.preload['missing']\n\tno file './missing.lua'"},
      {"package.path = 'lib/?.lua;;?/init.lua' package.cpath = './?.so;c/?.so' require('a.b')",
       "module 'a.b' not found:\n\tno field package.preload['a.b']\n\tno file 'lib/a/b.lua'"
       "\n\tno file 'a/b/init.lua'\n\tno file './a/b.so'\n\tno file 'c/a/b.so'\n\tno file './a.so'"
       "\n\tno file 'c/a.so'"},
      {"package.path = nil require('x')", "'package.path' must be a string"},
      {"package.path = './?.lua' package.cpath = {} require('x')", "'package.cpath' must be a string"},
  };
  expectExact(p, cases);
}

TEST(ScriptRequire, LoadersAndTheirErrors) {
  Player p({{"mod.lua", "return {...}\n"},
            {"bad.lua", "x = = 1\n"},
            {"native.so", "not a library"},
            {"pkg.so", "not a library"},
            {"pre.lua", "return 'from the package'\n"}});
  const Exact cases[] = {
      // The loader gets the module's name and the file it came from.
      {"local t = require('mod') assert(t[1] == 'mod' and t[2] == './mod.lua' and package.loaded.mod == t)", ""},
      {"require('bad')",
       "error loading module 'bad' from file './bad.lua':\n\t./bad.lua:1: unexpected symbol near '='"},
      {"package.cpath = './?.so' require('native')",
       "error loading module 'native' from file './native.so':\n\t"
       "dynamic libraries not enabled; check your Lua installation"},
      {"package.cpath = './?.so' require('pkg.inner')",
       "error loading module 'pkg.inner' from file './pkg.so':\n\t"
       "dynamic libraries not enabled; check your Lua installation"},
      {"package.preload.pre = function(n) return 'preloaded ' .. n end assert(require('pre') == 'preloaded pre')", ""},
      {"assert(#package.searchers == 4)", ""},
      {"local f, msg, where = package.loadlib('native.so', 'luaopen_native') assert(f == nil and where == 'absent' "
       "and msg == 'dynamic libraries not enabled; check your Lua installation')",
       ""},
      {"package.loadlib('native.so')", "bad argument #2 to 'loadlib' (string expected, got no value)"},
  };
  expectExact(p, cases);
}

TEST(ScriptRequire, SearchpathResults) {
  Player p({{"a/b.lua", ""}, {"x/y.txt", ""}, {"two_parts", ""}, {"q.q", ""}});
  const Exact cases[] = {
      {"assert(select('#', package.searchpath('a.b', './?.lua')) == 1)", ""},
      {"assert(package.searchpath('a.b', 'none/?.lua;;;?.lua') == 'a/b.lua')", ""},
      {"assert(package.searchpath('x.y', ';x/?.lua;x/?.txt;') == nil)", ""},
      {"local f, e = package.searchpath('x.y', ';c/?.lua;;x/?.lua;') "
       "assert(f == nil and e == \"\\n\\tno file 'c/x/y.lua'\\n\\tno file 'x/x/y.lua'\", e)",
       ""},
      {"assert(package.searchpath('y', 'x/?.txt') == 'x/y.txt')", ""},
      // The separator and its replacement.
      {"assert(package.searchpath('two.parts', '?', '.', '_') == 'two_parts')", ""},
      {"assert(package.searchpath('a:b', '?.lua', ':') == 'a/b.lua')", ""},
      {"assert(package.searchpath('q.q', '?', '') == 'q.q')", ""},
      {"assert(package.searchpath('q', '?.?') == 'q.q')", ""},  // every mark is replaced
      {"local f, e = package.searchpath('a', '') assert(f == nil and e == '')", ""},
      {"package.searchpath()", "bad argument #1 to 'searchpath' (string expected, got no value)"},  // in order
      {"package.searchpath(nil, '?')", "bad argument #1 to 'searchpath' (string expected, got nil)"},
      {"package.searchpath('a')", "bad argument #2 to 'searchpath' (string expected, got no value)"},
  };
  expectExact(p, cases);
}

TEST(ScriptLoadfile, ChunksMarksAndModes) {
  Player p({{"chunk.lua", "return 1\n"},
            {"bad.lua", "x = = 1\n"},
            {"both.lua", "\xEF\xBB\xBF#!/first line\nreturn 'both'\n"},
            {"partial.lua", "\xEF\xBBreturn 1\n"},
            {"only.lua", "#only a comment line"},
            {"empty.lua", ""}});
  const Exact cases[] = {
      {"assert(debug.getinfo(loadfile('./chunk.lua')).source == '@./chunk.lua')", ""},
      {"local f, e = loadfile('bad.lua') assert(f == nil and e == \"bad.lua:1: unexpected symbol near '='\", e)", ""},
      {"local f, e = loadfile('chunk.lua', 'b') assert(f == nil and e == \"attempt to load a text chunk (mode is "
       "'b')\", e)",
       ""},
      {"local f, e = loadfile('nothing.lua') assert(f == nil and e == 'cannot open nothing.lua: No such file or "
       "directory', e)",
       ""},
      {"dofile('nothing.lua')", "cannot open nothing.lua: No such file or directory"},
      {"assert(dofile('both.lua') == 'both')", ""},
      {"local f, e = loadfile('partial.lua') assert(f == nil and e == \"partial.lua:1: unexpected symbol near "
       "char(239)\", e)",
       ""},
      {"assert(select('#', dofile('only.lua')) == 0 and select('#', dofile('empty.lua')) == 0)", ""},
      {"assert(debug.getinfo(loadfile()).source == '=stdin')", ""},
      {"local f, e = loadfile('//.') assert(f == nil and e == 'cannot read //.: Is a directory', e)", ""},
  };
  expectExact(p, cases);
}

TEST(ScriptLoadfile, PrecompiledChunkAfterACommentLine) {
  std::string binary = filecase::compiled("return 'compiled'");
  DiskFile commented(uniqueName("commented.luac"), "#!/usr/bin/lua\n" + binary);
  Player p({});
  EXPECT_EQ(p.run("assert(dofile('//" + commented.name +
                  "') == 'compiled')"
                  "local f, e = loadfile('//" +
                  commented.name +
                  "', 't')"
                  "assert(f == nil and e == \"attempt to load a binary chunk (mode is 't')\", e)"),
            "");
}

}  // namespace
