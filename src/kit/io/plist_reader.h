// The property-list readers behind plist::read: XML through the XML event parser, binary by our
// own code. Neither recurses past a fixed depth.
#pragma once

#include <optional>
#include <string_view>

#include "kit/core/value.h"
#include "kit/io/plist.h"

namespace kit::plist::detail {

// Containers nested deeper than this are refused (the writer refuses them too). XML stops
// earlier, at the event parser's limit.
inline constexpr int kMaxDepth = 512;
// Stored dates count from 2001-01-01 00:00:00 UTC; Date counts from 1970.
inline constexpr double kReferenceEpoch = 978307200.0;

// nullopt for anything that is not one well-formed property-list value, in a "plist" element or
// alone: dict, array, key, string, integer, real, date, data, true, false.
std::optional<Value> readXML(std::string_view bytes, ReadFailure& why);
// nullopt for anything that is not a whole "bplist00" list of those types (UIDs read as integers).
std::optional<Value> readBinary(std::string_view bytes, ReadFailure& why);

// A date given in seconds from 2001 as the writer keeps it: whole seconds within 32 bits (those
// beyond read as the nearest it carries) and microseconds.
Date dateFromReference(double seconds);

}  // namespace kit::plist::detail
