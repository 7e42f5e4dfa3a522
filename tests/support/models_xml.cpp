#include "support/models_xml.h"

#include <cstdio>

namespace modelsxml {

std::string hexBytes(const void* data, size_t n, int groupEvery) {
  static const char* digits = "0123456789abcdef";
  const unsigned char* b = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (groupEvery && i && i % groupEvery == 0) out += (i % (groupEvery * 3) == 0) ? "\n" : " ";
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
  }
  return out;
}

std::string hexDoubles(const std::vector<double>& v) { return hexBytes(v.data(), v.size() * 8, 8); }

std::string hexFloats(const std::vector<double>& v) {
  std::vector<float> f(v.begin(), v.end());
  return hexBytes(f.data(), f.size() * 4);
}

std::string hexInt32(const std::vector<int32_t>& v) { return hexBytes(v.data(), v.size() * 4, 4); }

std::string hexUint16(const std::vector<int32_t>& v) {
  std::vector<uint16_t> s;
  for (int32_t i : v) s.push_back(static_cast<uint16_t>(i));
  return hexBytes(s.data(), s.size() * 2);
}

std::string section(const char* name, int count, int size, const std::string& text) {
  std::string s = "<" + std::string(name) + " count=\"" + std::to_string(count) + "\"";
  if (size) s += " size=\"" + std::to_string(size) + "\"";
  return s + ">" + text + "</" + name + ">";
}

std::string translation(double x, double y, double z) {
  char text[160];
  std::snprintf(text, sizeof text, "1 0 0 0 0 1 0 0 0 0 1 0 %.17g %.17g %.17g 1", x, y, z);
  return text;
}

}  // namespace modelsxml
