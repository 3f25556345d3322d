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

// What inflating outside data may produce at most unless the caller says otherwise: a few
// megabytes of gzip can claim gigabytes.
constexpr std::size_t kDefaultInflateLimit = std::size_t{1} << 30;

// The bytes of one gzip or zlib stream (the header kind is detected). std::nullopt when the
// stream is damaged, ends early or would inflate to more than limit bytes; never partial data.
// Bytes after the end of the stream are ignored.
std::optional<Data> inflate(std::span<const std::uint8_t> bytes, std::size_t limit = kDefaultInflateLimit);

}  // namespace kit::gzip
