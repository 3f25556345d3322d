// Any bytes, as colour text: the result is a colour of whole components 0-255 or the unset
// marker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "helpers/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const RGB255 c = strings::extractColourComponents(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const float v : {c.r, c.g, c.b}) {
    if (!(v >= 0 && v <= 255) || v != static_cast<float>(static_cast<int>(v))) std::abort();
  }
  return 0;
}
