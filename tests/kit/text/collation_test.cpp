#include "kit/text/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(LocalizedEquals, CaseMattersOnlyWithCase) {
  EXPECT_TRUE(kit::localizedEquals("Topic", "Topic"));
  EXPECT_FALSE(kit::localizedEquals("topic", "Topic"));
  EXPECT_TRUE(kit::localizedEqualsNoCase("topic", "TOPIC"));
  EXPECT_FALSE(kit::localizedEqualsNoCase("topic", "topics"));
  EXPECT_FALSE(kit::localizedEquals("", "a"));
}

TEST(LocalizedEquals, AccentsMatterButNotTheirEncoding) {
  EXPECT_FALSE(kit::localizedEquals("cafe", "caf\xC3\xA9"));
  EXPECT_FALSE(kit::localizedEqualsNoCase("cafe", "CAF\xC3\x89"));
  EXPECT_TRUE(kit::localizedEqualsNoCase("caf\xC3\xA9", "CAF\xC3\x89"));
  // Composed and decomposed e-acute are the same text.
  EXPECT_TRUE(kit::localizedEquals("caf\xC3\xA9", "cafe\xCC\x81"));
  EXPECT_FALSE(kit::localizedEquals("\xC3\x84pfel", "\xC3\xA4pfel"));
}

TEST(LocalizedEquals, InvalidUtf8NeverCrashes) {
  EXPECT_TRUE(kit::localizedEquals("\xFF\xFE", "\xFF\xFE"));
  EXPECT_FALSE(kit::localizedEquals("\xFF" "a", "b"));
}

TEST(LocalizedEquals, SafeFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 500; ++i) {
        if (!kit::localizedEqualsNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89")) ++wrong[t];
        if (kit::localizedEquals("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89")) ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
