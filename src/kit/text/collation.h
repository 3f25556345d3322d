// Localised text equality through an ICU collator of the current locale.
#pragma once

#include <string_view>

namespace kit {

// Equal at tertiary strength: case and accents matter; canonically equivalent forms (composed
// and decomposed accents) and ignorable characters (zero-width, most controls) do not.
bool localizedEquals(std::string_view a, std::string_view b);
// Equal at secondary strength: as above with case ignored.
bool localizedEqualsNoCase(std::string_view a, std::string_view b);

}  // namespace kit
