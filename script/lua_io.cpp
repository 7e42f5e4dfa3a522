// The io library over the package file layer. A script's file is a "FILE*"
// userdata holding a PackageFile handle of one of three kinds: a package
// member (read in memory, writes dropped), a "//" disk file (stdio
// underneath) or one of the standard values 1 (an empty input), 2 and 3
// (the debug log). Everything a read does that depends on the kind lives in
// that kind's Reader; the read formats are a table over the readers.
//
// The entries keep the names, arguments, results and messages of Lua 5.2's
// io library (liolib.c: g_read, g_write, read_line, io_fclose...), which
// scripts rely on. Copyright (C) 1994-2015 Lua.org, PUC-Rio, under the MIT
// licence (see THIRD-PARTY).
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lua.hpp>

#include "controller/vfs.h"
#include "script/engine.h"
#include "script/lua_files.h"

namespace {

// Registry keys of the default input and output files.
const char kInput[] = "_IO_input";
const char kOutput[] = "_IO_output";

// Most formats one lines iterator keeps; the count is also the argument
// number reported when there are more.
const int kMaxLineFormats = LUA_MINSTACK - 3;

const size_t kLinePiece = 512;          // fgets piece of a disk line
const size_t kFirstAllPiece = 512;      // "*a" reads pieces twice the one before...
const size_t kLastAllPiece = 1u << 30;  // ...up to this
const size_t kCountPiece = 65536;       // a count is read in pieces of at most this

// ---- the file userdata -----------------------------------------------------

// A file as scripts hold it. closef is the operation that closes it; null
// once it is closed (or before it ever held a handle).
struct LMP_Stream {
  PackageFile* f;
  lua_CFunction closef;
};

bool isOpen(const LMP_Stream* s) { return s->closef != nullptr; }

LMP_Stream* checkStream(lua_State* L, int arg) {
  return static_cast<LMP_Stream*>(luaL_checkudata(L, arg, LUA_FILEHANDLE));
}

// The first argument's handle; raises for a closed file.
PackageFile* openHandle(lua_State* L) {
  LMP_Stream* s = checkStream(L, 1);
  if (!isOpen(s)) luaL_error(L, "attempt to use a closed file");
  return s->f;
}

// Pushes a stream that holds nothing yet, so that a failure between here
// and the open leaves nothing to close.
LMP_Stream* pushStream(lua_State* L) {
  LMP_Stream* s = static_cast<LMP_Stream*>(lua_newuserdata(L, sizeof(LMP_Stream)));
  s->f = nullptr;
  s->closef = nullptr;
  luaL_setmetatable(L, LUA_FILEHANDLE);
  return s;
}

int io_fclose(lua_State* L) { return luaL_fileresult(L, vfs_fclose(checkStream(L, 1)->f) == 0, nullptr); }

// The standard files stay open whatever a script does.
int io_noclose(lua_State* L) {
  checkStream(L, 1)->closef = &io_noclose;
  lua_pushnil(L);
  lua_pushliteral(L, "cannot close standard file");
  return 2;
}

// The stream takes the handle (when there is one) and will close it.
bool adopt(LMP_Stream* s, PackageFile* f) {
  if (!f) return false;
  s->f = f;
  s->closef = &io_fclose;
  return true;
}

// Closes the stream at index 1 (marked closed first: its close function
// may reopen it, as the standard files do).
int closeStream(lua_State* L) {
  LMP_Stream* s = checkStream(L, 1);
  lua_CFunction close = s->closef;
  s->closef = nullptr;
  return close(L);
}

// Pushes the named file opened as a new stream, or raises.
void opencheckfile(lua_State* L, const char* name, const char* mode) {
  if (!adopt(pushStream(L), vfs_fopen(LMP_getController(L), name, mode)))
    luaL_error(L, "cannot open file '%s' (%s)", name, strerror(errno));
}

// The default input or output's handle (the stream stays pushed); raises
// when it has been closed.
PackageFile* defaultHandle(lua_State* L, const char* key, const char* what) {
  lua_getfield(L, LUA_REGISTRYINDEX, key);
  LMP_Stream* s = static_cast<LMP_Stream*>(lua_touserdata(L, -1));
  if (!s || !isOpen(s)) luaL_error(L, "standard %s file is closed", what);
  return s->f;
}

// ---- readers ---------------------------------------------------------------

// What a read does on one kind of handle. line and number push exactly one
// value and report whether it is a result (the caller turns a failure into
// nil).
class Reader {
 public:
  virtual bool line(lua_State* L, PackageFile* f, bool keepEnd) const = 0;
  virtual bool number(lua_State* L, PackageFile* f) const = 0;
  // Whether a byte waits, without taking it.
  virtual bool more(PackageFile* f) const = 0;
  // Copies up to count bytes; the number copied.
  virtual size_t take(PackageFile* f, char* into, size_t count) const = 0;
  // Only stdio streams keep an error state.
  virtual void clearError(PackageFile*) const {}
  virtual bool failed(PackageFile*) const { return false; }

