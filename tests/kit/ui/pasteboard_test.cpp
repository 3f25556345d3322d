#include <gtest/gtest.h>

#include <utility>

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

namespace {
// A desktop clipboard stand-in: keeps what was published, and can change behind the process.
class FakeHost final : public PasteboardHost {
 public:
  void publish(const Pasteboard& board) override {
    ++published;
    lastTypes = board.items().empty() ? std::vector<std::string>{} : board.pasteboardTypes();
  }
  std::optional<std::vector<Dictionary>> fetchChanged(const Pasteboard&) override {
    return std::exchange(pending, std::nullopt);
  }
  int published = 0;
  std::vector<std::string> lastTypes;
  std::optional<std::vector<Dictionary>> pending;
};
}  // namespace

TEST_F(PasteboardTest, HostSeesEveryChangeAndCanChangeTheContents) {
  Pasteboard& pb = Pasteboard::general();
  FakeHost host;
  pb.setHost(&host);
  pb.setItems({Pasteboard::Item{{"org.example.topic", Value("data in file")},
                                {std::string(kPasteboardTypeUTF8PlainText), Value("- a")}}});
  EXPECT_EQ(host.published, 1);
  EXPECT_EQ(host.lastTypes, (std::vector<std::string>{"org.example.topic", "public.utf8-plain-text"}));

  // Another program copied an image: the next read sees it and the count moves on.
  const auto count = pb.changeCount();
  host.pending = std::vector<Dictionary>{{{std::string(kPasteboardTypePNG), Value(Data{0x89, 'P'})}}};
  EXPECT_GT(pb.changeCount(), count);
  EXPECT_FALSE(pb.containsPasteboardType("org.example.topic"));
  EXPECT_EQ(pb.dataForPasteboardType(kPasteboardTypePNG), (Data{0x89, 'P'}));
  EXPECT_EQ(host.published, 1);  // taking in the host's contents is not published back

  // Text that is not UTF-8 is no text, whichever way it is held.
  pb.setValue(Value(std::string("\xC3\x28", 2)), kPasteboardTypeUTF8PlainText);
  EXPECT_FALSE(pb.string());
  pb.setHost(nullptr);
}
