#include "helpers/marked_text.h"

#include "helpers/strings.h"
#include "kit/core/files.h"
#include "kit/text/utf.h"

namespace data {

std::string mutableStringRepresentation(std::span<const std::uint8_t> bytes) {
  return kit::decodeText(bytes);
}

std::optional<kit::Data> dataWithContentsOfXMLFile(const std::string& path) {
  const std::optional<kit::Data> raw = kit::FileManager::readFile(path);
  if (!raw) return std::nullopt;
  std::string text = mutableStringRepresentation(*raw);
  if (text.empty()) return std::nullopt;
  strings::forceXMLEncodingUTF8(text);
  return kit::Data(text.begin(), text.end());
}

}  // namespace data