 protected:
  ~Reader() = default;
};

size_t takeThroughLayer(PackageFile* f, char* into, size_t count) {
  int32_t got = vfs_fread(into, static_cast<int32_t>(count), f);
  return got > 0 ? static_cast<size_t>(got) : 0;
}

// A member's bytes are all in memory: lines and numbers are found there.
class MemberReader final : public Reader {
 public:
  bool line(lua_State* L, PackageFile* f, bool keepEnd) const override {
    const char* at = "";
    size_t left = unread(f, &at);
    const char* end = left ? static_cast<const char*>(memchr(at, '\n', left)) : nullptr;
    size_t len = end ? static_cast<size_t>(end - at) + 1 : left;
    lua_pushlstring(L, at, end && !keepEnd ? len - 1 : len);
    f->pos += static_cast<int32_t>(len);
    return len > 0;
  }

  bool number(lua_State* L, PackageFile* f) const override {
    const char* at = "";
    size_t left = unread(f, &at);
    size_t blanks = 0;
    while (blanks < left && isspace(static_cast<unsigned char>(at[blanks]))) ++blanks;
    f->pos += static_cast<int32_t>(blanks);  // taken even when no number follows
    // strtod wants a terminated text; no number's text is this long.
    char text[200];
    size_t len = left - blanks < sizeof text - 1 ? left - blanks : sizeof text - 1;
    if (len > 0) memcpy(text, at + blanks, len);
    text[len] = '\0';
    char* end = nullptr;
    double value = strtod(text, &end);
    if (end == text) {
      lua_pushnil(L);
      return false;
    }
    f->pos += static_cast<int32_t>(end - text);
    lua_pushnumber(L, value);
    return true;
  }

  bool more(PackageFile* f) const override { return vfs_load(f) && f->pos < f->size; }

  size_t take(PackageFile* f, char* into, size_t count) const override { return takeThroughLayer(f, into, count); }

 private:
  // The unread bytes (loaded on first use); none when the member is missing.
  static size_t unread(PackageFile* f, const char** at) {
    if (!vfs_load(f) || f->pos >= f->size) return 0;
    *at = reinterpret_cast<const char*>(f->data) + f->pos;
    return static_cast<size_t>(f->size - f->pos);
  }
};

// A disk file reads as stdio reads it.
class DiskReader final : public Reader {
 public:
  bool line(lua_State* L, PackageFile* f, bool keepEnd) const override {
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (;;) {
      char* piece = luaL_prepbuffsize(&b, kLinePiece);
      if (!fgets(piece, static_cast<int>(kLinePiece), f->file)) {  // the end without a line end
        luaL_pushresult(&b);
        return lua_rawlen(L, -1) > 0;
      }
      size_t len = strlen(piece);
      bool ended = len > 0 && piece[len - 1] == '\n';
      luaL_addsize(&b, ended && !keepEnd ? len - 1 : len);
      if (ended) {
        luaL_pushresult(&b);
        return true;
      }
    }
  }

