// The package a built player carries: RCDATA 130 is kept after the end of the
// executable image, followed by a trailer (its size and a magic word), so a
// tool can replace it in a copy of the player as a resource editor would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsplat {

// Where the payload lies in a file's bytes: offset and size, or false when the
// bytes end with no (or a damaged) trailer.
bool findPayload(const uint8_t* bytes, size_t size, size_t* offset, size_t* payloadSize);

// The same from the last kPayloadTrailer bytes of a file of fileSize bytes,
// so a reader needs no more of the file than the trailer and the payload.
constexpr size_t kPayloadTrailer = 16;  // 8-byte little-endian size, then the magic
bool findPayloadInTrailer(const uint8_t* trailer, uint64_t fileSize, size_t* offset, size_t* payloadSize);

// player (with or without a payload) + package -> the bytes of a player
// whose payload is package.
std::vector<uint8_t> withPayload(const std::vector<uint8_t>& player, const std::vector<uint8_t>& package);

// Reads PLAYER and PACKAGE and writes OUT (executable). Writes the reason to
// error and returns false on failure.
bool embedPayloadFile(const std::string& player, const std::string& package, const std::string& out,
                      std::string* error);

}  // namespace vsplat
