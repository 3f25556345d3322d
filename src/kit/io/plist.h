// Property lists (XML or binary) to and from Value: written by libplist, read by our own readers
// (plist_reader.h), which refuse lists nested too deeply.
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

// Why read gave nothing.
enum class ReadFailure { None, Damaged, TooDeep };

// nullopt for anything that is not a well-formed property list.
std::optional<Value> read(const Data& bytes);
std::optional<Value> read(std::string_view bytes);
std::optional<Value> read(std::string_view bytes, ReadFailure& why);
std::optional<Value> readFile(const std::string& path);
std::optional<Value> readFile(const std::string& path, ReadFailure& why);

// Empty when v is null (a property list cannot be null).
std::string writeXML(const Value& v);
Data writeBinary(const Value& v);
// Atomically (temporary file and rename); false when v is null or the write failed.
bool writeFile(const std::string& path, const Value& v, bool binary = false);

}  // namespace kit::plist
