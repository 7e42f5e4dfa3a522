// The chunk loader, the module searchers and the other non-io entries of
// Lua's file access, over the package file layer.
//
// Adapted from Lua 5.2 (lauxlib.c: luaL_loadfilex, errfile, getF and
// skipcomment; loadlib.c: searchpath), whose behaviour and messages scripts
// see. Copyright (C) 1994-2015 Lua.org, PUC-Rio, under the MIT licence
// (see THIRD-PARTY).
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <lua.hpp>

#include "controller/vfs.h"
#include "script/engine.h"
#include "script/lua_files.h"

namespace {

const char kDefaultPath[] = "./?.lua";
const char kDefaultCPath[] = "";
const char kNoDynamicLibraries[] = "dynamic libraries not enabled; check your Lua installation";
const char kLibAbsent[] = "absent";

// ---- chunk loader ----------------------------------------------------------

// The reader state of one chunk: bytes already taken from the handle wait
// in buff (n of them) and go to the parser first.
struct LoadF {
  PackageFile* f;
  int n;
  char buff[512];
};

// The standard input is an empty stream.
int nextByte(PackageFile* f) { return vfs_isStandard(f) ? -1 : vfs_fgetc(f); }

bool atEnd(PackageFile* f) {
  if (vfs_isStandard(f)) return true;
  if (f->isDisk) return feof(f->file) != 0;
  vfs_load(f);
  return f->pos >= f->size;
}

const char* getF(lua_State*, void* ud, size_t* size) {
  LoadF* lf = static_cast<LoadF*>(ud);
  if (lf->n == 0) {
    if (atEnd(lf->f)) return nullptr;
    int32_t got = vfs_fread(lf->buff, sizeof lf->buff, lf->f);
    lf->n = got > 0 ? got : 0;
  }
  *size = static_cast<size_t>(lf->n);
  lf->n = 0;
  return lf->buff;
}

// Reads past a UTF-8 byte-order mark and a first line beginning with '#'
// (an exec line). The bytes of a partial mark stay waiting in the buffer;
// the first byte after what was skipped is returned (-1 at the end).
int skipcomment(LoadF* lf, bool* skippedLine) {
  static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
  lf->n = 0;
  int c = nextByte(lf->f);
  while (lf->n < 3 && c == kMark[lf->n]) {
    lf->buff[lf->n++] = static_cast<char>(c);
    c = nextByte(lf->f);
  }
  if (lf->n == 3) lf->n = 0;  // a whole mark is dropped
  *skippedLine = c == '#';
  if (*skippedLine) {
    while (c != -1 && c != '\n') c = nextByte(lf->f);
    c = nextByte(lf->f);
  }
  return c;
}

// Replaces the chunk name at nameIndex by "cannot <what> <file>: <cause>".
int fileError(lua_State* L, const char* what, int nameIndex) {
  const char* cause = strerror(errno);
  const char* file = lua_tostring(L, nameIndex) + 1;  // past the '@' or '='
  lua_pushfstring(L, "cannot %s %s: %s", what, file, cause);
  lua_remove(L, nameIndex);
  return LUA_ERRFILE;
}

void closeUnlessStandard(PackageFile* f) {
  if (f && !vfs_isStandard(f)) vfs_fclose(f);
}

// ---- module search ---------------------------------------------------------

bool readable(lua_State* L, const char* name) {
  PackageFile* f = vfs_fopen(LMP_getController(L), name, "r");
  if (!f) return false;
  vfs_fclose(f);
  return true;
}

// The first readable file among the path's templates (separated by ';'),
// each '?' replaced by the name with its sep turned into dirsep. Pushes and
// returns that file's name; when none is readable, pushes the tried names
// ("\n\tno file '%s'" each) and returns null.
const char* searchpath(lua_State* L, const char* name, const char* path, const char* sep, const char* dirsep) {
  if (*sep != '\0') name = luaL_gsub(L, name, sep, dirsep);
  luaL_Buffer tried;
  luaL_buffinit(L, &tried);
  const char* at = path;
  while (*at != '\0') {
    const char* end = strchr(at, ';');
    if (!end) end = at + strlen(at);
    if (end > at) {  // empty templates are skipped
      lua_pushlstring(L, at, static_cast<size_t>(end - at));
      const char* candidate = luaL_gsub(L, lua_tostring(L, -1), "?", name);
      lua_remove(L, -2);
      if (readable(L, candidate)) return candidate;
      lua_pushfstring(L, "\n\tno file '%s'", candidate);
      lua_remove(L, -2);
      luaL_addvalue(&tried);
    }
    at = *end != '\0' ? end + 1 : end;
  }
  luaL_pushresult(&tried);
  return nullptr;
}

// package.searchpath(name, path [, sep [, rep]]): the file, or nil and the
// tried names. The arguments are checked in order.
int packageSearchpath(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const char* path = luaL_checkstring(L, 2);
  const char* sep = luaL_optstring(L, 3, ".");
  const char* dirsep = luaL_optstring(L, 4, LUA_DIRSEP);
  if (searchpath(L, name, path, sep, dirsep)) return 1;
  lua_pushnil(L);
  lua_insert(L, -2);
  return 2;
}

// A searcher's file for the module name along package[field] (the package
// table is the searcher's upvalue).
const char* moduleFile(lua_State* L, const char* name, const char* field) {
  lua_getfield(L, lua_upvalueindex(1), field);
  const char* path = lua_tostring(L, -1);
  if (!path) luaL_error(L, "'package.%s' must be a string", field);
  return searchpath(L, name, path, ".", LUA_DIRSEP);
}

// A searcher's answer for a found file: the loader on the stack and the file
// name for it, or an error carrying the message on top.
int loaderFound(lua_State* L, bool loaded, const char* file) {
  if (!loaded)
    return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(L, 1), file,
                      lua_tostring(L, -1));
  lua_pushstring(L, file);
  return 2;
}

