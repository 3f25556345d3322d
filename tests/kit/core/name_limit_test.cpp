// Made names keep within the limit: the stem is cut, never inside a character, and what was
// added stays whole.
#include <gtest/gtest.h>

#include "kit/core/name_limit.h"

TEST(NameLimit, TheStemIsCutAtACharacterAndTheEndingKept) {
  const struct {
    std::string stem, ending, fitted;
    std::size_t limit;
  } cases[] = {
      {"garden", ".qlm", "garden.qlm", 255},
      {"garden", "-20261208-044330.qlm", "gard-20261208-044330.qlm", 24},
      {"caf\xC3\xA9", ".qlm", "caf.qlm", 8},  // not half of the é
  };
  for (const auto& c : cases) EXPECT_EQ(kit::fitName(c.stem, c.ending, c.limit), c.fitted) << c.stem;
}
