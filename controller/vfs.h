// A small stdio-like layer over package members and disk files, for code
// written against stdio streams (the Lua loader and io library, video
// streams). Names beginning with "//" are disk files relative to the current
// directory; every other name is a member of the controller's package.
#pragma once

#include <cstdint>
#include <cstdio>

class CTRL_Generic;

struct PackageFile {
  uint8_t* data;             // the member's bytes; null until first needed
  char* name;                // owned copy of the member name; null for a disk file
  int32_t size;              // the member's byte count (0 until loaded)
  int32_t pos;               // read position, within [0, size]
  bool owns;                 // data is a heap block to free on close
  CTRL_Generic* controller;  // whose package holds the member
  FILE* file;                // disk files only
  bool isDisk;
};

// The handle values 1, 2 and 3 are not records: they stand for the script
// library's standard input (always empty), output and error (both go to the
// debug log).
inline PackageFile* vfs_stdin() { return reinterpret_cast<PackageFile*>(uintptr_t{1}); }
inline PackageFile* vfs_stdout() { return reinterpret_cast<PackageFile*>(uintptr_t{2}); }
inline PackageFile* vfs_stderr() { return reinterpret_cast<PackageFile*>(uintptr_t{3}); }
inline bool vfs_isStandard(const PackageFile* file) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(file);
  return value >= 1 && value <= 3;
}

// Null when there is no controller, no such member (errno is then ENOENT) or
// the disk file cannot be opened. Package members are read-only whatever the
// mode says.
PackageFile* vfs_fopen(CTRL_Generic* controller, const char* name, const char* mode);
// The stdio result for a disk file, else 0. Frees the handle.
int vfs_fclose(PackageFile* file);
int32_t vfs_fread(void* destination, int32_t count, PackageFile* file);
// Writes to package members are dropped (0); to the standard output and
// error values at most 1023 bytes are logged as one line.
int32_t vfs_fwrite(const void* source, int32_t count, PackageFile* file);
// whence 0 set, 1 current, 2 end. On a package member the position is
// clamped into [0, size] and the result is always 0.
int vfs_fseek(PackageFile* file, int32_t offset, int whence);
// The next byte (0 to 255), or -1 at the end.
int vfs_fgetc(PackageFile* file);
int vfs_fprintf(PackageFile* file, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Loads a package member's bytes when they are not there yet (every read,
// byte read and seek does this first). True when the handle is a package
// member whose bytes are present; a failed lookup is tried again next time.
bool vfs_load(PackageFile* file);
