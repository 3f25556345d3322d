#include "kit/text/date_format.h"
#include "kit/testing/zone_scope.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace {

using kit::Date;
using kit::DateComponents;
using kit::DateFormatter;
using kit::DateStyle;

using kit::ZoneScope;

// 2011-07-04 09:05:07 UTC.
constexpr double kJuly4Utc = 1309770307.0;

TEST(LocalCalendar, BreaksDownInTheEnvironmentsZone) {
  {
    ZoneScope tz("Europe/Berlin");
    auto c = kit::localComponents(Date{kJuly4Utc});
    ASSERT_TRUE(c);
    EXPECT_EQ(*c, (DateComponents{2011, 7, 4, 11, 5, 7}));
    EXPECT_EQ(kit::localUtcOffsetSeconds(Date{kJuly4Utc}), 7200);
  }
  {
    // A change of TZ is seen without a restart.
    ZoneScope tz("America/St_Johns");
    EXPECT_EQ(kit::localUtcOffsetSeconds(Date{kJuly4Utc}), -9000);
    EXPECT_EQ(kit::localComponents(Date{kJuly4Utc})->hour, 6);
  }
}

TEST(LocalCalendar, TruncatesFractionsTowardsZero) {
  ZoneScope tz("UTC");
  EXPECT_EQ(kit::localComponents(Date{kJuly4Utc + 0.999})->second, 7);
  // Before 1970 truncation goes up, not down: -0.5 s is still 1970-01-01 00:00:00.
  EXPECT_EQ(*kit::localComponents(Date{-0.5}), (DateComponents{1970, 1, 1, 0, 0, 0}));
}

TEST(LocalCalendar, ComponentsRoundTripAndCarryOver) {
  ZoneScope tz("Europe/Berlin");
  auto d = kit::dateFromLocalComponents({2011, 7, 4, 11, 5, 7});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->seconds, kJuly4Utc);
  // Day 0 is the last day of the month before; month 13 is January of the next year.
  EXPECT_EQ(*kit::localComponents(*kit::dateFromLocalComponents({2012, 3, 0, 12, 0, 0})),
            (DateComponents{2012, 2, 29, 12, 0, 0}));
  EXPECT_EQ(*kit::localComponents(*kit::dateFromLocalComponents({2011, 13, 1, 0, 0, 0})),
            (DateComponents{2012, 1, 1, 0, 0, 0}));
}

TEST(LocalCalendar, DatesBeyondTheCalendarFailInsteadOfWrapping) {
  ZoneScope tz("UTC");
  const double inf = std::numeric_limits<double>::infinity();
  for (double s : {std::nan(""), inf, -inf, 1e300, -1e300}) {
    EXPECT_FALSE(kit::localComponents(Date{s})) << s;
    EXPECT_FALSE(kit::formatPosixDate(Date{s}, "%Y")) << s;
  }
  EXPECT_FALSE(kit::dateFromLocalComponents({std::numeric_limits<int>::min(), 1, 1, 0, 0, 0}));
  // One second before 1970 is a real date, though mktime answers -1 for it.
  auto d = kit::dateFromLocalComponents({1969, 12, 31, 23, 59, 59});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->seconds, -1.0);
}

TEST(PosixPatterns, FormatIgnoresTheProcessLocale) {
  ZoneScope tz("UTC");
  const char* previous = setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!setlocale(LC_ALL, "de_DE.utf8")) GTEST_SKIP() << "de_DE.utf8 not installed";
  auto s = kit::formatPosixDate(Date{kJuly4Utc}, "%a %b %d");
  auto c = kit::parsePosixDate("Mon Jul 04", "%a %b %d");
  setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(s, "Mon Jul 04");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->month, 7);
}

TEST(PosixPatterns, ResultThatDoesNotFitGivesEmptyText) {
  ZoneScope tz("UTC");
  std::string pattern(150, 'x');
  pattern += "%Y-%m-%d %H:%M:%S";
  EXPECT_EQ(kit::formatPosixDate(Date{kJuly4Utc}, pattern)->size(), 169u);
  pattern.append(40, 'y');
  EXPECT_EQ(kit::formatPosixDate(Date{kJuly4Utc}, pattern), "");
}

TEST(PosixPatterns, ParseMatchesFromTheStartOnly) {
  auto c = kit::parsePosixDate("2011-07-04T09:05:07 and more", "%Y-%m-%dT%H:%M:%S");
  ASSERT_TRUE(c);
  EXPECT_EQ(*c, (DateComponents{2011, 7, 4, 9, 5, 7}));
  EXPECT_FALSE(kit::parsePosixDate(" x2011-07-04", "%Y-%m-%d"));
  EXPECT_FALSE(kit::parsePosixDate("2011-13-04", "%Y-%m-%d"));
  // Unset fields are zero: year 1900, month 1, day 0.
  EXPECT_EQ(*kit::parsePosixDate("10:30", "%H:%M"), (DateComponents{1900, 1, 0, 10, 30, 0}));
}

TEST(PosixPatterns, ZoneOffsetIsReadButNotApplied) {
  auto c = kit::parsePosixDate("2011-07-04T09:05:07+0500", "%Y-%m-%dT%H:%M:%S%z");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->hour, 9);
}