  bool number(lua_State* L, PackageFile* f) const override {
    double value = 0;
    if (fscanf(f->file, LUA_NUMBER_SCAN, &value) != 1) {
      lua_pushnil(L);
      return false;
    }
    lua_pushnumber(L, value);
    return true;
  }

  bool more(PackageFile* f) const override {
    int c = getc(f->file);
    ungetc(c, f->file);
    return c != EOF;
  }

  size_t take(PackageFile* f, char* into, size_t count) const override { return takeThroughLayer(f, into, count); }

  void clearError(PackageFile* f) const override { clearerr(f->file); }
  bool failed(PackageFile* f) const override { return ferror(f->file) != 0; }
};

// The standard values: an empty stream that is never treated as a record.
class EmptyReader final : public Reader {
 public:
  bool line(lua_State* L, PackageFile*, bool) const override {
    lua_pushliteral(L, "");
    return false;
  }
  bool number(lua_State* L, PackageFile*) const override {
    lua_pushnil(L);
    return false;
  }
  bool more(PackageFile*) const override { return false; }
  size_t take(PackageFile*, char*, size_t) const override { return 0; }
};

const MemberReader kMemberReader{};
const DiskReader kDiskReader{};
const EmptyReader kEmptyReader{};

const Reader& readerOf(PackageFile* f) {
  if (vfs_isStandard(f)) return kEmptyReader;
  if (f->isDisk) return kDiskReader;
  return kMemberReader;
}

// ---- read formats ----------------------------------------------------------

// "*l", "*L", and lines without formats.
bool read_line(lua_State* L, const Reader& r, PackageFile* f, bool keepEnd) { return r.line(L, f, keepEnd); }

bool readNumber(lua_State* L, const Reader& r, PackageFile* f) { return r.number(L, f); }

// Always a result, "" at the end.
bool readAll(lua_State* L, const Reader& r, PackageFile* f) {
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  size_t piece = kFirstAllPiece;
  for (;;) {
    size_t got = r.take(f, luaL_prepbuffsize(&b, piece), piece);
    luaL_addsize(&b, got);
    if (got < piece) break;
    if (piece < kLastAllPiece) piece *= 2;
  }
  luaL_pushresult(&b);
  return true;
}

// Up to count bytes, in pieces, so that a huge count costs only what is there.
bool readCount(lua_State* L, const Reader& r, PackageFile* f, size_t count) {
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  size_t total = 0;
  while (total < count) {
    size_t want = count - total < kCountPiece ? count - total : kCountPiece;
    size_t got = r.take(f, luaL_prepbuffsize(&b, want), want);
    luaL_addsize(&b, got);
    total += got;
    if (got < want) break;
  }
  luaL_pushresult(&b);
  return total > 0;
}

// read(0): "" while a byte waits, a failure at the end.
bool readEndTest(lua_State* L, const Reader& r, PackageFile* f) {
  bool waiting = r.more(f);
  lua_pushliteral(L, "");
  return waiting;
}

struct ReadFormat {
  char letter;  // the format is "*" followed by this
  bool (*read)(lua_State* L, const Reader& r, PackageFile* f);
};

const ReadFormat kReadFormats[] = {
    {'n', readNumber},
    {'l', [](lua_State* L, const Reader& r, PackageFile* f) { return read_line(L, r, f, false); }},
    {'L', [](lua_State* L, const Reader& r, PackageFile* f) { return read_line(L, r, f, true); }},
    {'a', readAll},
};

// Reads what argument arg asks for and pushes it.
bool readArgument(lua_State* L, const Reader& r, PackageFile* f, int arg) {
  if (lua_type(L, arg) == LUA_TNUMBER) {
    long long count = 0;
    luaL_argcheck(L, LMP_roundToInteger(lua_tonumber(L, arg), 0, 9007199254740992.0, &count), arg, "invalid option");
    if (count == 0) return readEndTest(L, r, f);
    return readCount(L, r, f, static_cast<size_t>(count));
  }
  const char* format = lua_tostring(L, arg);
  luaL_argcheck(L, format && format[0] == '*', arg, "invalid option");
  for (const ReadFormat& entry : kReadFormats)
    if (entry.letter == format[1]) return entry.read(L, r, f);
  luaL_argerror(L, arg, "invalid format");
  return false;
}

// file:read and io.read: the arguments from index first on are formats (none:
// one line). A result per format up to the first that fails, which gives
// nil; a stdio error gives nil, its message and number instead.
int g_read(lua_State* L, PackageFile* f, int first) {
  const Reader& r = readerOf(f);
  int last = lua_gettop(L);
  r.clearError(f);
  int results = 0;
  bool ok = true;
  if (last < first) {
    ok = read_line(L, r, f, false);
    results = 1;
  } else {
    luaL_checkstack(L, last - first + 1 + LUA_MINSTACK, "too many arguments");
    for (int arg = first; ok && arg <= last; ++arg, ++results) ok = readArgument(L, r, f, arg);
  }
  if (r.failed(f)) return luaL_fileresult(L, 0, nullptr);
  if (!ok) {
    lua_pop(L, 1);
    lua_pushnil(L);
  }
  return results;
}

// ---- lines iterators -------------------------------------------------------

// Upvalues: the stream, whether the iterator opened it (and so closes it at
// the end), then the formats.
int nextLine(lua_State* L) {
  LMP_Stream* s = static_cast<LMP_Stream*>(lua_touserdata(L, lua_upvalueindex(1)));
  if (!isOpen(s)) return luaL_error(L, "file is already closed");
  lua_settop(L, 0);
  lua_pushvalue(L, lua_upvalueindex(1));  // index 1, then the formats
  for (int i = 3; !lua_isnone(L, lua_upvalueindex(i)); ++i) lua_pushvalue(L, lua_upvalueindex(i));
  int results = g_read(L, s->f, 2);
  if (!lua_isnil(L, -results)) return results;
  if (results > 1) return luaL_error(L, "%s", lua_tostring(L, -results + 1));  // a read error
  if (lua_toboolean(L, lua_upvalueindex(2))) {
    lua_settop(L, 0);
    lua_pushvalue(L, lua_upvalueindex(1));
    closeStream(L);
  }
  return 0;
}

// The stream at index 1 and the formats after it become the iterator.
int pushLines(lua_State* L, bool closeAtEnd) {
  int formats = lua_gettop(L) - 1;
  luaL_argcheck(L, formats <= kMaxLineFormats, kMaxLineFormats, "too many options");
  lua_pushboolean(L, closeAtEnd);
  lua_insert(L, 2);  // the stack is the stream, the flag and the formats
  lua_pushcclosure(L, nextLine, 2 + formats);
  return 1;
}

// ---- the io table ----------------------------------------------------------

int io_open(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const char* mode = luaL_optstring(L, 2, "r");
  LMP_Stream* s = pushStream(L);
  // Lua's rule for the mode: [rwa]%+?b?
  const char* m = mode;
  bool valid = *m != '\0' && strchr("rwa", *m) != nullptr;
  if (valid) {
    ++m;
    if (*m == '+') ++m;
    if (*m == 'b') ++m;
    valid = *m == '\0';
  }
  if (!valid) return luaL_error(L, "invalid mode '%s' (should match '[rwa]%%+?b?')", mode);
  if (!adopt(s, vfs_fopen(LMP_getController(L), name, mode))) return luaL_fileresult(L, 0, name);
  return 1;
}

// No process is ever started.
int io_popen(lua_State* L) {
  const char* command = luaL_checkstring(L, 1);
  luaL_optstring(L, 2, "r");
  return luaL_fileresult(L, 0, command);
}

// A stdio temporary file, kept as a disk handle.
int io_tmpfile(lua_State* L) {
  LMP_Stream* s = pushStream(L);
  FILE* tmp = tmpfile();
  if (!tmp) return luaL_fileresult(L, 0, nullptr);
  PackageFile* f = new (std::nothrow) PackageFile{};
  if (!f) {
    fclose(tmp);
    return luaL_error(L, "not enough memory");
  }
  f->isDisk = true;
  f->file = tmp;
  adopt(s, f);
  return 1;
}

int io_close(lua_State* L) {
  if (lua_isnone(L, 1)) lua_getfield(L, LUA_REGISTRYINDEX, kOutput);
  openHandle(L);
  return closeStream(L);
}

int io_type(lua_State* L) {
  luaL_checkany(L, 1);
  const LMP_Stream* s = static_cast<const LMP_Stream*>(luaL_testudata(L, 1, LUA_FILEHANDLE));
  if (!s)
    lua_pushnil(L);
  else
    lua_pushstring(L, isOpen(s) ? "file" : "closed file");
  return 1;
}

// io.input and io.output: a name opens a file, a file is taken as it is;
// either becomes the default. The default is returned.
int changeDefault(lua_State* L, const char* key, const char* mode) {
  if (!lua_isnoneornil(L, 1)) {
    const char* name = lua_tostring(L, 1);
    if (name) {
      opencheckfile(L, name, mode);
    } else {
      openHandle(L);
      lua_pushvalue(L, 1);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, key);
  }
  lua_getfield(L, LUA_REGISTRYINDEX, key);
  return 1;
}

int io_input(lua_State* L) { return changeDefault(L, kInput, "r"); }
int io_output(lua_State* L) { return changeDefault(L, kOutput, "w"); }

int io_read(lua_State* L) {
  PackageFile* f = defaultHandle(L, kInput, "input");
  lua_pop(L, 1);  // the registry keeps the stream; the arguments are the formats
  return g_read(L, f, 1);
}

// io.lines(): the default input, left open; io.lines(name): the file,
// closed at the end.
int io_lines(lua_State* L) {
  if (lua_isnone(L, 1)) lua_pushnil(L);
  bool named = !lua_isnil(L, 1);
  if (named) {
    opencheckfile(L, luaL_checkstring(L, 1), "r");
  } else {
    lua_getfield(L, LUA_REGISTRYINDEX, kInput);
  }
  lua_replace(L, 1);
  if (!named) openHandle(L);
  return pushLines(L, named);
}

// Each argument from index first on, in order; after a failed write the rest
// are still checked but not written. The stream just above the arguments is
// the result.
int g_write(lua_State* L, PackageFile* f, int first) {
  int last = lua_gettop(L) - 1;
  bool ok = true;
  for (int arg = first; arg <= last; ++arg) {
    if (lua_type(L, arg) == LUA_TNUMBER) {
      ok = ok && vfs_fprintf(f, "%.14g", lua_tonumber(L, arg)) > 0;
      continue;
    }
    size_t len = 0;
    const char* text = luaL_checklstring(L, arg, &len);
    ok = ok && len <= static_cast<size_t>(INT32_MAX) &&
         vfs_fwrite(text, static_cast<int32_t>(len), f) == static_cast<int32_t>(len);
  }
  if (!ok) return luaL_fileresult(L, 0, nullptr);
  return 1;
}

int io_write(lua_State* L) { return g_write(L, defaultHandle(L, kOutput, "output"), 1); }

// Only stdio streams hold anything to flush.
int flushHandle(lua_State* L, PackageFile* f) {
  if (!vfs_isStandard(f) && f->isDisk) return luaL_fileresult(L, fflush(f->file) == 0, nullptr);
  lua_pushboolean(L, 1);
  return 1;
}

int io_flush(lua_State* L) { return flushHandle(L, defaultHandle(L, kOutput, "output")); }

// ---- file methods ----------------------------------------------------------

int f_read(lua_State* L) { return g_read(L, openHandle(L), 2); }

int f_lines(lua_State* L) {
  openHandle(L);
  return pushLines(L, false);
}

int f_write(lua_State* L) {
  PackageFile* f = openHandle(L);
  lua_pushvalue(L, 1);
  return g_write(L, f, 2);
}

int f_seek(lua_State* L) {
  static const char* const kWhenceNames[] = {"set", "cur", "end", nullptr};
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  PackageFile* f = openHandle(L);
  int whence = kWhence[luaL_checkoption(L, 2, "cur", kWhenceNames)];
  lua_Number offset = luaL_optnumber(L, 3, 0);
  luaL_argcheck(L, offset >= -2147483648.0 && offset <= 2147483647.0 && std::trunc(offset) == offset, 3,
                "not an integer in proper range");
  if (vfs_isStandard(f)) {
    errno = ESPIPE;
    return luaL_fileresult(L, 0, nullptr);
  }
  int failed = vfs_fseek(f, static_cast<int32_t>(offset), whence);
  if (!f->isDisk) {  // a member's seek always lands inside it
    lua_pushnumber(L, f->pos);
    return 1;
  }
  if (failed != 0) return luaL_fileresult(L, 0, nullptr);
  lua_pushnumber(L, static_cast<lua_Number>(ftell(f->file)));
  return 1;
}

// Buffering is the layer's business: the arguments are checked, nothing changes.
int f_setvbuf(lua_State* L) {
  static const char* const kModes[] = {"no", "full", "line", nullptr};
  openHandle(L);
  luaL_checkoption(L, 2, nullptr, kModes);
  luaL_optnumber(L, 3, LUAL_BUFFERSIZE);
  lua_pushboolean(L, 1);
  return 1;
}

int f_flush(lua_State* L) { return flushHandle(L, openHandle(L)); }

int f_gc(lua_State* L) {
  LMP_Stream* s = checkStream(L, 1);
  if (isOpen(s) && s->f) closeStream(L);
  return 0;
}

int f_tostring(lua_State* L) {
  LMP_Stream* s = checkStream(L, 1);
  if (isOpen(s))
    lua_pushfstring(L, "file (%p)", static_cast<void*>(s->f));
  else
    lua_pushliteral(L, "file (closed)");
  return 1;
}

const luaL_Reg kIoFunctions[] = {{"close", io_close}, {"flush", io_flush}, {"input", io_input},
                                 {"lines", io_lines}, {"open", io_open},   {"output", io_output},
                                 {"popen", io_popen}, {"read", io_read},   {"tmpfile", io_tmpfile},
                                 {"type", io_type},   {"write", io_write}, {nullptr, nullptr}};

const luaL_Reg kFileMethods[] = {
    {"close", io_close},    {"flush", f_flush}, {"lines", f_lines}, {"read", f_read},           {"seek", f_seek},
    {"setvbuf", f_setvbuf}, {"write", f_write}, {"__gc", f_gc},     {"__tostring", f_tostring}, {nullptr, nullptr}};

// io[field] := a stream over a standard value that refuses to close; the
// default files are also kept under their registry key.
void addStandardFile(lua_State* L, PackageFile* f, const char* field, const char* defaultKey) {
  LMP_Stream* s = pushStream(L);
  s->f = f;
  s->closef = &io_noclose;
  if (defaultKey) {
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, defaultKey);
  }
  lua_setfield(L, -2, field);
}

}  // namespace

int LMP_openIo(lua_State* L) {
  luaL_newlib(L, kIoFunctions);
  luaL_newmetatable(L, LUA_FILEHANDLE);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");  // the methods are looked up in the metatable itself
  luaL_setfuncs(L, kFileMethods, 0);
  lua_pop(L, 1);
  addStandardFile(L, vfs_stdin(), "stdin", kInput);
  addStandardFile(L, vfs_stdout(), "stdout", kOutput);
  addStandardFile(L, vfs_stderr(), "stderr", nullptr);
  return 1;
}
