#include "kit/text/date_format.h"

#include <cstdlib>
#include <locale.h>
#include <time.h>

#include <cmath>
#include <cstring>
#include <limits>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace kit {

namespace {

// The "C" locale for strftime/strptime, so that LC_TIME of the process never leaks in.
locale_t cLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// Whole seconds of a date as time_t, truncated towards zero; nullopt when not representable.
std::optional<time_t> wholeSeconds(Date d) {
  if (!std::isfinite(d.seconds)) return std::nullopt;
  const double t = std::trunc(d.seconds);
  // Far beyond any year an int can hold; localtime_r rejects the rest.
  if (std::fabs(t) > 1e17) return std::nullopt;
  return static_cast<time_t>(t);
}

std::optional<struct tm> localTm(Date d) {
  auto t = wholeSeconds(d);
  if (!t) return std::nullopt;
  // localtime_r need not look at TZ again; tzset() makes a changed environment count.
  tzset();
  struct tm tm {};
  if (!localtime_r(&*t, &tm)) return std::nullopt;
  return tm;
}

}  // namespace

std::optional<DateComponents> localComponents(Date d) {
  auto tm = localTm(d);
  if (!tm) return std::nullopt;
  DateComponents c;
  c.year = tm->tm_year + 1900;
  c.month = tm->tm_mon + 1;
  c.day = tm->tm_mday;
  c.hour = tm->tm_hour;
  c.minute = tm->tm_min;
  c.second = tm->tm_sec;
  return c;
}

std::optional<long> localUtcOffsetSeconds(Date d) {
  auto tm = localTm(d);
  if (!tm) return std::nullopt;
  return tm->tm_gmtoff;
}

std::optional<Date> dateFromLocalComponents(const DateComponents& c) {
  const long long year = static_cast<long long>(c.year) - 1900;
  const long long month = static_cast<long long>(c.month) - 1;
  if (year < std::numeric_limits<int>::min() || month < std::numeric_limits<int>::min())
    return std::nullopt;
  struct tm tm {};
  tm.tm_year = static_cast<int>(year);
  tm.tm_mon = static_cast<int>(month);
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_isdst = -1;
  // mktime returns -1 both for failure and for one valid second; the untouched weekday tells.
  tm.tm_wday = -1;
  const time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1) && tm.tm_wday == -1) return std::nullopt;
  return Date{static_cast<double>(t)};
}

std::optional<std::string> formatPosixDate(Date d, std::string_view pattern) {
  auto tm = localTm(d);
  if (!tm) return std::nullopt;
  const std::string pat(pattern);
  char buffer[200];
  const size_t n = strftime_l(buffer, sizeof buffer, pat.c_str(), &*tm, cLocale());
  return std::string(buffer, n);
}

std::optional<DateComponents> parsePosixDate(std::string_view text, std::string_view pattern) {
  const std::string txt(text);
  const std::string pat(pattern);
  struct tm tm {};
  if (!strptime_l(txt.c_str(), pat.c_str(), &tm, cLocale())) return std::nullopt;
  DateComponents c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  return c;
}

// ---------------------------------------------------------------------------------------------
// DateFormatter

namespace {

icu::DateFormat::EStyle icuStyle(DateStyle s) {
  switch (s) {
    case DateStyle::None: return icu::DateFormat::kNone;
    case DateStyle::Short: return icu::DateFormat::kShort;
    case DateStyle::Medium: return icu::DateFormat::kMedium;
    case DateStyle::Long: return icu::DateFormat::kLong;
    case DateStyle::Full: return icu::DateFormat::kFull;
  }
  return icu::DateFormat::kNone;
}

constexpr std::size_t kMaxDateText = 64 * 1024;

// Blanks that ICU and people use interchangeably in dates become one ordinary blank.
void normaliseBlanks(icu::UnicodeString& s) {
  for (int32_t i = 0; i < s.length(); ++i) {
    const char16_t c = s.charAt(i);
    if (c == 0x202F || c == 0x00A0 || c == 0x2009 || c == 0x2007) s.setCharAt(i, u' ');
  }
}

// Pattern generators are costly to make; one per thread and locale.
std::optional<icu::UnicodeString> bestPattern(const icu::Locale& locale,
                                              const icu::UnicodeString& skeleton) {
  thread_local std::string cachedLocale;
  thread_local std::unique_ptr<icu::DateTimePatternGenerator> generator;
  if (!generator || cachedLocale != locale.getName()) {
    UErrorCode status = U_ZERO_ERROR;
    generator.reset(icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status)) generator.reset();
    cachedLocale = locale.getName();
    if (!generator) return std::nullopt;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString pattern = generator->getBestPattern(skeleton, status);
  if (U_FAILURE(status)) return std::nullopt;
  return pattern;
}

}  // namespace

std::string defaultLocaleId() { return icu::Locale::getDefault().getName(); }

std::string formatterEnvironmentKey() {
  const char* tz = std::getenv("TZ");
  std::string key = tz ? std::string("TZ=") + tz : std::string();
  key += '|';
  key += defaultLocaleId();
  return key;
}

