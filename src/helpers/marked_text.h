// Decoding byte buffers whose text encoding is marked, or not, by a byte-order mark.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "kit/core/value.h"

namespace data {

// The buffer as text: UTF-16 after an FE FF or FF FE mark (at least 3 bytes); UTF-32 after
// 00 00 FE FF (at least 5 bytes; 00 00 FF FE counts as marked but nothing decodes it); else
// UTF-8; else ISO Latin-1, which always succeeds.
std::string mutableStringRepresentation(std::span<const std::uint8_t> bytes);

// A file's XML as UTF-8 bytes, whatever its encoding, with its declaration saying UTF-8.
// nullopt when the file cannot be read or its text is empty.
std::optional<kit::Data> dataWithContentsOfXMLFile(const std::string& path);

}  // namespace data
