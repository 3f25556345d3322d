// Feeds arbitrary text to every date format reader, and writes back whatever reads.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "helpers/global_helpers_dates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int format = -1; format <= 10; ++format) {
    auto date = GlobalHelpers::createDateFromString(text, format);
    if (!date) continue;
    if (!std::isfinite(date->seconds)) std::abort();
    for (int out = 1; out <= 9; ++out) (void)GlobalHelpers::createStringFromDate(*date, out);
  }
  return 0;
}
