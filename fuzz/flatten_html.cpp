// Any bytes, as HTML: flattening must neither crash nor read past the input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "helpers/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)strings::flattenHTML(text);
  (void)strings::stringByCleaningParsedHTML(text);
  return 0;
}
