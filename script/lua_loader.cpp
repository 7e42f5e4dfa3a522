// The chunk loader, the module searchers and the other non-io entries of
// Lua's file access, over the package file layer.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <lua5.2/lua.hpp>

#include "controller/vfs.h"
#include "script/engine.h"
#include "script/lua_files.h"

namespace {

const char kDefaultPath[] = "./?.lua";
const char kDefaultCPath[] = "";
const char kNoDynamicLibraries[] = "dynamic libraries not enabled; check your Lua installation";
const char kLibAbsent[] = "absent";
const int kErrLib = 1;  // loadlib's "library absent" status

// ---- chunk loader ---------------------------------------------------------

struct LoadF {
  int n;  // bytes already waiting in buff
  PackageFile* f;
  char buff[512];
};

bool atEnd(PackageFile* f) {
  if (vfs_isStandard(f)) return true;  // standard input is an empty stream
  if (f->isDisk) return feof(f->file) != 0;
  vfs_load(f);
  return f->pos >= f->size;
}

int readByte(PackageFile* f) { return vfs_isStandard(f) ? -1 : vfs_fgetc(f); }

const char* getF(lua_State* L, void* ud, size_t* size) {
  (void)L;
  LoadF* lf = static_cast<LoadF*>(ud);
  if (lf->n > 0) {
    *size = static_cast<size_t>(lf->n);
    lf->n = 0;
    return lf->buff;
  }
  if (atEnd(lf->f)) return nullptr;
  int32_t got = vfs_fread(lf->buff, sizeof lf->buff, lf->f);
  *size = got > 0 ? static_cast<size_t>(got) : 0;
  return lf->buff;
}

int errfile(lua_State* L, const char* what, int fnameindex) {
  const char* serr = strerror(errno);
  const char* filename = lua_tostring(L, fnameindex) + 1;
  lua_pushfstring(L, "cannot %s %s: %s", what, filename, serr);
  lua_remove(L, fnameindex);
  return LUA_ERRFILE;
}

int skipBOM(LoadF* lf) {
  const char* p = "\xEF\xBB\xBF";
  int c;
  lf->n = 0;
  do {
    c = readByte(lf->f);
    if (c == -1 || c != *reinterpret_cast<const unsigned char*>(p++)) return c;
    lf->buff[lf->n++] = static_cast<char>(c);
  } while (*p != '\0');
  lf->n = 0;  // a whole mark is dropped
  return readByte(lf->f);
}

// Skips a first line beginning with '#' (Unix exec lines).
bool skipcomment(LoadF* lf, int* cp) {
  int c = *cp = skipBOM(lf);
  if (c != '#') return false;
  while ((c = readByte(lf->f)) != -1 && c != '\n') {
  }
  *cp = readByte(lf->f);
  return true;
}

bool readError(PackageFile* f) { return !vfs_isStandard(f) && f->isDisk && ferror(f->file); }

void closeHandle(PackageFile* f) {
  if (f && !vfs_isStandard(f)) vfs_fclose(f);
}

// ---- module search --------------------------------------------------------

bool readable(lua_State* L, const char* filename) {
  PackageFile* f = vfs_fopen(LMP_getController(L), filename, "r");
  if (!f) return false;
  vfs_fclose(f);
  return true;
}

const char* pushnexttemplate(lua_State* L, const char* path) {
  while (*path == ';') path++;
  if (*path == '\0') return nullptr;
  const char* l = strchr(path, ';');
  if (!l) l = path + strlen(path);
  lua_pushlstring(L, path, static_cast<size_t>(l - path));
  return l;
}

const char* searchpath(lua_State* L, const char* name, const char* path, const char* sep,
                       const char* dirsep) {
  luaL_Buffer msg;
  luaL_buffinit(L, &msg);
  if (*sep != '\0') name = luaL_gsub(L, name, sep, dirsep);
  while ((path = pushnexttemplate(L, path)) != nullptr) {
    const char* filename = luaL_gsub(L, lua_tostring(L, -1), "?", name);
    lua_remove(L, -2);
    if (readable(L, filename)) return filename;
    lua_pushfstring(L, "\n\tno file '%s'", filename);
    lua_remove(L, -2);
    luaL_addvalue(&msg);
  }
  luaL_pushresult(&msg);
  return nullptr;
}

int ll_searchpath(lua_State* L) {
  const char* f = searchpath(L, luaL_checkstring(L, 1), luaL_checkstring(L, 2), luaL_optstring(L, 3, "."),
                             luaL_optstring(L, 4, LUA_DIRSEP));
  if (f) return 1;
  lua_pushnil(L);
  lua_insert(L, -2);
  return 2;
}

const char* findfile(lua_State* L, const char* name, const char* pname, const char* dirsep) {
  lua_getfield(L, lua_upvalueindex(1), pname);
  const char* path = lua_tostring(L, -1);
  if (!path) luaL_error(L, "'package.%s' must be a string", pname);
  return searchpath(L, name, path, ".", dirsep);
}

int checkload(lua_State* L, bool stat, const char* filename) {
  if (stat) {
    lua_pushstring(L, filename);
    return 2;
  }
  return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(L, 1), filename,
                    lua_tostring(L, -1));
}

