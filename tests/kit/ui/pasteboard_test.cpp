#include <gtest/gtest.h>

#include "kit/ui/pasteboard.h"

using namespace kit;

class PasteboardTest : public ::testing::Test {
 protected:
  void SetUp() override { Pasteboard::general().clear(); }
  void TearDown() override {
    Pasteboard::general().clear();
    Pasteboard::removeNamed("snippets");
  }
};

TEST_F(PasteboardTest, ItemsReplaceTheWholeContents) {
  Pasteboard& pb = Pasteboard::general();
  auto before = pb.changeCount();
  pb.setItems({Pasteboard::Item{{"org.example.topic", Value(Data{1, 2, 3})},
                                {std::string(kPasteboardTypeUTF8PlainText), Value("outline")},
                                {"org.example.empty", Value()}},
               Pasteboard::Item{{std::string(kPasteboardTypePNG), Value(Data{9})}}});
  EXPECT_GT(pb.changeCount(), before);
  EXPECT_EQ(pb.numberOfItems(), 2u);
  // Null values are not stored.
  EXPECT_EQ(pb.pasteboardTypes(), (std::vector<std::string>{"org.example.topic", "public.utf8-plain-text"}));
  EXPECT_TRUE(pb.containsPasteboardType("org.example.topic"));
  // Only the first item is asked.
  EXPECT_FALSE(pb.containsPasteboardType(kPasteboardTypePNG));
  EXPECT_FALSE(pb.containsPasteboardType("org.example"));  // exact match only
  EXPECT_EQ(pb.string(), "outline");
  EXPECT_EQ(pb.dataForPasteboardType("org.example.topic"), (Data{1, 2, 3}));
  EXPECT_EQ(pb.dataForPasteboardType(kPasteboardTypeUTF8PlainText), (Data{'o', 'u', 't', 'l', 'i', 'n', 'e'}));
  EXPECT_FALSE(pb.dataForPasteboardType("missing"));
  EXPECT_TRUE(pb.valueForPasteboardType("missing").isNull());

  pb.setString("plain");
  EXPECT_EQ(pb.numberOfItems(), 1u);
  EXPECT_FALSE(pb.containsPasteboardType("org.example.topic"));
  EXPECT_EQ(pb.string(), "plain");
  EXPECT_FALSE(pb.url());
}

TEST_F(PasteboardTest, TextFromAnyTextTypeButNotFromBadBytes) {
  Pasteboard& pb = Pasteboard::general();
  pb.setValue(Value("t"), kPasteboardTypeText);
  EXPECT_EQ(pb.string(), "t");
  pb.setData(Data{'o', 'k'}, kPasteboardTypePlainText);
  EXPECT_EQ(pb.string(), "ok");
  pb.setData(Data{0xFF, 0xFE, 0x00}, kPasteboardTypePlainText);
  EXPECT_FALSE(pb.string());
  pb.setURL("file:///tmp/a.png");
  EXPECT_EQ(pb.url(), "file:///tmp/a.png");
  EXPECT_FALSE(pb.string());
  pb.clear();
  EXPECT_EQ(pb.numberOfItems(), 0u);
  EXPECT_TRUE(pb.pasteboardTypes().empty());
  EXPECT_FALSE(pb.containsPasteboardTypes({kPasteboardTypeText}));
}

TEST_F(PasteboardTest, NamedPasteboardsAreSeparate) {
  EXPECT_EQ(Pasteboard::named("snippets", false), nullptr);
  Pasteboard* s = Pasteboard::named("snippets", true);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Pasteboard::named("snippets", false), s);
  EXPECT_EQ(s->name(), "snippets");
  s->setString("snip");
  EXPECT_FALSE(Pasteboard::general().string());
  EXPECT_EQ(Pasteboard::named("snippets", true)->string(), "snip");
  Pasteboard::removeNamed("snippets");
  EXPECT_EQ(Pasteboard::named("snippets", false), nullptr);
}
