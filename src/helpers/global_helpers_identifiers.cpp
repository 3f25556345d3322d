#include "helpers/global_helpers_identifiers.h"

#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/io/plist.h"
#include "kit/io/uuid.h"
#include "kit/text/utf.h"
#include "kit/ui/pasteboard.h"

namespace GlobalHelpers {

namespace {

std::string base64(const std::uint8_t* data, std::size_t n) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (std::size_t i = 0; i < n; i += 3) {
    std::uint32_t v = std::uint32_t(data[i]) << 16;
    if (i + 1 < n) v |= std::uint32_t(data[i + 1]) << 8;
    if (i + 2 < n) v |= data[i + 2];
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < n ? kAlphabet[v & 63] : '=');
  }
  return out;
}

// The clipboard record of the given number, when it can be read as a dictionary.
std::optional<kit::Value> readClipboardRecord(int type) {
  const std::string name = clipboardNameForType(type);
  if (name.empty()) return std::nullopt;
  auto v = kit::plist::readFile(kit::AppPaths::temporary() + "/" + name);
  if (!v || !v->isDictionary()) return std::nullopt;
  return v;
}

}  // namespace

std::string GetUUID() { return kit::newUUIDString(); }

std::string GetOIDFromUUID(std::string_view uuid) {
  auto bytes = kit::parseUUID(uuid);
  if (!bytes) return {};
  return base64(bytes->data(), bytes->size());
}

std::string getTextStyleDescription(unsigned flags) {
  std::string s;
  auto add = [&s](const char* word) {
    if (!s.empty()) s += "/";
    s += word;
  };
  if (flags & kTextStyleBold) add("Bold");
  if (flags & kTextStyleItalic) add("Italic");
  if (flags & kTextStyleLeft) {
    add("Left");
  } else if (flags & kTextStyleCentre) {
    add("Centre");
  } else if (flags & kTextStyleRight) {
    add("Right");
  }
  if (s.empty()) s = "Default";
  return s;
}

std::string getShapeDescription(int shape) {
  switch (shape) {
    case 0: return "Rounded Rectangle";
    case 1: return "Rectangle";
    case 2: return "Oval";
    case 3: return "Line";
    default: return "Default";
  }
}

kit::ImageRef getImageFromShape(int shape) {
  switch (shape) {
    case 0: return kit::imageNamed("shape-rounded-rect.png");
    case 1: return kit::imageNamed("shape-rect.png");
    case 2: return kit::imageNamed("shape-ellipse.png");
    case 3: return kit::imageNamed("shape-line.png");
    default: return kit::imageNamed("gear-small-black.png");
  }
}

std::string clipboardNameForType(int type) {
  switch (type) {
    case 1: return "Quillmere.clipboard";
    case 2: return "Quillmere.temp.clipboard";
    default: return {};
  }
}

bool clipboardContainsReferencesToAssetsInMapID(std::string_view mapID) {
  auto record = readClipboardRecord(1);
  if (!record) return false;
  const kit::Value& copiedFrom = (*record)["MapID"];
  if (!copiedFrom.isString() || copiedFrom.string().empty()) return false;
  if (!strings::isEqualToStringWithCase(copiedFrom.string(), mapID)) return false;
  const kit::Value& assets = (*record)["Assets"];
  return assets.isArray() && !assets.array().empty();
}

bool clipboardContainsSomethingToPaste() {
  const kit::Pasteboard& board = kit::Pasteboard::general();
  if (board.containsPasteboardType(kTopicPasteboardType) && readClipboardRecord(1)) return true;
  if (board.containsPasteboardTypes({kit::kPasteboardTypeText, kit::kPasteboardTypePlainText,
                                     kit::kPasteboardTypeUTF8PlainText, kit::kPasteboardTypePNG,
                                     kit::kPasteboardTypeJPEG, kit::kPasteboardTypeGIF}))
    return true;
  if (auto url = board.url()) {
    const std::string ext = strings::pathExtension(*url);
    for (std::string_view image : {"png", "jpg", "jpeg", "gif"})
      if (strings::isEqualToStringNoCase(ext, image)) return true;
  }
  return false;
}

}  // namespace GlobalHelpers
