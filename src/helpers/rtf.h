// Plain text to RTF and back.
#pragma once

#include <string>
#include <string_view>

namespace strings {

// Plain text of an RTF document: font, colour and style tables and "\*" destinations dropped,
// paragraph marks and "\line" as line breaks, "\tab" as a tab, "\uN" as its character and "\'hh" as
// a byte of the document's code page ("\ansicpgN", else 1252). Never fails; "" for no input.
std::string textFromRTF(std::string_view rtf);
std::string rtfDocFromText(std::string_view text);
// textStyle bits: 2 bold, 4 italic, 16 left, 32 right, 64 centred. fontSize in half points
// (0: none).
std::string rtfDocFromTextWithTextStyle(std::string_view text, int textStyle, float fontSize);

}  // namespace strings
