// The XML property-list reader behind plist::read (binary ones go to libplist).
#pragma once

#include <optional>
#include <string_view>

#include "kit/core/value.h"

namespace kit::plist::detail {

// nullopt for anything that is not one well-formed property-list value, in a "plist" element or
// alone: dict, array, key, string, integer, real, date, data, true, false.
std::optional<Value> readXML(std::string_view bytes);

}  // namespace kit::plist::detail
