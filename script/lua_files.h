// Lua's file access routed through the package file layer: scripts, modules
// and data files come from the content package, and only names beginning
// with "//" reach the disk. These are installed in place of the Lua
// library's own entries; the library itself is used unchanged.
#pragma once

struct lua_State;

// Opens the ten standard libraries, our io library in place of the stock
// one, then puts our loader behind loadfile, dofile and require, our
// package.searchpath, searchers and loadlib, and our debug.debug.
void LMP_openLibraries(lua_State* L);

// luaL_loadfilex over the file layer: the chunk named filename (null: the
// empty standard input), opened with the state's controller.
int LMP_loadfilex(lua_State* L, const char* filename, const char* mode);

// The state's panic function: the message goes to the debug log.
int LMP_panic(lua_State* L);

// The io library over the file layer (its "FILE*" streams hold PackageFile
// handles; the standard files are the handle values 1, 2 and 3).
int LMP_openIo(lua_State* L);

// Converts a number to an integer, rounding half to even; false for NaN or
// a value outside [lo, hi].
bool LMP_roundToInteger(double d, double lo, double hi, long long* out);
