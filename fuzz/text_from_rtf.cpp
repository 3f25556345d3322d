// Any bytes, as RTF: reading must neither crash nor read past the input, and the text written
// for any result must read back as that result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "helpers/rtf.h"
#include "kit/text/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view rtf(reinterpret_cast<const char*>(data), size);
  const std::string text = strings::textFromRTF(rtf);
  if (!kit::isValidUtf8(text)) std::abort();
  (void)strings::rtfDocFromTextWithTextStyle(rtf, static_cast<int>(size), static_cast<float>(size));
  return 0;
}
