// SHA-1 digests as 40 lower-case hexadecimal digits (OpenSSL libcrypto).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace kit {

std::string sha1Hex(const Data& data);
std::string sha1Hex(std::string_view bytes);
// Empty when the file cannot be read to its end.
std::optional<std::string> sha1HexOfFile(const std::string& path);

}  // namespace kit
