#include "platform/payload.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vsplat {

namespace {
const char kMagic[8] = {'V', 'S', 'P', 'K', 'G', '1', '3', '0'};
const size_t kTrailer = kPayloadTrailer;

bool readAll(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out->insert(out->end(), chunk, chunk + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}
}  // namespace

bool findPayloadInTrailer(const uint8_t* t, uint64_t fileSize, size_t* offset, size_t* payloadSize) {
  if (!t || fileSize < kTrailer || fileSize > SIZE_MAX) return false;
  if (memcmp(t + 8, kMagic, sizeof kMagic) != 0) return false;
  uint64_t n = 0;
  for (int i = 7; i >= 0; --i) n = (n << 8) | t[i];
  // A size that does not fit before the trailer is damage, not a payload.
  if (n > fileSize - kTrailer) return false;
  *payloadSize = static_cast<size_t>(n);
  *offset = static_cast<size_t>(fileSize - kTrailer - n);
  return true;
}

bool findPayload(const uint8_t* bytes, size_t size, size_t* offset, size_t* payloadSize) {
  if (!bytes || size < kTrailer) return false;
  return findPayloadInTrailer(bytes + size - kTrailer, size, offset, payloadSize);
}

std::vector<uint8_t> withPayload(const std::vector<uint8_t>& player, const std::vector<uint8_t>& package) {
  size_t offset = 0, old = 0;
  size_t keep = player.size();
  if (findPayload(player.data(), player.size(), &offset, &old)) keep = offset;
  std::vector<uint8_t> out(player.begin(), player.begin() + keep);
  out.insert(out.end(), package.begin(), package.end());
  uint64_t n = package.size();
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
  out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
  return out;
}

bool embedPayloadFile(const std::string& player, const std::string& package, const std::string& out,
                      std::string* error) {
  std::vector<uint8_t> exe, pkg;
  if (!readAll(player, &exe)) {
    *error = "cannot read " + player;
    return false;
  }
  if (!readAll(package, &pkg)) {
    *error = "cannot read " + package;
    return false;
  }
  std::vector<uint8_t> bytes = withPayload(exe, pkg);
  // Write beside the target and rename, so a failed write never leaves a
  // half-written player under the final name.
  std::string tmp = out + ".tmp";
  FILE* f = fopen(tmp.c_str(), "wb");
  if (!f) {
    *error = "cannot write " + out;
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(tmp.c_str(), out.c_str()) != 0) {
    remove(tmp.c_str());
    *error = "cannot write " + out;
    return false;
  }
#ifndef _WIN32
  chmod(out.c_str(), 0755);
#endif
  return true;
}

}  // namespace vsplat
