// Arbitrary bytes through gzip decompression; whatever inflates must survive a round trip.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "helpers/compression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto inflated = data::simplegzipInflate(input);
  if (!inflated || inflated->size() > (std::size_t{4} << 20)) return 0;
  const auto deflated = data::simplegzipDeflate(*inflated);
  if (!deflated) std::abort();
  const auto again = data::simplegzipInflate(*deflated);
  if (!again || *again != *inflated) std::abort();
  return 0;
}
