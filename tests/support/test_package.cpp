#include "support/test_package.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "controller/package_writer.h"

namespace testpkg {

const char kConfigXml[] = "<trelm>\n  <version major=\"1\" minor=\"6\" patch=\"4\"/>\n</trelm>\n";

std::vector<uint8_t> makePackage(const std::map<std::string, std::string>& members, bool store) {
  std::vector<PackageEntry> entries;
  for (const auto& m : members) entries.push_back({m.first, m.second});
  std::vector<uint8_t> package;
  if (!buildPackage(entries, store, testSigningKey(), &package)) package.clear();
  return package;
}

std::vector<uint8_t> sealArchive(std::vector<uint8_t> archive) {
  if (!sealPackage(&archive, testSigningKey())) archive.clear();
  return archive;
}

std::unique_ptr<ByteBuffer> toBuffer(const std::vector<uint8_t>& bytes) {
  auto buffer = std::make_unique<ByteBuffer>();
  if (!bytes.empty() && buffer->resize(static_cast<int32_t>(bytes.size()))) {
    memcpy(buffer->data, bytes.data(), bytes.size());
  }
  return buffer;
}

void RecordingController::fail(const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  if (vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  va_end(args);
  failures.emplace_back(text);
  formats.emplace_back(format);
  CTRL_Generic::fail("%s", text);
}

std::unique_ptr<RecordingController> openMembers(const std::map<std::string, std::string>& members, bool store) {
  std::map<std::string, std::string> all = members;
  all.emplace("config.xml", kConfigXml);
  auto controller = std::make_unique<RecordingController>();
  controller->openPackage(toBuffer(makePackage(all, store)));
  return controller;
}

}  // namespace testpkg
