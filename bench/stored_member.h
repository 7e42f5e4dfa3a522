// A controller over a signed package holding one member stored, so that
// readers take it in place (no inflation in what a bench measures).
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controller/ctrl_generic.h"
#include "controller/package_writer.h"

inline std::unique_ptr<CTRL_Generic> controllerWithStoredMember(const char* name, const std::string& bytes) {
  std::vector<PackageEntry> entries = {
      {"config.xml", "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n"},
      {name, bytes},
  };
  std::vector<uint8_t> package;
  buildPackage(entries, true, testSigningKey(), &package);
  auto buffer = std::make_unique<ByteBuffer>();
  buffer->resize(static_cast<int32_t>(package.size()));
  std::copy(package.begin(), package.end(), buffer->data);
  auto controller = std::make_unique<CTRL_Generic>();
  controller->openPackage(std::move(buffer));
  return controller;
}
