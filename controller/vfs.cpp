#include "controller/vfs.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "controller/ctrl_generic.h"
#include "core/debug_log.h"
#include "controller/package.h"

namespace {

constexpr size_t kLogPiece = 1023;  // longest text one write sends to the log
constexpr size_t kMaxDiskPath = 1023;

bool isLog(const PackageFile* file) { return file == vfs_stdout() || file == vfs_stderr(); }

// Neither null nor a standard-stream value: a real record.
bool isRecord(const PackageFile* file) { return file && !vfs_isStandard(file); }

PackageFile* openDisk(CTRL_Generic* controller, const char* relative, const char* mode) {
  // Disk names are relative to the package's own folder, when it has one.
  const char* packageName = controller->packageName.empty() ? nullptr : controller->packageName.c_str();
  const char* slash = packageName ? strrchr(packageName, '/') : nullptr;
  const size_t folder = slash ? static_cast<size_t>(slash - packageName) + 1 : 0;
  const size_t rest = strlen(relative);
  if (folder + rest > kMaxDiskPath) {
    errno = ENAMETOOLONG;  // else the caller's message would name a stale cause
    return nullptr;
  }
  char path[kMaxDiskPath + 1];
  if (folder) memcpy(path, packageName, folder);
  memcpy(path + folder, relative, rest + 1);
  FILE* stream = fopen(path, mode);
  if (!stream) return nullptr;
  PackageFile* file = new (std::nothrow) PackageFile{};
  if (!file) {
    fclose(stream);
    return nullptr;
  }
  file->file = stream;
  file->isDisk = true;
  return file;
}

}  // namespace

PackageFile* vfs_fopen(CTRL_Generic* controller, const char* name, const char* mode) {
  if (!controller || !name || !mode) return nullptr;
  const size_t length = strlen(name);
  if (length > 2 && name[0] == '/' && name[1] == '/') return openDisk(controller, name + 2, mode);
  if (length > 2 && name[0] == '.' && name[1] == '/') name += 2;
  // The whole name must match: a member that is only a prefix of the request
  // (a folder entry "lib/" for "lib/x.lua") is not the file asked for.
  if (!findPackageMember(controller->package.get(), name, strlen(name), nullptr)) {
    errno = ENOENT;
    return nullptr;
  }
  PackageFile* file = new (std::nothrow) PackageFile{};
  if (!file) return nullptr;
  const size_t n = strlen(name) + 1;
  file->name = static_cast<char*>(malloc(n));
  if (!file->name) {
    delete file;
    return nullptr;
  }
  memcpy(file->name, name, n);
  file->controller = controller;
  return file;
}

bool vfs_load(PackageFile* file) {
  if (!isRecord(file) || file->isDisk) return false;
  if (!file->data && file->controller) {
    uint8_t* data = nullptr;
    int32_t size = 0;
    file->owns = file->controller->readFile(file->name, &data, &size, false);
    file->data = data;
    file->size = data ? size : 0;
    file->pos = 0;
  }
  return file->data != nullptr;
}

int vfs_fclose(PackageFile* file) {
  if (!isRecord(file)) return 0;
  int result = 0;
  if (file->isDisk) {
    result = fclose(file->file);
  } else {
    if (file->owns) free(file->data);
    free(file->name);
  }
  delete file;
  return result;
}

int32_t vfs_fread(void* destination, int32_t count, PackageFile* file) {
  if (!isRecord(file) || !destination || count <= 0) return 0;
  if (file->isDisk) return static_cast<int32_t>(fread(destination, 1, static_cast<size_t>(count), file->file));
  vfs_load(file);
  int32_t available = file->size - file->pos;
  if (count > available) count = available;
  if (count <= 0) return 0;
  memcpy(destination, file->data + file->pos, static_cast<size_t>(count));
  file->pos += count;
  return count;
}

int32_t vfs_fwrite(const void* source, int32_t count, PackageFile* file) {
  if (isLog(file)) {
    // Every write is one log line, an empty write an empty line.
    char text[kLogPiece + 1];
    size_t n = 0;
    if (source && count > 0) n = static_cast<size_t>(count) < kLogPiece ? static_cast<size_t>(count) : kLogPiece;
    // A cut write is short: say why, or the caller reports a stale errno.
    if (source && static_cast<size_t>(count) > n) errno = EMSGSIZE;
    if (n) memcpy(text, source, n);
    text[n] = '\0';
    debugPrintf("%s", text);
    return static_cast<int32_t>(n);
  }
  if (!source || count <= 0 || !isRecord(file) || !file->isDisk) return 0;
  return static_cast<int32_t>(fwrite(source, 1, static_cast<size_t>(count), file->file));
}

int vfs_fseek(PackageFile* file, int32_t offset, int whence) {
  if (!isRecord(file)) return 0;
  if (file->isDisk) return fseek(file->file, offset, whence);
  vfs_load(file);
  int64_t pos = file->pos;
  if (whence == 0) {
    pos = offset;
  } else if (whence == 1) {
    pos += offset;
  } else if (whence == 2) {
    pos = int64_t{file->size} + offset;
  }
  if (pos < 0) pos = 0;
  if (pos > file->size) pos = file->size;
  file->pos = static_cast<int32_t>(pos);
  return 0;
}

int vfs_fgetc(PackageFile* file) {
  if (!isRecord(file)) return -1;
  if (file->isDisk) return fgetc(file->file);
  vfs_load(file);
  if (file->pos >= file->size) return -1;
  return file->data[file->pos++];
}

int vfs_fprintf(PackageFile* file, const char* format, ...) {
  if (!format) return 0;
  va_list args;
  va_start(args, format);
  int result = 0;
  if (isLog(file)) {
    char text[kLogPiece + 1];
    if (vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
    debugPrintf("%s", text);
    result = static_cast<int>(strlen(text));
  } else if (isRecord(file) && file->isDisk) {
    result = vfprintf(file->file, format, args);
  }
  va_end(args);
  return result;
}
