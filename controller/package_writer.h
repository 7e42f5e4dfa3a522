// Making packages: the packer's side of the package format. The player never
// calls this; vpack and the tests do, so what they write is what the player
// reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controller/package_crypto.h"

struct SigningKey {
  uint8_t modulus[kSignatureSize];
  uint8_t privateExponent[kSignatureSize];
};

// Reads a key file: lines "n=HEX" (modulus) and "d=HEX" (private exponent),
// big-endian, at most 1024 bits each; "#" lines are comments. False (with a
// reason in *error when given) on anything else.
bool parseSigningKey(const std::string& text, SigningKey* key, std::string* error = nullptr);

// Whether a parsed key can sign packages a player accepts: a 1024-bit modulus
// and a private exponent that matches it (a signature it makes verifies with
// the modulus and the public exponent 65537). False with the reason otherwise.
bool checkSigningKey(const SigningKey& key, std::string* error = nullptr);

// The repository's test key, the one the default build's player accepts.
const SigningKey& testSigningKey();

struct PackageEntry {
  std::string name;   // member name, "/"-separated
  std::string bytes;  // member contents
};

// Builds ZIP archives member by member: a local header with the sizes in it
// (no data descriptor) and the data, deflated unless stored is asked for or
// deflating does not make it smaller.
class ArchiveWriter {
 public:
  void add(const std::string& name, const uint8_t* data, size_t size, bool store = false);
  void add(const PackageEntry& entry, bool store = false) {
    add(entry.name, reinterpret_cast<const uint8_t*>(entry.bytes.data()), entry.bytes.size(), store);
  }
  // Appends the central directory; the archive is then a complete ZIP file.
  void finish();
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  struct Record {
    std::string name;
    uint32_t offset, crc, compressed, uncompressed;
    uint16_t method;
  };
  std::vector<uint8_t> bytes_;
  std::vector<Record> records_;
};

// Turns an archive into a package: appends the signature over its MD5 and
// scrambles the whole. False when signing fails or the package would be
// too big for the player (2 GiB).
bool sealPackage(std::vector<uint8_t>* archive, const SigningKey& key);

// Every entry in order, a central directory, sealed.
bool buildPackage(const std::vector<PackageEntry>& entries, bool store, const SigningKey& key,
                  std::vector<uint8_t>* package);
