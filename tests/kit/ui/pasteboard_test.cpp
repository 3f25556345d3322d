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
  std::optional<std::vector<std::string>> fetchChangedTypes(const Pasteboard&) override {
    if (!pending) return std::nullopt;
    std::vector<std::string> types;
    for (const auto& [type, value] : *pending) types.push_back(type);
    pending.reset();
    return types;
  }
  Read read(std::string_view type, std::size_t maxBytes) override {
    reads.emplace_back(type);
    auto it = offered.find(type);
    if (it == offered.end()) return {};
    const Value& v = it->second;
    if ((v.isData() ? v.data().size() : v.string().size()) > maxBytes) return {Value(), true};
    return {v, false};
  }
  // Another program's copy: its types are seen at once, its values only when read.
  void offer(Dictionary contents) {
    offered = contents;
    pending = std::move(contents);
  }
  int published = 0;
  std::vector<std::string> lastTypes;
  std::optional<Dictionary> pending;
  Dictionary offered;
  std::vector<std::string> reads;
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

  // Another program copied an image and a large private record: the next read sees their types
  // and the count moves on, and only the value asked for is read, once.
  const auto count = pb.changeCount();
  host.offer({{std::string(kPasteboardTypePNG), Value(Data{0x89, 'P'})},
              {"org.example.big", Value(Data(1000, 7))},
              {"org.example.gone", Value()}});
  EXPECT_GT(pb.changeCount(), count);
  EXPECT_FALSE(pb.containsPasteboardType("org.example.topic"));
  EXPECT_TRUE(pb.containsPasteboardTypes({"org.example.big", "org.example.gone"}));
  EXPECT_TRUE(host.reads.empty());
  EXPECT_EQ(pb.dataForPasteboardType(kPasteboardTypePNG), (Data{0x89, 'P'}));
  EXPECT_EQ(pb.dataForPasteboardType(kPasteboardTypePNG), (Data{0x89, 'P'}));
  EXPECT_EQ(host.reads, (std::vector<std::string>{"public.png"}));
  EXPECT_EQ(host.published, 1);  // taking in the host's contents is not published back

  // A value larger than the caller takes is left unread; asked with room enough, it is read.
  bool tooLarge = false;
  EXPECT_FALSE(pb.dataForPasteboardType("org.example.big", 999, tooLarge));
  EXPECT_TRUE(tooLarge);
  EXPECT_EQ(pb.dataForPasteboardType("org.example.big", 1000, tooLarge), Data(1000, 7));
  EXPECT_FALSE(tooLarge);
  EXPECT_FALSE(pb.dataForPasteboardType("org.example.big", 999, tooLarge));
  EXPECT_TRUE(tooLarge);
  // A type the host cannot give is not on offer after all.
  EXPECT_TRUE(pb.valueForPasteboardType("org.example.gone").isNull());
  EXPECT_FALSE(pb.containsPasteboardType("org.example.gone"));

  // Text that is not UTF-8 is no text, whichever way it is held.
  pb.setValue(Value(std::string("\xC3\x28", 2)), kPasteboardTypeUTF8PlainText);
  EXPECT_FALSE(pb.string());
  pb.setHost(nullptr);
}
