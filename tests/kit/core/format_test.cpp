#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "kit/core/format.h"
#include "kit/core/value.h"

using namespace kit;

TEST(Format, PrintfConversions) {
  EXPECT_EQ(format("%.2X%.2X%.2X", 255, 10, 0), "FF0A00");
  EXPECT_EQ(format("%.8x", 0xbeefu), "0000beef");
  EXPECT_EQ(format("%1.1f KB", 12.25), "12.2 KB");
  EXPECT_EQ(format("%d%%", 50), "50%");
  EXPECT_EQ(format("%.6o", 8), "000010");
  EXPECT_EQ(format("%ld", 1234567890123L), "1234567890123");
}

TEST(Format, ObjectConversionPrintsTheDescription) {
  EXPECT_EQ(format("<%@>", Value("text")), "<text>");
  EXPECT_EQ(format("%@ and %@", Value(3), std::string("str")), "3 and str");
  EXPECT_EQ(format("100%% %@", Value(Point(1.5f, 2))), "100% {1.5, 2}");
}

TEST(Format, MalformedFormatGivesEmptyText) {
  EXPECT_EQ(format("%d %d", 1), "");
}

TEST(Format, IgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(format("%.2f", 1.5), "1.50");
  EXPECT_EQ(parseDouble("1.5"), 1.5);
  EXPECT_EQ(formatDouble(0.25), "0.25");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Parse, NumbersReadAsMuchAsParses) {
  EXPECT_EQ(parseDouble("  3.75kg"), 3.75);
  EXPECT_EQ(parseDouble("+.5"), 0.5);
  EXPECT_EQ(parseDouble("-2e3x"), -2000);
  EXPECT_EQ(parseDouble("1e"), 1);
  EXPECT_EQ(parseDouble("abc"), 0);
  EXPECT_EQ(parseDouble("inf"), 0);
  EXPECT_EQ(parseDouble(""), 0);
  EXPECT_EQ(parseDouble("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parseDouble("1e-999"), 0);
  EXPECT_EQ(parseInt(" \t-42 apples"), -42);
  EXPECT_EQ(parseInt("3.9"), 3);
  EXPECT_EQ(parseInt("+7"), 7);
  EXPECT_EQ(parseInt("- 7"), 0);
  EXPECT_EQ(parseInt("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(parseInt("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(parseInt("-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(Parse, BoolFollowsTheFirstSignificantCharacter) {
  EXPECT_TRUE(parseBool("YES"));
  EXPECT_TRUE(parseBool("  true"));
  EXPECT_TRUE(parseBool("-007"));
  EXPECT_FALSE(parseBool("000"));
  EXPECT_FALSE(parseBool("NO"));
  EXPECT_FALSE(parseBool("  "));
  EXPECT_FALSE(parseBool("on"));
  EXPECT_TRUE(Value("y").boolValue());
  EXPECT_EQ(Value(" 12.5e1").doubleValue(), 125);
}

TEST(FormatNumbers, ShortestRoundTrip) {
  EXPECT_EQ(formatDouble(1.0), "1");
  EXPECT_EQ(formatDouble(0.1), "0.1");
  EXPECT_EQ(formatFloat(0.1f), "0.1");
  EXPECT_EQ(parseDouble(formatDouble(1.0 / 3)), 1.0 / 3);
}
