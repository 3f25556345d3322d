// Plain text to RTF and back.
#pragma once

#include <string>
#include <string_view>

namespace strings {

// Plain text of an RTF document: font, colour and style tables and "\*" destinations dropped,
// paragraph marks as line breaks, "\uN" as its character. Never fails; "" for no input.
std::string textFromRTF(std::string_view rtf);
std::string rtfDocFromText(std::string_view text);
// textStyle bits: 2 bold, 4 italic, 16 left, 32 right, 64 centred. fontSize in half points
// (0: none).
std::string rtfDocFromTextWithTextStyle(std::string_view text, int textStyle, float fontSize);

}  // namespace strings
