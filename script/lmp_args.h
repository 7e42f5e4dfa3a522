#pragma once
// Argument parsing and usage-error reporting shared by every global function
// and bound method.

#include <lua.hpp>

// Reads the arguments 1..n against `spec`, one letter per argument, "|"
// starting the optional ones. Out-pointers follow the letters:
//   B bool*           a boolean
//   C double**        a color          (anything else raises a type error)
//   F int*            a function (new registry reference) or nil (0)
//   I int*            a number or numeric string, rounded half to even
//   M double**        an m33           (raises)
//   N double*         a number or numeric string
//   R MDL_RigidBody** a live rigid body or nil (anything else raises)
//   S const char**    a string or number (converted in place)
//   V double**        a v3             (raises)
//   W double**        a v2             (raises)
// Returns the number of arguments consumed; 0 after a reported error.
int LMP_getArgs(lua_State* L, const char* spec, ...);

// Reports a usage error: stops the content with the message, prefixed by the
// calling script's "source:line: " when known. Raises no Lua error.
void LMP_reportError(lua_State* L, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The number at `idx` rounded to the nearest int32 (ties to even); 0 for a
// non-number or NaN, saturated outside the int32 range.
int LMP_toInt(lua_State* L, int idx);
// The number at `idx` when it is a number or numeric string, else 0.
double LMP_toNumber(lua_State* L, int idx);
