#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "helpers/global_helpers_shapes.h"

using GlobalHelpers::getShapeFromCDMZ;
using GlobalHelpers::getShapeFromNM5;

TEST(ShapeFromNM5, NamedShapesGiveTheirCodes) {
  EXPECT_EQ(getShapeFromNM5("RoundedRectangle"), 0);
  EXPECT_EQ(getShapeFromNM5("ChamferedRectangle"), 0);
  EXPECT_EQ(getShapeFromNM5("Rectangle"), 1);
  EXPECT_EQ(getShapeFromNM5("Oval"), 2);
  EXPECT_EQ(getShapeFromNM5("Line"), 3);
}

TEST(ShapeFromNM5, AnythingElseIsUnset) {
  EXPECT_EQ(getShapeFromNM5(std::nullopt), 99);
  EXPECT_EQ(getShapeFromNM5(""), 99);
  EXPECT_EQ(getShapeFromNM5("Hexagon"), 99);
  // Names are matched with case, and whole.
  EXPECT_EQ(getShapeFromNM5("oval"), 99);
  EXPECT_EQ(getShapeFromNM5("Rect"), 99);
  EXPECT_EQ(getShapeFromNM5("Rectangle "), 99);
  EXPECT_EQ(getShapeFromNM5(std::string_view("Oval\0x", 6)), 99);
}

TEST(ShapeFromCDMZ, EveryKnownCode) {
  const int expected[] = {3, 3, 1, 0, 0, 0, 2, 2};
  for (int code = 0; code <= 7; ++code) {
    char text[2] = {static_cast<char>('0' + code), 0};
    EXPECT_EQ(getShapeFromCDMZ(std::string_view(text)), expected[code]) << code;
  }
}

TEST(ShapeFromCDMZ, AnythingElseIsUnset) {
  EXPECT_EQ(getShapeFromCDMZ(std::nullopt), 99);
  EXPECT_EQ(getShapeFromCDMZ(""), 99);
  EXPECT_EQ(getShapeFromCDMZ("8"), 99);
  EXPECT_EQ(getShapeFromCDMZ("-1"), 99);
  EXPECT_EQ(getShapeFromCDMZ("03"), 99);
  EXPECT_EQ(getShapeFromCDMZ("3 "), 99);
  EXPECT_EQ(getShapeFromCDMZ("Oval"), 99);
}
