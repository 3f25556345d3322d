#include "kit/text/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <climits>
#include <string>

#include "kit/text/utf.h"

namespace kit {
namespace {

UConverter* openPage(int codePage) {
  // ICU names most Windows pages "windows-N" and the older ones "cpN" or "ibm-N".
  for (const char* prefix : {"windows-", "cp", "ibm-"}) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* c = ucnv_open((prefix + std::to_string(codePage)).c_str(), &err);
    if (U_SUCCESS(err) && c) return c;
    if (c) ucnv_close(c);
  }
  return nullptr;
}

// ICU's own substitute for an undefined single byte is U+001A, a control character: every
// undefined byte or sequence becomes U+FFFD instead.
void replacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                          UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  static const UChar replacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
}

}  // namespace

void CodePageDecoder::Close::operator()(UConverter* c) const { ucnv_close(c); }

CodePageDecoder::CodePageDecoder(int codePage) {
  UConverter* c = codePage > 0 ? openPage(codePage) : nullptr;
  if (c) {
    codePage_ = codePage;
  } else {
    c = openPage(1252);
  }
  converter_.reset(c);
  if (!c) return;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(c, replacementCharacter, nullptr, nullptr, nullptr, &err);
}

CodePageDecoder::~CodePageDecoder() = default;
CodePageDecoder::CodePageDecoder(CodePageDecoder&&) noexcept = default;
CodePageDecoder& CodePageDecoder::operator=(CodePageDecoder&&) noexcept = default;

std::string CodePageDecoder::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  // Without a converter Latin-1 is the nearest reading: it differs from 1252 only in 0x80-0x9F.
  if (!converter_ || bytes.size() > INT_MAX / 2) return decodeLatin1(bytes);
  ucnv_resetToUnicode(converter_.get());
  std::u16string units(bytes.size() * 2 + 1, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(converter_.get(), reinterpret_cast<UChar*>(units.data()),
                                  static_cast<int32_t>(units.size()), reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<int32_t>(bytes.size()), &err);
  if (U_FAILURE(err)) return decodeLatin1(bytes);
  units.resize(static_cast<std::size_t>(n));
  return utf16ToUtf8(units);
}

}  // namespace kit
