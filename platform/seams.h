// Where a test backend (platform/testing/) may stand in for the machine's
// debugger output and the executable's own package. The player sets neither.
#pragma once

#ifndef _WIN32
#include <cstdint>
#include <functional>
#include <vector>

namespace vsplat {

// Receives every OutputDebugStringA string instead of standard error (empty:
// standard error again). Called with the output's lock held.
void setDebugSink(std::function<void(const char*)> sink);

// A package served as RCDATA 130 instead of the executable's own (null: the
// executable's again).
void overrideProgramPackage(const std::vector<uint8_t>* bytes);

// The file whose payload is RCDATA 130 instead of the executable (null: the
// executable again).
void overrideProgramFile(const char* path);

}  // namespace vsplat
#endif
