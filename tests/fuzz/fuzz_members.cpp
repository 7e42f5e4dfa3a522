// Member reads after the signature: the bytes are the archive itself (local
// headers, sizes, methods), read through readFile and the file layer, and
// its config.xml read as the package opener reads it (root, version).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "controller/byte_buffer.h"
#include "controller/vfs.h"
#include "fuzz_support.h"
#include "support/test_package.h"

namespace {

const char* const kNames[] = {"config.xml", "init.lua", "a", "t", "data.bin", ""};

void readEverything(CTRL_Generic& controller) {
  for (const char* name : kNames) {
    for (bool text : {false, true}) {
      uint8_t* bytes = nullptr;
      int32_t count = 0;
      if (controller.readFile(name, &bytes, &count, text)) free(bytes);
    }
    PackageFile* f = vfs_fopen(&controller, name, "rb");
    if (!f) continue;
    char buffer[64];
    vfs_fread(buffer, sizeof buffer, f);
    vfs_fgetc(f);
    vfs_fseek(f, -3, 2);
    vfs_fread(buffer, 5, f);
    vfs_fseek(f, 1 << 30, 0);
    vfs_fgetc(f);
    vfs_fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  testpkg::RecordingController controller;
  // Past the signature check: the archive is served as it is.
  auto package = std::make_unique<ByteBuffer>();
  if (size && package->resize(static_cast<int32_t>(size))) memcpy(package->data, data, size);
  controller.package = std::move(package);
  controller.readConfig();
  readEverything(controller);
  return 0;
}