int searcher_Lua(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const char* filename = findfile(L, name, "path", LUA_DIRSEP);
  if (!filename) return 1;
  return checkload(L, LMP_loadfilex(L, filename, nullptr) == LUA_OK, filename);
}

// Native modules cannot be loaded: this player has no dynamic libraries.
int loadNative(lua_State* L) {
  lua_pushstring(L, kNoDynamicLibraries);
  return kErrLib;
}

int searcher_C(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const char* filename = findfile(L, name, "cpath", LUA_DIRSEP);
  if (!filename) return 1;
  return checkload(L, loadNative(L) == 0, filename);
}

int searcher_Croot(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const char* p = strchr(name, '.');
  if (!p) return 0;
  lua_pushlstring(L, name, static_cast<size_t>(p - name));
  const char* filename = findfile(L, lua_tostring(L, -1), "cpath", LUA_DIRSEP);
  if (!filename) return 1;
  return checkload(L, loadNative(L) == 0, filename);
}

int ll_loadlib(lua_State* L) {
  luaL_checkstring(L, 1);
  luaL_checkstring(L, 2);
  loadNative(L);
  lua_pushnil(L);
  lua_insert(L, -2);
  lua_pushstring(L, kLibAbsent);
  return 3;
}

bool noenv(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
  bool b = lua_toboolean(L, -1) != 0;
  lua_pop(L, 1);
  return b;
}

// package[field] := the environment's path (";;" standing for the default)
// or the default. Expects the package table on top.
void setpath(lua_State* L, const char* fieldname, const char* envname1, const char* envname2,
             const char* def) {
  const char* path = getenv(envname1);
  if (!path) path = getenv(envname2);
  if (!path || noenv(L)) {
    lua_pushstring(L, def);
  } else {
    path = luaL_gsub(L, path, ";;", ";\1;");
    luaL_gsub(L, path, "\1", def);
    lua_remove(L, -2);
  }
  lua_setfield(L, -2, fieldname);
}

// ---- base and debug entries -----------------------------------------------

int load_aux(lua_State* L, int status, int envidx) {
  if (status == LUA_OK) {
    if (envidx != 0) {
      lua_pushvalue(L, envidx);
      if (!lua_setupvalue(L, -2, 1)) lua_pop(L, 1);
    }
    return 1;
  }
  lua_pushnil(L);
  lua_insert(L, -2);
  return 2;
}

int luaB_loadfile(lua_State* L) {
  const char* fname = luaL_optstring(L, 1, nullptr);
  const char* mode = luaL_optstring(L, 2, nullptr);
  int env = !lua_isnone(L, 3) ? 3 : 0;
  int status = LMP_loadfilex(L, fname, mode);
  return load_aux(L, status, env);
}

int dofilecont(lua_State* L) { return lua_gettop(L) - 1; }

