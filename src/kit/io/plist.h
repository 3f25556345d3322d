// Property lists (XML or binary) to and from Value: written by libplist, binary ones read by
// libplist, XML ones read through the XML event parser (plist_xml_reader.h).
//
// Written plists hold only property-list types: boxed points, sizes and rects are written as the
// strings "{x, y}", "{w, h}" and "{{x, y}, {w, h}}" (and read back as strings); null values in
// dictionaries and arrays are left out. Dates keep whole seconds in XML. Integers are 64-bit
// signed and round-trip, negatives included.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace kit::plist {

// nullopt for anything that is not a well-formed property list.
std::optional<Value> read(const Data& bytes);
std::optional<Value> read(std::string_view bytes);
std::optional<Value> readFile(const std::string& path);

// Empty when v is null (a property list cannot be null).
std::string writeXML(const Value& v);
Data writeBinary(const Value& v);
// Atomically (temporary file and rename); false when v is null or the write failed.
bool writeFile(const std::string& path, const Value& v, bool binary = false);

}  // namespace kit::plist
