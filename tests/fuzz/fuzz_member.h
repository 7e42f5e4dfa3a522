// A controller whose package holds one stored member with the fuzzer's
// bytes, served past the signature check: the media loaders read it as they
// read any package file, without paying for signing on every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "controller/package_writer.h"
#include "support/test_package.h"

inline void serveMember(CTRL_Generic& controller, const char* name, const uint8_t* data, size_t size) {
  ArchiveWriter archive;
  archive.add(name, data, size, true);
  archive.finish();
  controller.package = testpkg::toBuffer(archive.bytes());
}
