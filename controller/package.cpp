#include "controller/package.h"

#include <tinyxml.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "controller/ctrl_generic.h"
#include "controller/package_crypto.h"
#include "core/debug_log.h"
#include "package_public_key.h"

namespace {

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Inflates a raw deflate stream into a zero-filled block of exactly
// outputSize bytes, so bytes a short or corrupt stream never writes read as 0.
uint8_t* inflateMember(const uint8_t* input, uint32_t inputSize, int32_t outputSize) {
  uint8_t* block = static_cast<uint8_t*>(calloc(static_cast<size_t>(outputSize), 1));
  if (!block) return nullptr;
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -15) != Z_OK) {
    free(block);
    return nullptr;
  }
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = inputSize;
  stream.next_out = block;
  stream.avail_out = static_cast<uInt>(outputSize);
  inflate(&stream, Z_NO_FLUSH);  // a damaged stream just leaves zeros behind
  inflateEnd(&stream);
  return block;
}

bool startsWithLocalHeader(const uint8_t* data, size_t size) {
  return size >= 4 && read32(data) == kLocalHeaderSignature;
}

bool versionAccepted(int32_t major, int32_t minor, int32_t patch) {
  if (major != 1) return major < 1;
  if (minor != 6) return minor < 6;
  return patch <= 4;
}

// Reads an integer attribute, leaving the value alone when it is missing or
// not a number.
void readVersionPart(const TiXmlElement* element, const char* name, int32_t* value) {
  int parsed = 0;
  if (element->QueryIntAttribute(name, &parsed) == TIXML_SUCCESS) *value = parsed;
}

}  // namespace

bool findPackageMember(const ByteBuffer* package, const char* name, size_t length, PackageMember* member) {
  if (!package || !package->data || package->size <= 0 || !name) return false;
  const uint8_t* data = package->data;
  // 64-bit offsets: no size field can wrap a sum past the end check.
  const int64_t size = package->size;
  int64_t p = 0;
  for (;;) {
    if (p + kLocalHeaderSize > size || read32(data + p) != kLocalHeaderSignature) return false;
    const uint8_t* header = data + p;
    PackageMember found;
    found.header = p;
    found.method = read16(header + 8);
    found.compressedSize = read32(header + 18);
    found.uncompressedSize = read32(header + 22);
    const int64_t nameLength = read16(header + 26);
    const int64_t extraLength = read16(header + 28);
    p += kLocalHeaderSize;
    if (p + nameLength > size) return false;  // before the name is compared
    const bool match = static_cast<size_t>(nameLength) == length && memcmp(data + p, name, length) == 0;
    p += nameLength + extraLength;
    if (p > size) return false;
    found.dataOffset = p;
    p += found.compressedSize;
    if (p > size) return false;
    if (match) {
      if (member) *member = found;
      return true;
    }
    if (p >= size) return false;
  }
}

bool CTRL_Generic::openPackage(std::unique_ptr<ByteBuffer> buffer) {
  package = std::move(buffer);
  if (!package || package->size == 0) debugPrintf("Package refused: it is empty (the program carries no package).");
  if (package && package->size != 0 && package->resize(package->size) && checkPackage() && readConfig()) {
    return true;
  }
  fail("Problem reading %s.\nCheck with your content provider.", packageLabel());
  package.reset();
  return false;
}

bool CTRL_Generic::checkPackage() {
  if (!package || !package->data) return false;
  // Too short to hold a signature block: nothing to check against.
  if (package->size < static_cast<int32_t>(kSignatureSize)) {
    debugPrintf("Package refused: not a package of this player (%d bytes, too short for one).",
                static_cast<int>(package->size));
    return false;
  }
  const size_t size = static_cast<size_t>(package->size);
  const bool plainZip = startsWithLocalHeader(package->data, size);
  scramblePackage(package->data, size);
  uint8_t digest[kDigestSize];
  digestPackage(package->data, size - kSignatureSize, digest);
  const SignatureCheck check = checkPackageSignature(digest, package->data + size - kSignatureSize, kPackageModulus);
  if (check == kSignatureValid) return true;
  if (plainZip)
    debugPrintf("Package refused: not a package of this player (a plain ZIP archive; packages are made with vpack).");
  else if (!startsWithLocalHeader(package->data, size))
    debugPrintf("Package refused: not a package of this player.");
  else if (check == kSignatureOtherContent)
    debugPrintf("Package refused: its content changed after it was signed.");
  else
    debugPrintf("Package refused: its signature does not match this player's key.");
  return false;
}

