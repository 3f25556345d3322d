// Property lists shaped as attacks, for tests: arrays nested far deeper than any written.
#pragma once

#include <cstddef>
#include <string>

namespace kit::testing {

// A binary list ("bplist00") of arrays, each holding the next `width` times, `levels` deep, with
// an empty array at the bottom: with a width of 2 its few bytes spell out 2^levels values.
std::string nestedBinaryPlist(std::size_t levels, unsigned width = 1);
// An XML list of arrays `levels` deep around `leaf` (a value element).
std::string nestedXMLPlist(std::size_t levels, const std::string& leaf = "<string>x</string>");

}  // namespace kit::testing
