// The io library over package members, disk files and the standard files:
// every read format, the results and the exact messages scripts see.
#include <gtest/gtest.h>

#include <string>

#include "lua_files_case.h"

using filecase::DiskFile;
using filecase::Exact;
using filecase::expectExact;
using filecase::readAll;
using filecase::withoutPlace;
using scripttest::Player;

namespace {

std::string uniqueName(const char* stem) { return filecase::uniqueName("vs_io_", stem); }

const char kText[] = "alpha\nbeta\r\n\n  42 7.5 x\nlast";

// Each case opens the file named by the global F afresh as f.
const char* const kReadCases[] = {
    // Every format in turn, through to the end.
    "assert(f:read() == 'alpha' and f:read('*L') == 'beta\\r\\n' and f:read('*l') == '') "
    "assert(f:read('*n') == 42 and f:read('*n') == 7.5) "
    "assert(f:read('*n') == nil and f:read('*l') == 'x')"  // a failed number leaves the text
    "assert(f:read('*l') == 'last' and f:read('*l') == nil and f:read('*L') == nil) "
    "assert(f:read('*a') == '' and f:read(0) == nil and f:read(1) == nil)",
    // Several formats give several results.
    "local a, b, c = f:read(5, '*l', 2) assert(a == 'alpha' and b == '' and c == 'be')",
    // The first failure ends the list: only its nil is returned.
    "f:seek('end') assert(select('#', f:read('*l', '*a')) == 1 and f:read('*l', '*a') == nil)",
    "f:seek('end') local n, a = select('#', f:read(1, '*a')) assert(n == 1)",
    "f:seek('set', 5) local a, b = f:read('*a', '*l') assert(a == '\\nbeta\\r\\n\\n  42 7.5 x\\nlast' and b == nil) "
    "assert(select('#', f:read('*a', '*l')) == 2)",
    "assert(f:read('*n') == nil and select('#', f:read('*n', '*a')) == 1 and f:read('*a') == 'alpha\\n' .. "
    "'beta\\r\\n\\n  42 7.5 x\\nlast')",
    // Counts, the end test and seeking.
    "assert(f:read(0) == '' and f:seek() == 0 and f:read(3) == 'alp' and f:read(0) == '' and f:seek() == 3)",
    "assert(f:seek('end') == 28 and f:seek('set', 3) == 3 and f:read(2) == 'ha' and f:seek('cur') == 5) "
    "assert(f:seek('cur', -2) == 3 and f:seek('end', -4) == 24 and f:read(10) == 'last' and f:read(0) == nil)",
    // Lines with formats.
    "local t = {} for a, b in f:lines(1, '*l') do t[#t + 1] = a .. '|' .. b end "
    "assert(table.concat(t, ';') == 'a|lpha;b|eta\\r;\\n|  42 7.5 x;l|ast', table.concat(t, ';')) "
    "assert(io.type(f) == 'file')",  // file:lines leaves the file open
    "local t = {} for s in io.lines(F, 2) do t[#t + 1] = s end f:close() "
    "assert(#t == 14 and table.concat(t) == f2:read('*a'))",
    "local t = {} for s in io.lines(F, '*L') do t[#t + 1] = s end "
    "assert(#t == 5 and table.concat(t) == f:read('*a'))",
    "local t = {} for l in f:lines() do t[#t + 1] = l end assert(#t == 5 and t[2] == 'beta\\r' and t[5] == 'last') "
    "assert(f:read(0) == nil)",
    "f:read('*l', '*l', '*l') local t = {} for a, b in f:lines('*n', '*n') do t[#t + 1] = a + b end "
    "assert(#t == 1 and t[1] == 49.5 and f:read('*a') == 'x\\nlast')",
};

void expectReadCases(const std::string& fileName) {
  Player p({{"text.txt", kText}});
  for (const char* code : kReadCases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(p.run("F = '" + fileName + "' local f = assert(io.open(F, 'rb')) local f2 = io.open(F) " + code +
                    " f2:close() if io.type(f) == 'file' then f:close() end"),
              "");
  }
}

TEST(ScriptIoRead, FormatsOfAMember) { expectReadCases("text.txt"); }

TEST(ScriptIoRead, FormatsOfADiskFileAgreeWithAMember) {
  DiskFile disk(uniqueName("text.txt"), kText);
  expectReadCases("//" + disk.name);
}

TEST(ScriptIoRead, StandardInputIsEmpty) {
  Player p({});
  EXPECT_EQ(p.run("assert(io.read('*n') == nil and io.read(3) == nil and io.read('*L') == nil) "
                  "assert(io.stdin:read('*l') == nil and io.stdin:read('*a') == '') "
                  "assert(select('#', io.read('*l', '*l')) == 1) "
                  "for l in io.lines() do error('a line') end "
                  "for a in io.stdin:lines(1) do error('a byte') end "
                  "assert(io.input() == io.stdin and io.type(io.stdin) == 'file')"),
            "");
}

TEST(ScriptIoRead, ReadErrorsOfADiskHandle) {
  // A directory opens for reading but every read fails.
  Player p({});
  EXPECT_EQ(p.run("local f = assert(io.open('//.')) "
                  "for _, fmt in ipairs({'*a', '*l', '*L', '*n', 0, 5}) do "
                  "  local r, msg, code = f:read(fmt) "
                  "  assert(r == nil and msg == 'Is a directory' and code == 21, tostring(fmt)) "
                  "end f:close()"),
            "");
  EXPECT_EQ(withoutPlace(p.run("for l in io.lines('//.') do end")), "Is a directory");
}

TEST(ScriptIoRead, DefaultInputFromAName) {
  Player p({{"in.txt", "one\ntwo\n"}});
  EXPECT_EQ(p.run("local f = io.input('in.txt') assert(io.type(f) == 'file' and io.input() == f) "
                  "assert(io.read() == 'one' and io.read('*L') == 'two\\n' and io.read() == nil) "
                  "f:seek('set', 0) local t = {} for l in io.lines(nil, 2) do t[#t + 1] = l end "
                  "assert(table.concat(t, ',') == 'on,e\\n,tw,o\\n') "
                  "assert(io.input(io.stdin) == io.stdin and io.type(f) == 'file')"),
            "");
}

TEST(ScriptIoMessages, ArgumentErrors) {
  Player p({{"data.txt", "abc"}});
  const Exact cases[] = {
      {"f:read('*x')", "bad argument #1 to 'read' (invalid format)"},
      {"f:read(1, '*z')", "bad argument #2 to 'read' (invalid format)"},
      {"f:read('l')", "bad argument #1 to 'read' (invalid option)"},
      {"f:read({})", "bad argument #1 to 'read' (invalid option)"},
      {"f:read(-1)", "bad argument #1 to 'read' (invalid option)"},
      {"f:read(0/0)", "bad argument #1 to 'read' (invalid option)"},
      {"io.read('*x')", "bad argument #1 to 'read' (invalid format)"},
      {"f:seek('middle')", "bad argument #1 to 'seek' (invalid option 'middle')"},
      {"f:seek(1)", "bad argument #1 to 'seek' (invalid option '1')"},
      {"f:seek('set', 1.5)", "bad argument #2 to 'seek' (not an integer in proper range)"},
      {"f:seek('set', 2^40)", "bad argument #2 to 'seek' (not an integer in proper range)"},
      {"f:seek('set', 'x')", "bad argument #2 to 'seek' (number expected, got string)"},
      {"f:setvbuf('sometimes')", "bad argument #1 to 'setvbuf' (invalid option 'sometimes')"},
      {"f:setvbuf()", "bad argument #1 to 'setvbuf' (string expected, got no value)"},
      {"f:setvbuf('full', 'big')", "bad argument #2 to 'setvbuf' (number expected, got string)"},
      {"assert(f:setvbuf('full', 1024) == true and f:setvbuf('line') == true)", ""},
      {"f:write({})", "bad argument #1 to 'write' (string expected, got table)"},
      {"io.write('a', true)", "bad argument #2 to 'write' (string expected, got boolean)"},
      {"io.open()", "bad argument #1 to 'open' (string expected, got no value)"},
      {"io.open('data.txt', 'rw')", "invalid mode 'rw' (should match '[rwa]%+?b?')"},
      {"io.open('data.txt', 'rb+')", "invalid mode 'rb+' (should match '[rwa]%+?b?')"},
      {"io.open('data.txt', '')", "invalid mode '' (should match '[rwa]%+?b?')"},
      {"io.open('data.txt', 'x')", "invalid mode 'x' (should match '[rwa]%+?b?')"},
      {"for _, m in ipairs({'r', 'w', 'a', 'r+', 'w+b', 'ab', 'r+b'}) do assert(io.open('data.txt', m)):close() end",
       ""},
      {"io.type()", "bad argument #1 to 'type' (value expected)"},
      {"assert(io.type(42) == nil and io.type(io.stdout) == 'file')", ""},
      {"assert(tostring(f):find('^file %(0x%x+%)$'))", ""},
      {"f:lines(1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)", ""},  // 17 formats
      {"f:lines(1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)",
       "bad argument #16 to 'lines' (too many options)"},
      {"io.lines('data.txt', 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)",
       "bad argument #17 to 'lines' (too many options)"},
      {"for l in f:lines('*x') do end", "bad argument #2 to 'for iterator' (invalid format)"},
      {"io.lines('none.txt')", "cannot open file 'none.txt' (No such file or directory)"},
      {"io.input('none.txt')", "cannot open file 'none.txt' (No such file or directory)"},
      {"io.output('none.txt')", "cannot open file 'none.txt' (No such file or directory)"},
      {"local f, msg, code = io.open('none.txt') assert(f == nil and msg == 'none.txt: No such file or directory' "
       "and code == 2)",
       ""},
  };
  expectExact(p, cases, "local f = io.open('data.txt') ");
}

TEST(ScriptIoMessages, ClosedFiles) {
  Player p({{"data.txt", "abc"}});
  const Exact cases[] = {
      {"f:read()", "attempt to use a closed file"},
      {"f:close()", "attempt to use a closed file"},
      {"io.close(f)", "attempt to use a closed file"},
      {"f:write('x')", "attempt to use a closed file"},
      {"f:lines()", "attempt to use a closed file"},
      {"f:seek()", "attempt to use a closed file"},
      {"f:flush()", "attempt to use a closed file"},
      {"f:setvbuf('no')", "attempt to use a closed file"},
      {"io.input(f)", "attempt to use a closed file"},
      {"io.output(f)", "attempt to use a closed file"},
      {"assert(tostring(f) == 'file (closed)' and io.type(f) == 'closed file')", ""},
      {"collectgarbage() collectgarbage()", ""},
  };
  expectExact(p, cases, "local f = io.open('data.txt') assert(f:close() == true) ");

  const Exact defaults[] = {
      {"local f = io.open('data.txt') io.input(f) f:close() io.read()", "standard input file is closed"},
      {"local f = io.open('data.txt') io.input(f) f:close() io.lines()", "attempt to use a closed file"},
      {"local f = io.open('data.txt') io.output(f) f:close() io.write('x')", "standard output file is closed"},
      {"local f = io.open('data.txt') io.output(f) f:close() io.flush()", "standard output file is closed"},
      {"local f = io.open('data.txt') io.output(f) f:close() io.close()", "attempt to use a closed file"},
      {"local f = io.open('data.txt') local it = f:lines() f:close() it()", "file is already closed"},
      // io.lines(name) closes its file at the end.
      {"local it = io.lines('data.txt') assert(it() == 'abc' and it() == nil) it()", "file is already closed"},
      {"io.input(io.stdin) io.output(io.stdout) local a, b = io.close() "
       "assert(a == nil and b == 'cannot close standard file')",
       ""},
      {"local a, b = io.stderr:close() assert(a == nil and b == 'cannot close standard file') "
       "assert(io.type(io.stderr) == 'file')",
       ""},
  };
  expectExact(p, defaults);
}

TEST(ScriptIoWrite, ResultsAndNumberText) {
  std::string name = uniqueName("out.txt");
  DiskFile disk(name, "");
  Player p({{"data.txt", "abc"}});
  EXPECT_EQ(p.run("local f = assert(io.open('//" + name +
                  "', 'w')) "
                  "assert(f:write() == f and f:write('a', 1 / 3, '|', 1e100, '|', 2 ^ 53, '|', -0.5, '|', 3) == f) "
                  "assert(f:flush() == true and f:close() == true) "
                  "local o = io.output('//" +
                  name +
                  "') assert(io.output() == o) "
                  "assert(io.write('x', 12) == o and io.close() == true) "
                  "io.output(io.stdout)"),
            "");
  EXPECT_EQ(readAll(name), "x12");
  EXPECT_EQ(p.run("local f = assert(io.open('//" + name +
                  "', 'w')) "
                  "f:write('a', 1 / 3, '|', 1e100, '|', 2 ^ 53, '|', -0.5, '|', 3) f:close()"),
            "");
  EXPECT_EQ(readAll(name), "a0.33333333333333|1e+100|9.007199254741e+15|-0.5|3");
  // Appending, and a write to a file opened for reading failing as stdio does.
  EXPECT_EQ(p.run("local f = assert(io.open('//" + name +
                  "', 'a')) f:write('!') f:close() "
                  "local g = assert(io.open('//" +
                  name +
                  "')) "
                  "local r, msg, code = g:write('more', 1) "
                  "assert(r == nil and msg == 'Bad file descriptor' and code == 9, msg) g:close()"),
            "");
  EXPECT_EQ(readAll(name), "a0.33333333333333|1e+100|9.007199254741e+15|-0.5|3!");
  // Members are read-only: strings and numbers alike fail.
  EXPECT_EQ(p.run("local g = io.open('data.txt', 'w') "
                  "for _, v in ipairs({'x', 1}) do "
                  "  local r, msg, code = g:write(v) "
                  "  assert(r == nil and type(msg) == 'string' and type(code) == 'number') "
                  "end "
                  "assert(g:flush() == true and g:read('*a') == 'abc')"),
            "");
}

// The log takes 1023 bytes a write: a longer one is short, and says why
// rather than repeating whatever errno held before.
TEST(ScriptIoWrite, ALongWriteToTheLogFailsWithItsOwnMessage) {
  Player p({});
  EXPECT_EQ(p.run("local r, msg, code = io.write(string.rep('x', 1024)) "
                  "assert(r == nil and msg == 'Message too long' and code == 90, msg) "
                  "assert(io.write(string.rep('x', 1023)) == io.stdout)"),
            "");
}

TEST(ScriptIoWrite, StandardFilesDoNotSeek) {
  Player p({});
  EXPECT_EQ(p.run("for _, f in ipairs({io.stdin, io.stdout, io.stderr}) do "
                  "  local r, msg, code = f:seek('set', 0) "
                  "  assert(r == nil and msg == 'Illegal seek' and code == 29, msg) "
                  "  assert(f:flush() == true) "
                  "end"),
            "");
}

TEST(ScriptIoWrite, DiskSeekErrorsComeFromStdio) {
  DiskFile disk(uniqueName("ten.txt"), "0123456789");
  Player p({});
  EXPECT_EQ(p.run("local f = assert(io.open('//" + disk.name +
                  "')) "
                  "local r, msg, code = f:seek('set', -5) "
                  "assert(r == nil and msg == 'Invalid argument' and code == 22, msg) "
                  "assert(f:seek('end', 10) == 20 and f:read(1) == nil and f:seek('end', -3) == 7) "
                  "f:close()"),
            "");
}

}  // namespace
