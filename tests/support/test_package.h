// In-memory content packages for tests, made with the packer's own code and
// signed with the test key the test build's player accepts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controller/byte_buffer.h"
#include "controller/ctrl_generic.h"

namespace testpkg {

// A config.xml the player accepts (version 1.6.4).
extern const char kConfigXml[];

// A signed, scrambled package of the members, in name order. Deflated unless
// store is set (members that do not shrink are stored either way).
std::vector<uint8_t> makePackage(const std::map<std::string, std::string>& members, bool store = false);

// Seals raw archive bytes (local headers written by hand, say) into a package.
std::vector<uint8_t> sealArchive(std::vector<uint8_t> archive);

// A ByteBuffer holding a copy of the bytes, ready for openPackage.
std::unique_ptr<ByteBuffer> toBuffer(const std::vector<uint8_t>& bytes);

// A controller that also records every fail call, formatted, in order (the
// controller itself keeps only the first).
class RecordingController : public CTRL_Generic {
 public:
  using CTRL_Generic::CTRL_Generic;
  void fail(const char* format, ...) override
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  std::vector<std::string> failures;  // formatted messages
  std::vector<std::string> formats;   // the format strings as given
};

// A recording controller that has opened a package of the members plus an
// accepted config.xml (unless the members bring their own). Check
// controller->package to see whether it was accepted.
std::unique_ptr<RecordingController> openMembers(const std::map<std::string, std::string>& members, bool store = false);

}  // namespace testpkg