int luaB_dofile(lua_State* L) {
  const char* fname = luaL_optstring(L, 1, nullptr);
  lua_settop(L, 1);
  if (LMP_loadfilex(L, fname, nullptr) != LUA_OK) return lua_error(L);
  lua_callk(L, 0, LUA_MULTRET, 0, dofilecont);
  return dofilecont(L);
}

// There is no console: the prompt goes to the log and the loop ends at once.
int db_debug(lua_State* L) {
  (void)L;
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
  LoadF lf;
  int c;
  int fnameindex = lua_gettop(L) + 1;
  if (!filename) {
    lua_pushliteral(L, "=stdin");
    lf.f = vfs_stdin();
  } else {
    lua_pushfstring(L, "@%s", filename);
    lf.f = vfs_fopen(LMP_getController(L), filename, "r");
    if (!lf.f) return errfile(L, "open", fnameindex);
  }
  if (skipcomment(&lf, &c)) lf.buff[lf.n++] = '\n';  // keeps the line count right
  if (c == LUA_SIGNATURE[0] && filename) {
    // Precompiled chunks come only from disk, reopened in binary mode.
    if (vfs_isStandard(lf.f) || !lf.f->isDisk) {
      closeHandle(lf.f);
      return errfile(L, "reopen", fnameindex);
    }
    PackageFile* binary = vfs_fopen(LMP_getController(L), filename, "rb");
    closeHandle(lf.f);
    lf.f = binary;
    if (!lf.f) return errfile(L, "reopen", fnameindex);
    skipcomment(&lf, &c);
  }
  if (c != -1) lf.buff[lf.n++] = static_cast<char>(c);
  int status = lua_load(L, getF, &lf, lua_tostring(L, -1), mode);
  bool readstatus = readError(lf.f);
  if (filename) closeHandle(lf.f);
  if (readstatus) {
    lua_settop(L, fnameindex);
    return errfile(L, "read", fnameindex);
  }
  lua_remove(L, fnameindex);
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
  static const luaL_Reg libs[] = {
      {"_G", luaopen_base},          {LUA_LOADLIBNAME, luaopen_package}, {LUA_COLIBNAME, luaopen_coroutine},
      {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, LMP_openIo},       {LUA_OSLIBNAME, luaopen_os},
      {LUA_STRLIBNAME, luaopen_string}, {LUA_BITLIBNAME, luaopen_bit32},  {LUA_MATHLIBNAME, luaopen_math},
      {LUA_DBLIBNAME, luaopen_debug},  {nullptr, nullptr}};
  for (const luaL_Reg* lib = libs; lib->func; ++lib) {
    luaL_requiref(L, lib->name, lib->func, 1);
    lua_pop(L, 1);
  }

  lua_pushglobaltable(L);
  setField(L, -1, "loadfile", luaB_loadfile);
  setField(L, -1, "dofile", luaB_dofile);
  lua_pop(L, 1);

  lua_getglobal(L, LUA_DBLIBNAME);
  setField(L, -1, "debug", db_debug);
  lua_pop(L, 1);

  lua_getglobal(L, LUA_LOADLIBNAME);
  int package = lua_gettop(L);
  setField(L, package, "searchpath", ll_searchpath);
  setField(L, package, "loadlib", ll_loadlib);
  // Each searcher sees the package table as its upvalue, as require expects.
  static const lua_CFunction searchers[] = {searcher_Lua, searcher_C, searcher_Croot};
  lua_getfield(L, package, "searchers");
  for (int i = 0; i < 3; ++i) {
    lua_pushvalue(L, package);
    lua_pushcclosure(L, searchers[i], 1);
    lua_rawseti(L, -2, i + 2);  // slot 1 stays the preload searcher
  }
  lua_pop(L, 1);
  setpath(L, "path", "LUA_PATH_5_2", "LUA_PATH", kDefaultPath);
  setpath(L, "cpath", "LUA_CPATH_5_2", "LUA_CPATH", kDefaultCPath);
  lua_pop(L, 1);
}