struct DateFormatter::Impl {
  icu::Locale locale;
  DateStyle dateStyle = DateStyle::None;
  DateStyle timeStyle = DateStyle::None;
  std::optional<icu::UnicodeString> pattern;  // explicit or from a template
  bool lenient = false;
  std::unique_ptr<icu::TimeZone> zone;

  // Built on first use after a change.
  mutable bool built = false;
  mutable std::unique_ptr<icu::SimpleDateFormat> formatter;
  mutable std::unique_ptr<icu::SimpleDateFormat> parser;  // pattern with normalised blanks

  void invalidate() {
    built = false;
    formatter.reset();
    parser.reset();
  }

  void build() const {
    if (built) return;
    built = true;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::SimpleDateFormat> f;
    if (pattern) {
      if (pattern->isEmpty()) return;
      f = std::make_unique<icu::SimpleDateFormat>(*pattern, locale, status);
      if (U_FAILURE(status)) return;
    } else {
      if (dateStyle == DateStyle::None && timeStyle == DateStyle::None) return;
      std::unique_ptr<icu::DateFormat> df(icu::DateFormat::createDateTimeInstance(
          icuStyle(dateStyle), icuStyle(timeStyle), locale));
      auto* sdf = dynamic_cast<icu::SimpleDateFormat*>(df.get());
      if (!sdf) return;
      df.release();
      f.reset(sdf);
    }
    if (zone) f->setTimeZone(*zone);
    f->setLenient(lenient);

    icu::UnicodeString pat;
    f->toPattern(pat);
    icu::UnicodeString normalised = pat;
    normaliseBlanks(normalised);
    std::unique_ptr<icu::SimpleDateFormat> p(f->clone());
    if (p && normalised != pat) p->applyPattern(normalised);
    formatter = std::move(f);
    parser = std::move(p);
  }
};

DateFormatter::DateFormatter() : DateFormatter(std::string_view{}) {}

DateFormatter::DateFormatter(std::string_view localeId) : impl_(std::make_unique<Impl>()) {
  if (localeId.empty()) {
    impl_->locale = icu::Locale::getDefault();
  } else {
    const std::string id(localeId);
    if (id.find('-') != std::string::npos) {
      UErrorCode status = U_ZERO_ERROR;
      impl_->locale = icu::Locale::forLanguageTag(id, status);
      if (U_FAILURE(status)) impl_->locale = icu::Locale::getDefault();
    } else {
      impl_->locale = icu::Locale(id.c_str());
    }
  }
  resetTimeZone();
}

DateFormatter::~DateFormatter() = default;
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;

void DateFormatter::setDateStyle(DateStyle s) {
  impl_->dateStyle = s;
  impl_->pattern.reset();
  impl_->invalidate();
}

void DateFormatter::setTimeStyle(DateStyle s) {
  impl_->timeStyle = s;
  impl_->pattern.reset();
  impl_->invalidate();
}

void DateFormatter::setDateFormat(std::string_view pattern) {
  impl_->pattern = icu::UnicodeString::fromUTF8(
      icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  impl_->invalidate();
}

void DateFormatter::setLocalizedDateFormatFromTemplate(std::string_view skeleton) {
  auto p = bestPattern(impl_->locale,
                       icu::UnicodeString::fromUTF8(icu::StringPiece(
                           skeleton.data(), static_cast<int32_t>(skeleton.size()))));
  impl_->pattern = p ? *p : icu::UnicodeString();
  impl_->invalidate();
}

std::string DateFormatter::dateFormat() const {
  impl_->build();
  std::string out;
  if (impl_->formatter) {
    icu::UnicodeString pat;
    impl_->formatter->toPattern(pat);
    pat.toUTF8String(out);
  }
  return out;
}

void DateFormatter::setLenient(bool lenient) {
  impl_->lenient = lenient;
  impl_->invalidate();
}

void DateFormatter::resetTimeZone() {
  impl_->zone.reset(icu::TimeZone::detectHostTimeZone());
  impl_->invalidate();
}

std::string DateFormatter::stringFromDate(Date d) const {
  impl_->build();
  if (!impl_->formatter || !std::isfinite(d.seconds)) return {};
  icu::UnicodeString text;
  impl_->formatter->format(d.seconds * 1000.0, text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::optional<Date> DateFormatter::dateFromString(std::string_view text) const {
  impl_->build();
  // No date is anywhere near this long; it also keeps the length within ICU's int32 range.
  if (!impl_->parser || text.empty() || text.size() > kMaxDateText) return std::nullopt;
  icu::UnicodeString s =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  normaliseBlanks(s);
  icu::ParsePosition pos(0);
  const UDate ms = impl_->parser->parse(s, pos);
  if (pos.getErrorIndex() >= 0 || pos.getIndex() != s.length()) return std::nullopt;
  if (!std::isfinite(ms)) return std::nullopt;
  return Date{ms / 1000.0};
}

}  // namespace kit