class DateFormatterTest : public ::testing::Test {
 protected:
  ZoneScope tz_{"America/New_York"};  // 2011-07-04 09:05:07 UTC is 05:05:07 here
};

TEST_F(DateFormatterTest, StylesFollowTheLocale) {
  DateFormatter us("en_US");
  us.setDateStyle(DateStyle::Medium);
  EXPECT_EQ(us.stringFromDate(Date{kJuly4Utc}), "Jul 4, 2011");
  us.setTimeStyle(DateStyle::Short);
  const std::string text = us.stringFromDate(Date{kJuly4Utc});
  EXPECT_EQ(text.rfind("Jul 4, 2011, 5:05", 0), 0u) << text;
  EXPECT_TRUE(text.ends_with("AM")) << text;

  DateFormatter de("de-DE");
  de.setDateStyle(DateStyle::Medium);
  EXPECT_EQ(de.stringFromDate(Date{kJuly4Utc}), "04.07.2011");
}

TEST_F(DateFormatterTest, OwnOutputParsesBackToTheMinute) {
  DateFormatter f("en_US");
  f.setDateStyle(DateStyle::Medium);
  f.setTimeStyle(DateStyle::Short);
  for (double t : {kJuly4Utc, kJuly4Utc + 8 * 3600.0, 0.0, 1700000000.0}) {
    auto d = f.dateFromString(f.stringFromDate(Date{t}));
    ASSERT_TRUE(d) << f.stringFromDate(Date{t});
    EXPECT_EQ(d->seconds, std::floor(t / 60) * 60);
  }
}

TEST_F(DateFormatterTest, OrdinaryAndNarrowBlanksAreInterchangeable) {
  DateFormatter f("en_US");
  f.setDateStyle(DateStyle::Medium);
  f.setTimeStyle(DateStyle::Short);
  auto typed = f.dateFromString("Jul 4, 2011, 5:05 AM");
  auto narrow = f.dateFromString("Jul 4, 2011, 5:05\u202F" "AM");
  auto noBreak = f.dateFromString("Jul 4, 2011, 5:05\u00A0" "AM");
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->seconds, kJuly4Utc - 7);
  EXPECT_EQ(narrow, typed);
  EXPECT_EQ(noBreak, typed);
}

TEST_F(DateFormatterTest, TheWholeTextMustBeRead) {
  DateFormatter f("en_US");
  f.setDateStyle(DateStyle::Medium);
  EXPECT_TRUE(f.dateFromString("Jul 4, 2011"));
  EXPECT_FALSE(f.dateFromString("Jul 4, 2011, 5:05 AM"));
  EXPECT_FALSE(f.dateFromString("Jul 4, 2011x"));
  EXPECT_FALSE(f.dateFromString(""));
}

TEST_F(DateFormatterTest, LenientParsingAcceptsWhatStrictRejects) {
  DateFormatter f("en_US");
  f.setDateStyle(DateStyle::Medium);
  EXPECT_FALSE(f.dateFromString("Jul 32, 2011"));
  f.setLenient(true);
  auto d = f.dateFromString("Jul 32, 2011");
  ASSERT_TRUE(d);
  EXPECT_EQ(kit::localComponents(*d)->month, 8);
}

TEST_F(DateFormatterTest, TimeZoneIsTakenFromTheEnvironment) {
  DateFormatter f("en_US");
  f.setDateFormat("HH:mm");
  EXPECT_EQ(f.stringFromDate(Date{kJuly4Utc}), "05:05");
  ZoneScope tokyo("Asia/Tokyo");
  EXPECT_EQ(f.stringFromDate(Date{kJuly4Utc}), "05:05");  // kept until reset
  f.resetTimeZone();
  EXPECT_EQ(f.stringFromDate(Date{kJuly4Utc}), "18:05");
  EXPECT_EQ(DateFormatter("en_US").dateFromString("x").has_value(), false);
}

TEST_F(DateFormatterTest, TemplatesGiveTheLocalesOrder) {
  DateFormatter us("en_US");
  us.setLocalizedDateFormatFromTemplate("ddMMMyy");
  EXPECT_EQ(us.dateFormat(), "MMM dd, yy");
  EXPECT_EQ(us.stringFromDate(Date{kJuly4Utc}), "Jul 04, 11");
  DateFormatter gb("en_GB");
  gb.setLocalizedDateFormatFromTemplate("ddMMMyy");
  EXPECT_EQ(gb.stringFromDate(Date{kJuly4Utc}), "04 Jul 11");
}

TEST_F(DateFormatterTest, MalformedInputNeverParses) {
  DateFormatter f("en_US");
  f.setDateStyle(DateStyle::Medium);
  f.setTimeStyle(DateStyle::Medium);
  f.setLenient(true);
  using namespace std::string_literals;
  for (const std::string& s : {"\xff\xfe\x80"s, "\0\0\0"s, std::string(100000, '9'), "Jul"s,
                               "\xe2\x80\xaf"s, ","s})
    EXPECT_FALSE(f.dateFromString(s));
  EXPECT_EQ(f.stringFromDate(Date{std::nan("")}), "");
}

}  // namespace