int searchLuaModule(lua_State* L) {
  const char* file = moduleFile(L, luaL_checkstring(L, 1), "path");
  if (!file) return 1;  // the tried names
  return loaderFound(L, LMP_loadfilex(L, file, nullptr) == LUA_OK, file);
}

// There are no dynamic libraries: a native module found on cpath fails to
// load. The failure's message is pushed.
bool loadNative(lua_State* L) {
  lua_pushstring(L, kNoDynamicLibraries);
  return false;
}

// A native module under its own name, or under the part of the name before
// its first '.' (a library holding several modules).
int searchNativeModule(lua_State* L, bool byRoot) {
  const char* name = luaL_checkstring(L, 1);
  if (byRoot) {
    const char* dot = strchr(name, '.');
    if (!dot) return 0;
    lua_pushlstring(L, name, static_cast<size_t>(dot - name));
    name = lua_tostring(L, -1);
  }
  const char* file = moduleFile(L, name, "cpath");
  if (!file) return 1;
  return loaderFound(L, loadNative(L), file);
}

int searchNative(lua_State* L) { return searchNativeModule(L, false); }
int searchNativeRoot(lua_State* L) { return searchNativeModule(L, true); }

// package.loadlib: nil, the reason and "absent" (no library can be loaded).
int packageLoadlib(lua_State* L) {
  luaL_checkstring(L, 1);
  luaL_checkstring(L, 2);
  lua_pushnil(L);
  loadNative(L);
  lua_pushstring(L, kLibAbsent);
  return 3;
}

bool environmentIgnored(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
  bool ignored = lua_toboolean(L, -1) != 0;
  lua_pop(L, 1);
  return ignored;
}

// package[field] := the first of the two environment variables that is set,
// each ";;" in it standing for the default; else the default. Expects the
// package table on top.
void setPath(lua_State* L, const char* field, const char* versionedVariable, const char* variable,
             const char* byDefault) {
  const char* fromEnvironment = getenv(versionedVariable);
  if (!fromEnvironment) fromEnvironment = getenv(variable);
  if (!fromEnvironment || environmentIgnored(L)) {
    lua_pushstring(L, byDefault);
  } else {
    // The default goes in through a marker, so that a ";;" in it stays.
    const char* marked = luaL_gsub(L, fromEnvironment, ";;", ";\1;");
    luaL_gsub(L, marked, "\1", byDefault);
    lua_remove(L, -2);
  }
  lua_setfield(L, -2, field);
}

// ---- base and debug entries ------------------------------------------------

// loadfile([name [, mode [, env]]]): the chunk, or nil and the message. A
// given env becomes the chunk's first upvalue.
int baseLoadfile(lua_State* L) {
  const char* name = luaL_optstring(L, 1, nullptr);
  const char* mode = luaL_optstring(L, 2, nullptr);
  bool withEnv = !lua_isnone(L, 3);
  if (LMP_loadfilex(L, name, mode) != LUA_OK) {
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
  }
  if (withEnv) {
    lua_pushvalue(L, 3);
    if (!lua_setupvalue(L, -2, 1)) lua_pop(L, 1);
  }
  return 1;
}

// Everything above the name is the chunk's results.
int dofileResults(lua_State* L) { return lua_gettop(L) - 1; }

int baseDofile(lua_State* L) {
  const char* name = luaL_optstring(L, 1, nullptr);
  lua_settop(L, 1);
  if (LMP_loadfilex(L, name, nullptr) != LUA_OK) return lua_error(L);
  lua_callk(L, 0, LUA_MULTRET, 0, dofileResults);
  return dofileResults(L);
}