bool CTRL_Generic::readConfig() {
  load.state = 1;
  uint8_t* text = nullptr;
  int32_t size = 0;
  const bool mustFree = readFile("config.xml", &text, &size, true);
  bool accepted = false;
  if (!text || size == 0) debugPrintf("Package refused: %s.", text ? "its config.xml is empty" : "no config.xml in it");
  if (text && size != 0) {
    TiXmlDocument document("config.xml");
    document.Parse(reinterpret_cast<const char*>(text));
    const TiXmlElement* root = nullptr;
    if (!document.Error()) {
      root = document.FirstChildElement("trelm");
      if (!root) root = document.FirstChildElement("divu");
    }
    const TiXmlElement* versionElement = root ? root->FirstChildElement("version") : nullptr;
    if (versionElement) {
      readVersionPart(versionElement, "major", &version.major);
      readVersionPart(versionElement, "minor", &version.minor);
      readVersionPart(versionElement, "patch", &version.patch);
      accepted = versionAccepted(version.major, version.minor, version.patch);
      if (!accepted)
        debugPrintf("Package refused: its version %d.%d.%d is newer than 1.6.4.", static_cast<int>(version.major),
                    static_cast<int>(version.minor), static_cast<int>(version.patch));
    } else if (document.Error()) {
      debugPrintf("Package refused: config.xml is not well-formed (line %d: %s).", document.ErrorRow(),
                  document.ErrorDesc());
    } else if (!root) {
      debugPrintf("Package refused: config.xml has no trelm root element.");
    } else {
      debugPrintf("Package refused: config.xml has no version element.");
    }
  }
  if (mustFree) free(text);
  return accepted;
}

bool CTRL_Generic::readFile(const char* name, uint8_t** data, int32_t* size, bool text) {
  uint8_t* bytes = nullptr;
  int32_t count = 0;
  bool mustFree = false;
  PackageMember member;
  if (name && findPackageMember(package.get(), name, strlen(name), &member)) {
    const uint8_t* stored = package->data + member.dataOffset;
    if (member.method == 0) {
      bytes = const_cast<uint8_t*>(stored);
      count = static_cast<int32_t>(member.compressedSize);  // fits: it lies inside the package
    } else if (member.method == 8) {
      // A size that is negative as a signed count, or cannot be had, makes the
      // member missing rather than trusting it.
      // Inflating never yields more than 1032 bytes per compressed byte, so a
      // larger claim is a lie and the member is missing too.
      const int32_t claimed = static_cast<int32_t>(member.uncompressedSize);
      const int64_t most = int64_t{1032} * member.compressedSize + 1024;
      if (claimed > 0 && claimed <= most) {
        bytes = inflateMember(stored, member.compressedSize, claimed);
        if (bytes) {
          count = claimed;
          mustFree = true;
        }
      }
    } else {
      fail("Unknown compression type for file %s", name);
    }
  }
  if (text && count != 0) {
    const uint8_t last = bytes[count - 1];
    if (last != '\r' && last != '\n' && last != '\0') fail("No newline at end of file %s", name);
    bytes[count - 1] = '\0';
  }
  if (!data && mustFree) {  // nowhere to hand the block to
    free(bytes);
    bytes = nullptr;
    mustFree = false;
  }
  if (data) *data = bytes;
  if (size) *size = count;
  return mustFree;
}
