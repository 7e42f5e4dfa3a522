#include "controller/script_value.h"

#include <cstdlib>
#include <cstring>

void ScriptValue::release() {
  if (type == STRING) free(value.text);
  type = NIL;
  value.number = 0;
}

void ScriptValue::setNil() { release(); }

void ScriptValue::setBoolean(bool b) {
  release();
  type = BOOLEAN;
  value.boolean = b;
}

void ScriptValue::setInteger(int32_t i) {
  release();
  type = INTEGER;
  value.integer = i;
}

void ScriptValue::setNumber(double d) {
  release();
  type = NUMBER;
  value.number = d;
}

void ScriptValue::setString(const char* s) {
  release();
  if (!s) return;
  size_t n = strlen(s) + 1;
  char* copy = static_cast<char*>(malloc(n));
  if (!copy) return;
  memcpy(copy, s, n);
  type = STRING;
  value.text = copy;
}

ScriptValueVector::~ScriptValueVector() { clear(); }

bool ScriptValueVector::reserve(int32_t n) {
  if (n <= capacity) return true;
  int64_t cap = capacity > 0 ? capacity : 128;
  while (cap < n) cap *= 2;
  if (cap > INT32_MAX) return false;
  void* grown = realloc(data, sizeof(ScriptValue*) * static_cast<size_t>(cap));
  if (!grown) return false;
  data = static_cast<ScriptValue**>(grown);
  capacity = static_cast<int32_t>(cap);
  return true;
}

bool ScriptValueVector::append(ScriptValue* v) {
  if (count == INT32_MAX || !reserve(count + 1)) return false;
  data[count++] = v;
  return true;
}

void ScriptValueVector::clear() {
  if (owns) {
    for (int32_t i = 0; i < count; ++i) {
      if (!data[i]) continue;
      data[i]->release();
      delete data[i];
    }
  }
  free(data);
  data = nullptr;
  count = 0;
  capacity = 0;
}
