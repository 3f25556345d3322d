// Gzip and tar operations on byte buffers, as the map formats use them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kit/core/value.h"
#include "kit/io/gzip.h"

namespace data {

// The buffer as one gzip stream. An empty buffer comes back unchanged; nullopt when the
// compressor cannot be set up.
std::optional<kit::Data> simplegzipDeflate(std::span<const std::uint8_t> bytes);

// The decompressed bytes of a gzip or zlib stream (detected from its header). An empty buffer
// comes back unchanged; nullopt when the stream is damaged, ends early or would inflate to more
// than limit bytes.
std::optional<kit::Data> simplegzipInflate(std::span<const std::uint8_t> bytes,
                                           std::size_t limit = kit::gzip::kDefaultInflateLimit);

// A ustar archive with one regular-file entry per key, in key order, then two zero blocks.
// Values must be data. nullopt when a value is not data or a name is empty or does not fit the
// 100-byte name field with its NUL: such an archive would silently lose or rename an entry.
std::optional<kit::Data> buildTarWith(const kit::Dictionary& files);

// Writes each regular entry with bytes (type "0", size above 0) atomically below directory,
// creating parent folders, and returns how many it tried to write. Entries whose names are
// absolute, climb out with "..", are not UTF-8, or would land outside directory through an
// existing link are skipped and not counted. 0 when the length is not a multiple of 512; an
// entry whose bytes run past the end stops the walk.
int extractTarredFilesTo(std::span<const std::uint8_t> archive, const std::string& directory);

// The bytes of the first entry named exactly name whose size is not 0. nullopt when there is
// none, the length is not a multiple of 512, or that entry's bytes run past the end.
std::optional<kit::Data> extractTarredFile(std::span<const std::uint8_t> archive, std::string_view name);

}  // namespace data
