#include "helpers/global_helpers_dates.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kit/text/date_format.h"
#include "kit/testing/zone_scope.h"

namespace {

using kit::Date;
using kit::DateComponents;
namespace GH = GlobalHelpers;

using kit::LocaleScope;
using kit::ZoneScope;

Date local(int y, int mo, int d, int h, int mi, int s) {
  return *kit::dateFromLocalComponents({y, mo, d, h, mi, s});
}

DateComponents parts(std::optional<Date> d) { return d ? *kit::localComponents(*d) : DateComponents{}; }

// --- Writing ------------------------------------------------------------------------------

TEST(DateFormatsWriting, FixedPatterns) {
  ZoneScope tz("Etc/GMT-1");  // one hour east of UTC
  const Date d = local(2011, 7, 4, 9, 5, 7);
  EXPECT_EQ(GH::createStringFromDate(d, 1), "040711 090507");
  EXPECT_EQ(GH::createStringFromDate(d, 5), "2011-07-04 09:05:07");
  EXPECT_EQ(GH::createStringFromDate(d, 8), "2011-07-04T09:05");
  EXPECT_EQ(GH::createStringFromDate(d, 7), "2011-07-04T09:05:07.000+01:00");
  for (int f : {3, 6, 9}) EXPECT_EQ(GH::createStringFromDate(d, f), "2011-07-04T09:05:07") << f;
}

TEST(DateFormatsWriting, ZoneWestOfUtcWithHalfHours) {
  ZoneScope tz("America/St_Johns");
  const Date winter = local(2011, 1, 4, 9, 5, 7);
  EXPECT_EQ(GH::createStringFromDate(winter, 7), "2011-01-04T09:05:07.000-03:30");
  // Whole hours truncated towards zero; the other fields unpadded, seconds always 00.
  EXPECT_EQ(GH::createStringFromDate(winter, 4),
            "<NSCalendarDate><year>2011</year><month>1</month><day>4</day><hour>9</hour>"
            "<minute>5</minute><second>00</second><utc>-3</utc></NSCalendarDate>");
}

TEST(DateFormatsWriting, CalendarElementUsesTheOffsetOfTheDate) {
  ZoneScope tz("Asia/Kolkata");
  EXPECT_NE(GH::createStringFromDate(local(1999, 12, 31, 23, 59, 58), 4)->find("<utc>5</utc>"),
            std::string::npos);
  ZoneScope berlin("Europe/Berlin");
  EXPECT_NE(GH::createStringFromDate(local(2011, 7, 4, 0, 0, 0), 4)->find("<utc>2</utc>"),
            std::string::npos);
  EXPECT_NE(GH::createStringFromDate(local(2011, 1, 4, 0, 0, 0), 4)->find("<utc>1</utc>"),
            std::string::npos);
}

TEST(DateFormatsWriting, NothingForNoDateOrUnwrittenFormats) {
  ZoneScope tz("UTC");
  const Date d{1309770307};
  EXPECT_FALSE(GH::createStringFromDate(std::nullopt, 1));
  for (int f : {-1, 0, 10, 1000}) EXPECT_FALSE(GH::createStringFromDate(d, f)) << f;
  for (int f = 1; f <= 9; ++f) EXPECT_FALSE(GH::createStringFromDate(Date{1e300}, f)) << f;
}

TEST(DateFormatsWriting, LocalisedDateHasATimeOnlyWhenHourOrMinuteIsSet) {
  ZoneScope tz("Europe/Berlin");
  LocaleScope en("en_US");
  EXPECT_EQ(GH::createStringFromDate(local(2011, 7, 4, 0, 0, 0), 2), "Jul 4, 2011");
  // Seconds alone do not count as a time of day.
  EXPECT_EQ(GH::createStringFromDate(local(2011, 7, 4, 0, 0, 30), 2), "Jul 4, 2011");
  const std::string withTime = *GH::createStringFromDate(local(2011, 7, 4, 0, 5, 0), 2);
  EXPECT_EQ(withTime.rfind("Jul 4, 2011, 12:05", 0), 0u) << withTime;
  LocaleScope de("de_DE");
  EXPECT_EQ(GH::createStringFromDate(local(2011, 7, 4, 14, 5, 0), 2), "04.07.2011, 14:05");
}

// --- Reading ------------------------------------------------------------------------------

TEST(DateFormatsReading, ZoneInTheTextIsIgnored) {
  ZoneScope tz("Europe/Berlin");
  EXPECT_EQ(parts(GH::createDateFromString("2011-07-04T09:05:07.123+05:00", 7)),
            (DateComponents{2011, 7, 4, 9, 5, 7}));
  EXPECT_EQ(parts(GH::createDateFromString("2011-07-04T09:05:07-0330", 7)),
            (DateComponents{2011, 7, 4, 9, 5, 7}));
  EXPECT_EQ(parts(GH::createDateFromString("2011-07-04T09:05:07Z", 7)),
            (DateComponents{2011, 7, 4, 9, 5, 7}));
}

TEST(DateFormatsReading, FallbacksAndTrailingText) {
  ZoneScope tz("America/New_York");
  EXPECT_EQ(parts(GH::createDateFromString("2011-07-04", 5)), (DateComponents{2011, 7, 4, 0, 0, 0}));
  for (int f : {3, 6, 9})
    EXPECT_EQ(parts(GH::createDateFromString("2011-07-04T09:05:07xyz", f)),
              (DateComponents{2011, 7, 4, 9, 5, 7}));
  EXPECT_EQ(parts(GH::createDateFromString("040711 090507", 1)),
            (DateComponents{2011, 7, 4, 9, 5, 7}));
  EXPECT_EQ(parts(GH::createDateFromString("2011-07-04T09:05", 8)),
            (DateComponents{2011, 7, 4, 9, 5, 0}));
  EXPECT_FALSE(GH::createDateFromString("2011-07-04", 3));
  EXPECT_FALSE(GH::createDateFromString("04.07.2011", 5));
}

TEST(DateFormatsReading, NothingForEmptyTextAndUnreadFormats) {
  ZoneScope tz("UTC");
  for (int f = -2; f <= 11; ++f) EXPECT_FALSE(GH::createDateFromString("", f)) << f;
  EXPECT_FALSE(GH::createDateFromString("<NSCalendarDate><year>2011</year></NSCalendarDate>", 4));
  EXPECT_FALSE(GH::createDateFromString("2011-07-04T09:05:07", 10));
  EXPECT_FALSE(GH::createDateFromString("2011-07-04T09:05:07", -1));
  EXPECT_FALSE(GH::_createDateFromString("2011-07-04", ""));
}

TEST(DateFormatsReading, LocalisedTextWithAndWithoutTime) {
  ZoneScope tz("Europe/Berlin");
  LocaleScope en("en_US");
  EXPECT_EQ(parts(GH::createDateFromString("Jul 4, 2011", 2)), (DateComponents{2011, 7, 4, 0, 0, 0}));
  // Typed with an ordinary blank where the formatter writes a narrow one.
  EXPECT_EQ(parts(GH::createDateFromString("Jul 4, 2011, 3:05 PM", 2)),
            (DateComponents{2011, 7, 4, 15, 5, 0}));
  EXPECT_FALSE(GH::createDateFromString("4 July 2011 garbage", 2));
  auto lenient = GH::createDateFromString("Jul 4, 2011, 3:05:09 PM", 0);
  EXPECT_EQ(parts(lenient), (DateComponents{2011, 7, 4, 15, 5, 9}));
}

TEST(DateFormatsReading, FormatZeroReadsTheDefaultStylesExactlyOrNothing) {
  ZoneScope tz("Europe/Berlin");
  {
    LocaleScope en("en_US");
    EXPECT_EQ(parts(GH::createDateFromString("Jul 4, 2011", 0)), (DateComponents{2011, 7, 4, 0, 0, 0}));
    EXPECT_EQ(parts(GH::createDateFromString("Jul 4, 2011, 3:05 PM", 0)), (DateComponents{2011, 7, 4, 15, 5, 0}));
    // No date rather than a wrong one.
    for (const char* text : {"sometime soon", "2011-07-04", "4 July 2011", "7/4/11, 9:30 AM"})
      EXPECT_FALSE(GH::createDateFromString(text, 0)) << text;
  }
  LocaleScope de("de_DE");
  EXPECT_FALSE(GH::createDateFromString("2011-07-04", 0));
  EXPECT_EQ(parts(GH::createDateFromString("04.07.2011", 0)), (DateComponents{2011, 7, 4, 0, 0, 0}));
  EXPECT_EQ(parts(GH::createDateFromString("04.07.2011, 15:05", 0)), (DateComponents{2011, 7, 4, 15, 5, 0}));
  EXPECT_EQ(parts(GH::createDateFromString("04.07.2011, 15:05:09", 0)), (DateComponents{2011, 7, 4, 15, 5, 9}));
}

TEST(DateFormatsReading, FormattersFollowAChangedZone) {
  LocaleScope en("en_US");
  std::optional<Date> berlin, tokyo;
  {
    ZoneScope tz("Europe/Berlin");
    berlin = GH::createDateFromString("Jul 4, 2011", 2);
  }
  {
    ZoneScope tz("Asia/Tokyo");
    tokyo = GH::createDateFromString("Jul 4, 2011", 2);
  }
  ASSERT_TRUE(berlin && tokyo);
  EXPECT_EQ(berlin->seconds - tokyo->seconds, 7 * 3600);
}

// --- Round trips --------------------------------------------------------------------------

TEST(DateFormatsRoundTrip, EveryReadableFormatGivesTheDateBack) {
  LocaleScope en("en_US");
  for (const char* zone : {"UTC", "Europe/Berlin", "America/St_Johns", "Asia/Kolkata",
                           "Pacific/Kiritimati", "America/Los_Angeles"}) {
    ZoneScope tz(zone);
    for (double t : {1309770307.0, 1300000000.0, 946684799.0, 0.0, 3000000000.0, 1700000000.5}) {
      const Date d{t};
      const double whole = std::trunc(t);
      const double minute = std::floor(whole / 60) * 60;
      for (int f : {1, 3, 5, 6, 7, 9}) {
        auto text = GH::createStringFromDate(d, f);
        ASSERT_TRUE(text) << f;
        auto back = GH::createDateFromString(*text, f);
        ASSERT_TRUE(back) << zone << " " << f << " " << *text;
        EXPECT_EQ(back->seconds, whole) << zone << " " << f << " " << *text;
      }
      for (int f : {2, 8}) {
        auto text = GH::createStringFromDate(d, f);
        auto back = GH::createDateFromString(*text, f);
        ASSERT_TRUE(back) << zone << " " << f << " " << *text;
        EXPECT_EQ(back->seconds, minute) << zone << " " << f << " " << *text;
      }
    }
  }
}

// --- Bad input ----------------------------------------------------------------------------

TEST(DateFormatsBadInput, MutatedAndArbitraryTextNeverCrashes) {
  ZoneScope tz("Europe/Berlin");
  LocaleScope en("en_US");
  using namespace std::string_literals;
  const std::vector<std::string> seeds = {
      "040711 090507", "Jul 4, 2011, 9:05\u202fAM", "2011-07-04T09:05:07",
      "2011-07-04 09:05:07", "2011-07-04T09:05:07.000+01:00", "2011-07-04T09:05", "",
  };
  const std::string alphabet = "0123456789-+:.TZ %\xe2\x80\xaf\xff\0 APMJul,9"s;
  std::mt19937 rng(1234);
  int read = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string s = seeds[rng() % seeds.size()];
    for (int edits = 1 + rng() % 3; edits > 0; --edits) {
      const char c = alphabet[rng() % alphabet.size()];
      const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
      switch (rng() % 3) {
        case 0: s.insert(at, 1, c); break;
        case 1: if (at < s.size()) s[at] = c; break;
        default: if (at < s.size()) s.erase(at, 1); break;
      }
    }
    for (int f = -1; f <= 10; ++f) {
      if (auto d = GH::createDateFromString(s, f)) {
        ++read;
        EXPECT_TRUE(std::isfinite(d->seconds));
      }
    }
  }
  EXPECT_GT(read, 100);  // the mutations still reach the date readers
  EXPECT_FALSE(GH::createDateFromString(std::string(1 << 20, '1'), 2));
  EXPECT_FALSE(GH::createDateFromString(std::string(1 << 20, '1'), 0));
}

}  // namespace
