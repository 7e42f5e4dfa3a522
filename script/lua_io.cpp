// Lua's io library over the package file layer. Streams are "FILE*"
// userdata holding a PackageFile handle: a package member (read in memory,
// writes dropped), a "//" disk file (stdio underneath), or one of the
// standard values 1 (an empty input), 2 and 3 (the debug log).
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lua5.2/lua.hpp>

#include "controller/vfs.h"
#include "script/engine.h"
#include "script/lua_files.h"

namespace {

const char kInput[] = "_IO_input";
const char kOutput[] = "_IO_output";

struct LMP_Stream {
  PackageFile* f;
  lua_CFunction closef;  // null once closed
};

enum Kind { STANDARD, DISK, MEMBER };

Kind kindOf(PackageFile* f) {
  if (vfs_isStandard(f)) return STANDARD;
  return f->isDisk ? DISK : MEMBER;
}

LMP_Stream* tolstream(lua_State* L) { return static_cast<LMP_Stream*>(luaL_checkudata(L, 1, LUA_FILEHANDLE)); }

bool isclosed(const LMP_Stream* p) { return p->closef == nullptr; }

int io_type(lua_State* L) {
  luaL_checkany(L, 1);
  LMP_Stream* p = static_cast<LMP_Stream*>(luaL_testudata(L, 1, LUA_FILEHANDLE));
  if (!p)
    lua_pushnil(L);
  else if (isclosed(p))
    lua_pushliteral(L, "closed file");
  else
    lua_pushliteral(L, "file");
  return 1;
}

int f_tostring(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  if (isclosed(p))
    lua_pushliteral(L, "file (closed)");
  else
    lua_pushfstring(L, "file (%p)", static_cast<void*>(p->f));
  return 1;
}

PackageFile* tofile(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  if (isclosed(p)) luaL_error(L, "attempt to use a closed file");
  return p->f;
}

// A stream marked closed first, so that a memory error leaves no handle open.
LMP_Stream* newprefile(lua_State* L) {
  LMP_Stream* p = static_cast<LMP_Stream*>(lua_newuserdata(L, sizeof(LMP_Stream)));
  p->f = nullptr;
  p->closef = nullptr;
  luaL_setmetatable(L, LUA_FILEHANDLE);
  return p;
}

int aux_close(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  lua_CFunction cf = p->closef;
  p->closef = nullptr;
  return (*cf)(L);
}

int io_close(lua_State* L) {
  if (lua_isnone(L, 1)) lua_getfield(L, LUA_REGISTRYINDEX, kOutput);
  tofile(L);
  return aux_close(L);
}

int f_gc(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  if (!isclosed(p) && p->f) aux_close(L);
  return 0;
}

int io_fclose(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  int res = vfs_fclose(p->f);
  return luaL_fileresult(L, res == 0, nullptr);
}

int io_noclose(lua_State* L) {
  LMP_Stream* p = tolstream(L);
  p->closef = &io_noclose;  // keep the standard file open
  lua_pushnil(L);
  lua_pushliteral(L, "cannot close standard file");
  return 2;
}

LMP_Stream* newfile(lua_State* L) {
  LMP_Stream* p = newprefile(L);
  p->closef = &io_fclose;
  return p;
}

void opencheckfile(lua_State* L, const char* fname, const char* mode) {
  LMP_Stream* p = newfile(L);
  p->f = vfs_fopen(LMP_getController(L), fname, mode);
  if (!p->f) {
    p->closef = nullptr;
    luaL_error(L, "cannot open file '%s' (%s)", fname, strerror(errno));
  }
}

int io_open(lua_State* L) {
  const char* filename = luaL_checkstring(L, 1);
  const char* mode = luaL_optstring(L, 2, "r");
  LMP_Stream* p = newfile(L);
  int i = 0;
  // mode must match [rwa]%+?b?
  if (!(mode[i] != '\0' && strchr("rwa", mode[i++]) != nullptr && (mode[i] != '+' || ++i) &&
        (mode[i] != 'b' || ++i) && (mode[i] == '\0')))
    return luaL_error(L, "invalid mode '%s' (should match '[rwa]%%+?b?')", mode);
  p->f = vfs_fopen(LMP_getController(L), filename, mode);
  if (!p->f) {
    p->closef = nullptr;
    return luaL_fileresult(L, 0, filename);
  }
  return 1;
}

// No process is ever started.
int io_popen(lua_State* L) {
  const char* command = luaL_checkstring(L, 1);
  luaL_optstring(L, 2, "r");
  return luaL_fileresult(L, 0, command);
}

int io_tmpfile(lua_State* L) {
  LMP_Stream* p = newfile(L);
  FILE* tmp = tmpfile();
  if (!tmp) {
    p->closef = nullptr;
    return luaL_fileresult(L, 0, nullptr);
  }
  PackageFile* f = new (std::nothrow) PackageFile{};
  if (!f) {
    fclose(tmp);
    p->closef = nullptr;
    return luaL_error(L, "not enough memory");
  }
  f->isDisk = true;
  f->file = tmp;
  p->f = f;
  return 1;
}

PackageFile* getiofile(lua_State* L, const char* findex) {
  lua_getfield(L, LUA_REGISTRYINDEX, findex);
  LMP_Stream* p = static_cast<LMP_Stream*>(lua_touserdata(L, -1));
  if (!p || isclosed(p)) luaL_error(L, "standard %s file is closed", findex + strlen("_IO_"));
  return p->f;
}

int g_iofile(lua_State* L, const char* f, const char* mode) {
  if (!lua_isnoneornil(L, 1)) {
    const char* filename = lua_tostring(L, 1);
    if (filename) {
      opencheckfile(L, filename, mode);
    } else {
      tofile(L);
      lua_pushvalue(L, 1);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, f);
  }
  lua_getfield(L, LUA_REGISTRYINDEX, f);
  return 1;
}

int io_input(lua_State* L) { return g_iofile(L, kInput, "r"); }
int io_output(lua_State* L) { return g_iofile(L, kOutput, "w"); }

// ---- reading ----------------------------------------------------------------

// The member's unread bytes (loading them on first use); none for the
// standard values.
size_t memberRemaining(PackageFile* f, const char** at) {
  if (!vfs_load(f) || f->pos >= f->size) return 0;
  *at = reinterpret_cast<const char*>(f->data) + f->pos;
  return static_cast<size_t>(f->size - f->pos);
}

int read_number(lua_State* L, PackageFile* f) {
  Kind kind = kindOf(f);
  if (kind == DISK) {
    double d;
    if (fscanf(f->file, LUA_NUMBER_SCAN, &d) == 1) {
      lua_pushnumber(L, d);
      return 1;
    }
  } else if (kind == MEMBER) {
    const char* at = nullptr;
    size_t n = memberRemaining(f, &at);
    size_t skip = 0;
    while (skip < n && isspace(static_cast<unsigned char>(at[skip]))) ++skip;
    f->pos += static_cast<int32_t>(skip);
    char text[200];  // far longer than any number's text
    size_t len = n - skip < sizeof text - 1 ? n - skip : sizeof text - 1;
    if (len > 0) memcpy(text, at + skip, len);
    text[len] = '\0';
    char* end = nullptr;
    double d = strtod(text, &end);
    if (end != text) {
      f->pos += static_cast<int32_t>(end - text);
      lua_pushnumber(L, d);
      return 1;
    }
  }
  lua_pushnil(L);  // "result" to be removed
  return 0;
}

int test_eof(lua_State* L, PackageFile* f) {
  int c = -1;
  switch (kindOf(f)) {
    case DISK:
      c = getc(f->file);
      ungetc(c, f->file);
      break;
    case MEMBER:
      c = vfs_fgetc(f);
      if (c != -1) vfs_fseek(f, -1, SEEK_CUR);
      break;
    case STANDARD:
      break;
  }
  lua_pushlstring(L, nullptr, 0);
  return c != -1;
}

int read_line(lua_State* L, PackageFile* f, int chop) {
  Kind kind = kindOf(f);
  if (kind == MEMBER) {
    const char* at = nullptr;
    size_t n = memberRemaining(f, &at);
    const char* eol = n ? static_cast<const char*>(memchr(at, '\n', n)) : nullptr;
    if (eol) {
      size_t len = static_cast<size_t>(eol - at) + 1;
      lua_pushlstring(L, at, len - static_cast<size_t>(chop));
      f->pos += static_cast<int32_t>(len);
      return 1;
    }
    lua_pushlstring(L, at, n);
    f->pos += static_cast<int32_t>(n);
    return n > 0;
  }
  if (kind == STANDARD) {
    lua_pushliteral(L, "");
    return 0;
  }
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  for (;;) {
    char* p = luaL_prepbuffsize(&b, 512);
    if (fgets(p, 512, f->file) == nullptr) {
      luaL_pushresult(&b);
      return lua_rawlen(L, -1) > 0;
    }
    size_t l = strlen(p);
    if (l == 0 || p[l - 1] != '\n') {
      luaL_addsize(&b, l);
    } else {
      luaL_addsize(&b, l - static_cast<size_t>(chop));
      luaL_pushresult(&b);
      return 1;
    }
  }
}

void read_all(lua_State* L, PackageFile* f) {
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  if (kindOf(f) != STANDARD) {
    size_t rlen = 512;  // each piece twice the one before
    for (;;) {
      char* p = luaL_prepbuffsize(&b, rlen);
      int32_t got = vfs_fread(p, static_cast<int32_t>(rlen), f);
      size_t nr = got > 0 ? static_cast<size_t>(got) : 0;
      luaL_addsize(&b, nr);
      if (nr < rlen) break;
      if (rlen <= (1u << 29)) rlen *= 2;
    }
  }
  luaL_pushresult(&b);
}

int read_chars(lua_State* L, PackageFile* f, size_t n) {
  luaL_Buffer b;
  luaL_buffinit(L, &b);
  size_t total = 0;
  if (kindOf(f) != STANDARD) {
    // In pieces, so that a huge count costs only what is really there.
    while (total < n) {
      size_t want = n - total < 65536 ? n - total : 65536;
      char* p = luaL_prepbuffsize(&b, want);
      int32_t got = vfs_fread(p, static_cast<int32_t>(want), f);
      size_t nr = got > 0 ? static_cast<size_t>(got) : 0;
      luaL_addsize(&b, nr);
      total += nr;
      if (nr < want) break;
    }
  }
  luaL_pushresult(&b);
  return total > 0;
}

int g_read(lua_State* L, PackageFile* f, int first) {
  int nargs = lua_gettop(L) - 1;
  int success;
  int n;
  bool disk = kindOf(f) == DISK;
  if (disk) clearerr(f->file);
  if (nargs == 0) {
    success = read_line(L, f, 1);
    n = first + 1;
  } else {
    luaL_checkstack(L, nargs + LUA_MINSTACK, "too many arguments");
    success = 1;
    for (n = first; nargs-- && success; n++) {
      if (lua_type(L, n) == LUA_TNUMBER) {
        long long count = 0;
        luaL_argcheck(L, LMP_roundToInteger(lua_tonumber(L, n), 0, 9007199254740992.0, &count), n,
                      "invalid option");
        size_t l = static_cast<size_t>(count);
        success = (l == 0) ? test_eof(L, f) : read_chars(L, f, l);
      } else {
        const char* p = lua_tostring(L, n);
        luaL_argcheck(L, p && p[0] == '*', n, "invalid option");
        switch (p[1]) {
          case 'n': success = read_number(L, f); break;
          case 'l': success = read_line(L, f, 1); break;
          case 'L': success = read_line(L, f, 0); break;
          case 'a':
            read_all(L, f);
            success = 1;
            break;
          default: return luaL_argerror(L, n, "invalid format");
        }
      }
    }
  }
  if (disk && ferror(f->file)) return luaL_fileresult(L, 0, nullptr);
  if (!success) {
    lua_pop(L, 1);
    lua_pushnil(L);
  }
  return n - first;
}

int io_read(lua_State* L) { return g_read(L, getiofile(L, kInput), 1); }
int f_read(lua_State* L) { return g_read(L, tofile(L), 2); }

int io_readline(lua_State* L) {
  LMP_Stream* p = static_cast<LMP_Stream*>(lua_touserdata(L, lua_upvalueindex(1)));
  int n = static_cast<int>(lua_tonumber(L, lua_upvalueindex(2)));  // our own small count
  if (isclosed(p)) return luaL_error(L, "file is already closed");
  lua_settop(L, 1);
  for (int i = 1; i <= n; i++) lua_pushvalue(L, lua_upvalueindex(3 + i));
  n = g_read(L, p->f, 2);
  if (!lua_isnil(L, -n)) return n;
  if (n > 1) return luaL_error(L, "%s", lua_tostring(L, -n + 1));
  if (lua_toboolean(L, lua_upvalueindex(3))) {  // the iterator opened the file
    lua_settop(L, 0);
    lua_pushvalue(L, lua_upvalueindex(1));
    aux_close(L);
  }
  return 0;
}

void aux_lines(lua_State* L, bool toclose) {
  int n = lua_gettop(L) - 1;
  luaL_argcheck(L, n <= LUA_MINSTACK - 3, LUA_MINSTACK - 3, "too many options");
  lua_pushvalue(L, 1);
  lua_pushnumber(L, n);
  lua_pushboolean(L, toclose);
  for (int i = 1; i <= n; i++) lua_pushvalue(L, i + 1);
  lua_pushcclosure(L, io_readline, 3 + n);
}

int f_lines(lua_State* L) {
  tofile(L);
  aux_lines(L, false);
  return 1;
}

int io_lines(lua_State* L) {
  bool toclose;
  if (lua_isnone(L, 1)) lua_pushnil(L);
  if (lua_isnil(L, 1)) {
    lua_getfield(L, LUA_REGISTRYINDEX, kInput);
    lua_replace(L, 1);
    tofile(L);
    toclose = false;
  } else {
    const char* filename = luaL_checkstring(L, 1);
    opencheckfile(L, filename, "r");
    lua_replace(L, 1);
    toclose = true;
  }
  aux_lines(L, toclose);
  return 1;
}

// ---- writing, seeking, buffering ------------------------------------------

int g_write(lua_State* L, PackageFile* f, int arg) {
  int nargs = lua_gettop(L) - arg;
  bool status = true;
  for (; nargs--; arg++) {
    if (lua_type(L, arg) == LUA_TNUMBER) {
      status = status && vfs_fprintf(f, "%.14g", lua_tonumber(L, arg)) > 0;
    } else {
      size_t l;
      const char* s = luaL_checklstring(L, arg, &l);
      status = status && l <= static_cast<size_t>(INT32_MAX) &&
               vfs_fwrite(s, static_cast<int32_t>(l), f) == static_cast<int32_t>(l);
    }
  }
  if (status) return 1;  // the file is on top
  return luaL_fileresult(L, 0, nullptr);
}

int io_write(lua_State* L) { return g_write(L, getiofile(L, kOutput), 1); }

int f_write(lua_State* L) {
  PackageFile* f = tofile(L);
  lua_pushvalue(L, 1);
  return g_write(L, f, 2);
}

int f_seek(lua_State* L) {
  static const int mode[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  static const char* const modenames[] = {"set", "cur", "end", nullptr};
  PackageFile* f = tofile(L);
  int op = luaL_checkoption(L, 2, "cur", modenames);
  lua_Number p3 = luaL_optnumber(L, 3, 0);
  int32_t offset = static_cast<int32_t>(p3 >= -2147483648.0 && p3 <= 2147483647.0 ? p3 : 0);
  luaL_argcheck(L, static_cast<lua_Number>(offset) == p3, 3, "not an integer in proper range");
  switch (kindOf(f)) {
    case STANDARD:
      errno = ESPIPE;  // the standard files are not seekable
      return luaL_fileresult(L, 0, nullptr);
    case MEMBER:
      vfs_fseek(f, offset, mode[op]);
      lua_pushnumber(L, f->pos);
      return 1;
    case DISK:
      if (vfs_fseek(f, offset, mode[op]) != 0) return luaL_fileresult(L, 0, nullptr);
      lua_pushnumber(L, static_cast<lua_Number>(ftell(f->file)));
      return 1;
  }
  return 0;
}

// Buffering is the layer's business: the arguments are checked, nothing changes.
int f_setvbuf(lua_State* L) {
  static const char* const modenames[] = {"no", "full", "line", nullptr};
  tofile(L);
  luaL_checkoption(L, 2, nullptr, modenames);
  luaL_optnumber(L, 3, LUAL_BUFFERSIZE);
  lua_pushboolean(L, 1);
  return 1;
}

int flushResult(lua_State* L, PackageFile* f) {
  if (kindOf(f) == DISK) return luaL_fileresult(L, fflush(f->file) == 0, nullptr);
  lua_pushboolean(L, 1);
  return 1;
}

int io_flush(lua_State* L) { return flushResult(L, getiofile(L, kOutput)); }
int f_flush(lua_State* L) { return flushResult(L, tofile(L)); }

const luaL_Reg iolib[] = {{"close", io_close}, {"flush", io_flush},   {"input", io_input},
                          {"lines", io_lines}, {"open", io_open},     {"output", io_output},
                          {"popen", io_popen}, {"read", io_read},     {"tmpfile", io_tmpfile},
                          {"type", io_type},   {"write", io_write},   {nullptr, nullptr}};

const luaL_Reg flib[] = {{"close", io_close},     {"flush", f_flush},     {"lines", f_lines},
                         {"read", f_read},        {"seek", f_seek},       {"setvbuf", f_setvbuf},
                         {"write", f_write},      {"__gc", f_gc},         {"__tostring", f_tostring},
                         {nullptr, nullptr}};

void createstdfile(lua_State* L, PackageFile* f, const char* k, const char* fname) {
  LMP_Stream* p = newprefile(L);
  p->f = f;
  p->closef = &io_noclose;
  if (k) {
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, k);
  }
  lua_setfield(L, -2, fname);
}

}  // namespace

int LMP_openIo(lua_State* L) {
  luaL_newlib(L, iolib);
  luaL_newmetatable(L, LUA_FILEHANDLE);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, flib, 0);
  lua_pop(L, 1);
  createstdfile(L, vfs_stdin(), kInput, "stdin");
  createstdfile(L, vfs_stdout(), kOutput, "stdout");
  createstdfile(L, vfs_stderr(), nullptr, "stderr");
  return 1;
}
