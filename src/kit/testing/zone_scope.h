// Set the TZ variable or the device locale of the ICU formatters for one test and put the
// previous value back afterwards.
#pragma once

#include <unicode/locid.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace kit {

class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneScope() {
    if (previous_) ::setenv("TZ", previous_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }
  ZoneScope(const ZoneScope&) = delete;
  ZoneScope& operator=(const ZoneScope&) = delete;

 private:
  std::optional<std::string> previous_;
};

class LocaleScope {
 public:
  explicit LocaleScope(const char* id) : previous_(icu::Locale::getDefault()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(id), status);
  }
  ~LocaleScope() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(previous_, status);
  }
  LocaleScope(const LocaleScope&) = delete;
  LocaleScope& operator=(const LocaleScope&) = delete;

 private:
  icu::Locale previous_;
};

}  // namespace kit
