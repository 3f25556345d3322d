#include "kit/text/regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <climits>

namespace kit {

struct Regex::Impl {
  // A compiled pattern is immutable and may be shared; each call makes its own matcher.
  std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

bool fitsIcu(std::string_view s) { return s.size() <= static_cast<std::size_t>(INT32_MAX); }

icu::UnicodeString toUnicode(std::string_view s) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
  std::string out;
  u.toUTF8String(out);
  return out;
}

}  // namespace

Regex::Regex(std::string_view pattern, unsigned flags) {
  if (!fitsIcu(pattern)) return;
  uint32_t f = 0;
  if (flags & CaseInsensitive) f |= UREGEX_CASE_INSENSITIVE;
  if (flags & MultiLine) f |= UREGEX_MULTILINE;
  if (flags & DotAll) f |= UREGEX_DOTALL;
  UErrorCode status = U_ZERO_ERROR;
  UParseError pe;
  std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(toUnicode(pattern), f, pe, status));
  if (U_FAILURE(status) || !p) return;
  impl_ = std::make_unique<Impl>();
  impl_->pattern = std::move(p);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

// The matcher keeps a reference to its input, so the UnicodeString lives in the caller's frame
// for as long as the matcher does.

bool Regex::matchesWhole(std::string_view text) const {
  if (!impl_ || !fitsIcu(text)) return false;
  const icu::UnicodeString input = toUnicode(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
  if (U_FAILURE(status) || !m) return false;
  const bool r = m->matches(status);
  return U_SUCCESS(status) && r;
}

bool Regex::search(std::string_view text) const {
  if (!impl_ || !fitsIcu(text)) return false;
  const icu::UnicodeString input = toUnicode(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
  if (U_FAILURE(status) || !m) return false;
  const bool r = m->find(0, status);
  return U_SUCCESS(status) && r;
}

std::optional<std::vector<std::string>> Regex::firstMatch(std::string_view text) const {
  if (!impl_ || !fitsIcu(text)) return std::nullopt;
  const icu::UnicodeString input = toUnicode(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
  if (U_FAILURE(status) || !m) return std::nullopt;
  if (!m->find(0, status) || U_FAILURE(status)) return std::nullopt;
  std::vector<std::string> groups;
  for (int32_t g = 0; g <= m->groupCount(); ++g) {
    const icu::UnicodeString s = m->group(g, status);
    if (U_FAILURE(status)) return std::nullopt;
    groups.push_back(toUtf8(s));
  }
  return groups;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
  if (!impl_ || !fitsIcu(text) || !fitsIcu(replacement)) return std::string(text);
  const icu::UnicodeString input = toUnicode(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
  if (U_FAILURE(status) || !m) return std::string(text);
  const icu::UnicodeString out = m->replaceAll(toUnicode(replacement), status);
  if (U_FAILURE(status)) return std::string(text);
  return toUtf8(out);
}

}  // namespace kit
