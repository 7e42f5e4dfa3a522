// Writing models-set XML in tests: packed arrays in little-endian lowercase
// hex, as content files carry them, and the text forms of placements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace modelsxml {

// The bytes as hex digit pairs; with groupEvery, a space after every group
// and a line end after every third, as exporters break long arrays.
std::string hexBytes(const void* data, size_t n, int groupEvery = 0);
std::string hexDoubles(const std::vector<double>& v);
std::string hexFloats(const std::vector<double>& v);
std::string hexInt32(const std::vector<int32_t>& v);
std::string hexUint16(const std::vector<int32_t>& v);

// <name count="count" size="size">text</name>, size left out when 0.
std::string section(const char* name, int count, int size, const std::string& text);

// The 16 numbers of a "matrix" element: identity basis at (x, y, z).
std::string translation(double x, double y, double z);

}  // namespace modelsxml
