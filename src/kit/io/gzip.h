// Whole-buffer gzip compression and decompression over zlib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "kit/core/value.h"

namespace kit::gzip {

// One gzip stream (default level, 15-bit window, memory level 8). std::nullopt when zlib cannot
// be set up. An empty input gives an empty gzip stream; callers that want "empty stays empty"
// check for that themselves.
std::optional<Data> deflate(std::span<const std::uint8_t> bytes);

// The bytes of one gzip or zlib stream (the header kind is detected). std::nullopt when the
// stream is damaged or ends early; never partial data. Bytes after the end of the stream are
// ignored.
std::optional<Data> inflate(std::span<const std::uint8_t> bytes);

}  // namespace kit::gzip
