#include "kit/text/collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <climits>
#include <memory>
#include <string_view>

namespace kit {
namespace {

// Collators are not thread-safe: each thread gets its own, made for the default locale when the
// thread first compares.
icu::Collator* collator(icu::Collator::ECollationStrength strength) {
  struct PerThread {
    std::unique_ptr<icu::Collator> tertiary, secondary;
    bool tried = false;
  };
  thread_local PerThread t;
  if (!t.tried) {
    t.tried = true;
    // A "C" or "POSIX" process locale reaches ICU as en_US_POSIX, whose collation makes case a
    // primary difference; such a process has no language preference, so the root order holds.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getName()) == "en_US_POSIX" || locale.getLanguage()[0] == '\0') {
      locale = icu::Locale::getRoot();
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
    if (U_SUCCESS(status) && c) {
      c->setStrength(icu::Collator::TERTIARY);
      t.secondary.reset(c->clone());
      if (t.secondary) t.secondary->setStrength(icu::Collator::SECONDARY);
      t.tertiary = std::move(c);
    }
  }
  return strength == icu::Collator::TERTIARY ? t.tertiary.get() : t.secondary.get();
}

// Printable ASCII has a distinct primary weight for every character (and a case difference only
// for letters), so such text needs no collator.
bool isPlainAscii(std::string_view s) {
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool collatorEquals(std::string_view a, std::string_view b, icu::Collator::ECollationStrength strength) {
  icu::Collator* c = collator(strength);
  if (!c || a.size() > INT32_MAX || b.size() > INT32_MAX) return false;  // no collator: only the byte-equal fast path could have said yes
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r = c->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  return U_SUCCESS(status) && r == UCOL_EQUAL;
}

}  // namespace

bool localizedEquals(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isPlainAscii(a) && isPlainAscii(b)) return false;
  return collatorEquals(a, b, icu::Collator::TERTIARY);
}

bool localizedEqualsNoCase(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isPlainAscii(a) && isPlainAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
  }
  return collatorEquals(a, b, icu::Collator::SECONDARY);
}

}  // namespace kit
