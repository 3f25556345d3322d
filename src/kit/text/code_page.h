// Text in a Windows code page (as RTF documents name theirs), decoded with ICU's converters.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct UConverter;

namespace kit {

class CodePageDecoder {
 public:
  // Windows code page numbers (1252 Western, 1251 Cyrillic, 932 Japanese, ...); a page ICU does
  // not know is read as 1252.
  explicit CodePageDecoder(int codePage);
  ~CodePageDecoder();
  CodePageDecoder(CodePageDecoder&&) noexcept;
  CodePageDecoder& operator=(CodePageDecoder&&) noexcept;

  int codePage() const { return codePage_; }
  // UTF-8 of the bytes; a byte or sequence the page does not define becomes U+FFFD.
  std::string decode(std::span<const std::uint8_t> bytes);

 private:
  struct Close {
    void operator()(UConverter* c) const;
  };
  int codePage_ = 1252;
  std::unique_ptr<UConverter, Close> converter_;
};

}  // namespace kit
