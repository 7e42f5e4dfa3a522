#include "controller/package_writer.h"

#include <zlib.h>

#include <cstdint>

#include "controller/package.h"
#include "package_test_key.h"

namespace {

void put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>* out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01

// Raw deflate (no zlib header), as the player inflates it.
bool deflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&stream, static_cast<uLong>(size)));
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out->data();
  stream.avail_out = static_cast<uInt>(out->size());
  const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  out->resize(stream.total_out);
  deflateEnd(&stream);
  return done;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Right-aligns a big-endian hex number into 128 bytes.
bool parseHex(const std::string& hex, uint8_t out[kSignatureSize]) {
  if (hex.empty() || hex.size() > 2 * kSignatureSize) return false;
  for (size_t i = 0; i < kSignatureSize; ++i) out[i] = 0;
  size_t nibble = 0;
  for (size_t i = hex.size(); i-- > 0; ++nibble) {
    const int v = hexDigit(hex[i]);
    if (v < 0) return false;
    out[kSignatureSize - 1 - nibble / 2] |= static_cast<uint8_t>(nibble % 2 ? v << 4 : v);
  }
  return true;
}

}  // namespace

bool parseSigningKey(const std::string& text, SigningKey* key, std::string* error) {
  bool haveN = false, haveD = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    for (size_t i = start; i < end; ++i) {
      if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r') line += text[i];
    }
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line.find('=') == std::string::npos && parseHex(line, key->modulus)) {
      if (error)
        *error =
            "this is a public key file (a modulus alone): sign with the private key file, which has n= and d= lines";
      return false;
    }
    bool ok = false;
    if (line.compare(0, 2, "n=") == 0) {
      ok = parseHex(line.substr(2), key->modulus);
      haveN = ok;
    } else if (line.compare(0, 2, "d=") == 0) {
      ok = parseHex(line.substr(2), key->privateExponent);
      haveD = ok;
    }
    if (!ok) {
      if (error) *error = "unreadable key line \"" + line.substr(0, 40) + "\"";
      return false;
    }
  }
  if (haveN && !haveD) {
    if (error) *error = "this is a public key (n= without d=): sign with the private key, which has a d= line too";
    return false;
  }
  if (!haveN || !haveD) {
    if (error) *error = "a key needs an n= (modulus) and a d= (private exponent) line";
    return false;
  }
  return true;
}

bool checkSigningKey(const SigningKey& key, std::string* error) {
  if (key.modulus[0] < 0x80) {
    if (error) *error = "the modulus n is not a 1024-bit number (a key's n has 256 hex digits, the first 8 or more)";
    return false;
  }
  // A signature made with d must verify with n and the exponent 65537, as
  // the player checks it; otherwise every player refuses what is signed.
  uint8_t digest[kDigestSize];
  for (size_t i = 0; i < kDigestSize; ++i) digest[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
  uint8_t signature[kSignatureSize];
  if (!signPackageDigest(digest, key.modulus, key.privateExponent, signature) ||
      !verifyPackageSignature(digest, signature, key.modulus)) {
    if (error) *error = "n and d do not belong together: a signature made with this d does not verify with this n";
    return false;
  }
  return true;
}

const SigningKey& testSigningKey() {
  static const SigningKey key = [] {
    SigningKey k{};
    parseSigningKey(kTestPrivateKey, &k);
    return k;
  }();
  return key;
}

void ArchiveWriter::add(const std::string& name, const uint8_t* data, size_t size, bool store) {
  Record record;
  record.name = name;
  record.offset = static_cast<uint32_t>(bytes_.size());
  record.crc = static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
  record.uncompressed = static_cast<uint32_t>(size);
  std::vector<uint8_t> packed;
  const bool deflated = !store && size > 0 && deflateRaw(data, size, &packed) && packed.size() < size;
  record.method = deflated ? 8 : 0;
  record.compressed = static_cast<uint32_t>(deflated ? packed.size() : size);

  put32(&bytes_, kLocalHeaderSignature);
  put16(&bytes_, kVersionNeeded);
  put16(&bytes_, 0);  // flags: sizes are in this header, no data descriptor
  put16(&bytes_, record.method);
  put16(&bytes_, 0);  // time
  put16(&bytes_, kDosDate);
  put32(&bytes_, record.crc);
  put32(&bytes_, record.compressed);
  put32(&bytes_, record.uncompressed);
  put16(&bytes_, static_cast<uint32_t>(name.size()));
  put16(&bytes_, 0);  // no extra field
  bytes_.insert(bytes_.end(), name.begin(), name.end());
  if (deflated) {
    bytes_.insert(bytes_.end(), packed.begin(), packed.end());
  } else if (size) {
    bytes_.insert(bytes_.end(), data, data + size);
  }
  records_.push_back(record);
}

void ArchiveWriter::finish() {
  const uint32_t start = static_cast<uint32_t>(bytes_.size());
  for (const Record& r : records_) {
    put32(&bytes_, kCentralSignature);
    put16(&bytes_, kVersionNeeded);  // made by
    put16(&bytes_, kVersionNeeded);
    put16(&bytes_, 0);
    put16(&bytes_, r.method);
    put16(&bytes_, 0);
    put16(&bytes_, kDosDate);
    put32(&bytes_, r.crc);
    put32(&bytes_, r.compressed);
    put32(&bytes_, r.uncompressed);
    put16(&bytes_, static_cast<uint32_t>(r.name.size()));
    put16(&bytes_, 0);  // extra
    put16(&bytes_, 0);  // comment
    put16(&bytes_, 0);  // disk
    put16(&bytes_, 0);  // internal attributes
    put32(&bytes_, 0);  // external attributes
    put32(&bytes_, r.offset);
    bytes_.insert(bytes_.end(), r.name.begin(), r.name.end());
  }
  const uint32_t length = static_cast<uint32_t>(bytes_.size()) - start;
  put32(&bytes_, kEndSignature);
  put16(&bytes_, 0);
  put16(&bytes_, 0);
  put16(&bytes_, static_cast<uint32_t>(records_.size()));
  put16(&bytes_, static_cast<uint32_t>(records_.size()));
  put32(&bytes_, length);
  put32(&bytes_, start);
  put16(&bytes_, 0);  // comment length
}

bool sealPackage(std::vector<uint8_t>* archive, const SigningKey& key) {
  // The player counts package bytes in a signed 32-bit size.
  if (archive->size() > static_cast<size_t>(INT32_MAX) - kSignatureSize) return false;
  uint8_t digest[kDigestSize];
  digestPackage(archive->data(), archive->size(), digest);
  uint8_t signature[kSignatureSize];
  if (!signPackageDigest(digest, key.modulus, key.privateExponent, signature)) return false;
  archive->insert(archive->end(), signature, signature + kSignatureSize);
  scramblePackage(archive->data(), archive->size());
  return true;
}

bool buildPackage(const std::vector<PackageEntry>& entries, bool store, const SigningKey& key,
                  std::vector<uint8_t>* package) {
  ArchiveWriter writer;
  for (const PackageEntry& entry : entries) writer.add(entry, store);
  writer.finish();
  if (!sealPackage(&writer.bytes(), key)) return false;
  package->swap(writer.bytes());
  return true;
}
