// Tagged values exchanged between the script engine and native code.
#pragma once

#include <cstdint>

// A 16-byte tagged value. A string value owns its NUL-terminated text
// (malloc family); release() frees it and makes the value nil.
struct ScriptValue {
  enum Type : int32_t { NIL = 0, BOOLEAN = 1, INTEGER = 2, NUMBER = 3, STRING = 4 };

  int32_t type = NIL;
  union {
    bool boolean;
    int32_t integer;
    double number;
    char* text;
  } value{};

  void release();

  // Setters release what the value held first. setString copies the text
  // (null text gives nil).
  void setNil();
  void setBoolean(bool b);
  void setInteger(int32_t i);
  void setNumber(double d);
  void setString(const char* s);
};

static_assert(sizeof(ScriptValue) == 16, "ScriptValue is a 16-byte record");

// A growable array of owned ScriptValue pointers: capacity 0 or 128 doubled
// until the count fits.
struct ScriptValueVector {
  ScriptValue** data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  bool owns = true;

  ScriptValueVector() = default;
  ~ScriptValueVector();
  ScriptValueVector(const ScriptValueVector&) = delete;
  ScriptValueVector& operator=(const ScriptValueVector&) = delete;

  // Appends a pointer (owned when the vector owns). False when memory runs out.
  bool append(ScriptValue* v);
  // Releases and deletes every element (when owning) and frees the storage.
  void clear();
  // Makes room for n pointers under the capacity rule; false when memory runs out.
  bool reserve(int32_t n);
};
