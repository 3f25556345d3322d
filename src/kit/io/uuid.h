// Random UUIDs in the 36-character upper-case text form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

using UUIDBytes = std::array<std::uint8_t, 16>;

// A fresh random (version 4) UUID, "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case.
std::string newUUIDString();
// The 16 bytes of a UUID text in either case; empty unless it is exactly the 36-character form.
std::optional<UUIDBytes> parseUUID(std::string_view text);

}  // namespace kit