// There is no console: the prompt goes to the log and the loop ends at once.
int db_debug(lua_State*) {
  vfs_fprintf(vfs_stderr(), "%s", "lua_debug> ");
  return 0;
}

void setField(lua_State* L, int table, const char* name, lua_CFunction f) {
  table = lua_absindex(L, table);
  lua_pushcfunction(L, f);
  lua_setfield(L, table, name);
}

}  // namespace

int LMP_loadfilex(lua_State* L, const char* filename, const char* mode) {
  int nameIndex = lua_gettop(L) + 1;
  LoadF lf;
  if (filename) {
    lua_pushfstring(L, "@%s", filename);
    lf.f = vfs_fopen(LMP_getController(L), filename, "r");
    if (!lf.f) return fileError(L, "open", nameIndex);
  } else {
    lua_pushliteral(L, "=stdin");
    lf.f = vfs_stdin();
  }
  bool skippedLine = false;
  int c = skipcomment(&lf, &skippedLine);
  if (skippedLine) lf.buff[lf.n++] = '\n';  // keeps the line numbers of the rest
  if (filename && c == LUA_SIGNATURE[0]) {
    // A precompiled chunk: only from disk, opened again in binary mode.
    PackageFile* binary = nullptr;
    if (!vfs_isStandard(lf.f) && lf.f->isDisk) binary = vfs_fopen(LMP_getController(L), filename, "rb");
    closeUnlessStandard(lf.f);
    lf.f = binary;
    if (!lf.f) return fileError(L, "reopen", nameIndex);
    c = skipcomment(&lf, &skippedLine);
  }
  if (c != -1) lf.buff[lf.n++] = static_cast<char>(c);
  int status = lua_load(L, getF, &lf, lua_tostring(L, -1), mode);
  bool readFailed = !vfs_isStandard(lf.f) && lf.f->isDisk && ferror(lf.f->file);
  if (filename) closeUnlessStandard(lf.f);
  if (readFailed) {
    lua_settop(L, nameIndex);  // drops what the load left
    return fileError(L, "read", nameIndex);
  }
  lua_remove(L, nameIndex);
  return status;
}

int LMP_panic(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  vfs_fprintf(vfs_stderr(), "PANIC: unprotected error in call to Lua API (%s)\n",
              message ? message : "error object is not a string");
  return 0;
}

bool LMP_roundToInteger(double d, double lo, double hi, long long* out) {
  if (std::isnan(d)) return false;
  double r = std::floor(d);
  double diff = d - r;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  if (r < lo || r > hi) return false;
  *out = static_cast<long long>(r);
  return true;
}

void LMP_openLibraries(lua_State* L) {
  static const luaL_Reg libs[] = {{"_G", luaopen_base},
                                  {LUA_LOADLIBNAME, luaopen_package},
                                  {LUA_COLIBNAME, luaopen_coroutine},
                                  {LUA_TABLIBNAME, luaopen_table},
                                  {LUA_IOLIBNAME, LMP_openIo},
                                  {LUA_OSLIBNAME, luaopen_os},
                                  {LUA_STRLIBNAME, luaopen_string},
                                  {LUA_BITLIBNAME, luaopen_bit32},
                                  {LUA_MATHLIBNAME, luaopen_math},
                                  {LUA_DBLIBNAME, luaopen_debug},
                                  {nullptr, nullptr}};
  for (const luaL_Reg* lib = libs; lib->func; ++lib) {
    luaL_requiref(L, lib->name, lib->func, 1);
    lua_pop(L, 1);
  }

  lua_pushglobaltable(L);
  setField(L, -1, "loadfile", baseLoadfile);
  setField(L, -1, "dofile", baseDofile);
  lua_pop(L, 1);

  lua_getglobal(L, LUA_DBLIBNAME);
  setField(L, -1, "debug", db_debug);
  lua_pop(L, 1);

  lua_getglobal(L, LUA_LOADLIBNAME);
  int package = lua_gettop(L);
  setField(L, package, "searchpath", packageSearchpath);
  setField(L, package, "loadlib", packageLoadlib);
  // Each searcher sees the package table as its upvalue, as require expects.
  static const lua_CFunction searchers[] = {searchLuaModule, searchNative, searchNativeRoot};
  lua_getfield(L, package, "searchers");
  for (int i = 0; i < 3; ++i) {
    lua_pushvalue(L, package);
    lua_pushcclosure(L, searchers[i], 1);
    lua_rawseti(L, -2, i + 2);  // slot 1 stays the preload searcher
  }
  lua_pop(L, 1);
  setPath(L, "path", "LUA_PATH_5_2", "LUA_PATH", kDefaultPath);
  setPath(L, "cpath", "LUA_CPATH_5_2", "LUA_CPATH", kDefaultCPath);
  lua_pop(L, 1);
}
