#include "kit/testing/hostile_input.h"

#include <cstdint>
#include <vector>

namespace kit::testing {

std::string nestedBinaryPlist(std::size_t levels, unsigned width) {
  std::string out = "bplist00";
  auto bigEndian = [&out](std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
  };
  std::vector<std::uint64_t> offsets;
  for (std::size_t i = 0; i <= levels; ++i) {
    offsets.push_back(out.size());
    const unsigned count = i == levels ? 0 : width;
    out += static_cast<char>(0xA0 | count);
    for (unsigned k = 0; k < count; ++k) bigEndian(i + 1, 4);
  }
  const std::size_t table = out.size();
  for (std::uint64_t o : offsets) bigEndian(o, 4);
  out.append(6, '\0');
  out += '\x04';  // offset size
  out += '\x04';  // reference size
  bigEndian(offsets.size(), 8);
  bigEndian(0, 8);  // the top object
  bigEndian(table, 8);
  return out;
}

std::string nestedXMLPlist(std::size_t levels, const std::string& leaf) {
  std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  xml.reserve(xml.size() + levels * 15 + leaf.size() + 8);
  for (std::size_t i = 0; i < levels; ++i) xml += "<array>";
  xml += leaf;
  for (std::size_t i = 0; i < levels; ++i) xml += "</array>";
  return xml + "</plist>";
}

}  // namespace kit::testing
