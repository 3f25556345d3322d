// New UUIDs and their compact form, short descriptions of text styles and shapes, the private
// clipboard files and whether there is something to paste.
#pragma once

#include <string>
#include <string_view>

#include "kit/graphics/image.h"

namespace GlobalHelpers {

// The program's own pasteboard types: copied topics, and copied topic attributes.
inline constexpr std::string_view kTopicPasteboardType = "org.quillmere.topic";
inline constexpr std::string_view kTopicAttributesPasteboardType = "org.quillmere.attributes.topic";

// Text style flags.
inline constexpr unsigned kTextStyleBold = 2;
inline constexpr unsigned kTextStyleItalic = 4;
inline constexpr unsigned kTextStyleLeft = 16;
inline constexpr unsigned kTextStyleRight = 32;
inline constexpr unsigned kTextStyleCentre = 64;

// A fresh UUID, 36 upper-case characters.
std::string GetUUID();
// The UUID's 16 bytes in Base64 (24 characters); "" when the text is not a UUID.
std::string GetOIDFromUUID(std::string_view uuid);

// "Bold/Italic/Centre" and the like; "Default" for none.
std::string getTextStyleDescription(unsigned flags);
// "Rounded Rectangle", "Rectangle", "Oval", "Line", else "Default".
std::string getShapeDescription(int shape);
// The shape's small icon; the cog for the default shape. Null when the image is missing.
kit::ImageRef getImageFromShape(int shape);

// "Quillmere.clipboard" for 1, "Quillmere.temp.clipboard" for 2, else "".
std::string clipboardNameForType(int type);
// The copied topics came from this map and use image assets.
bool clipboardContainsReferencesToAssetsInMapID(std::string_view mapID);
// Something the canvas can paste: our topics, text, an image, or a link to an image.
bool clipboardContainsSomethingToPaste();

}  // namespace GlobalHelpers
