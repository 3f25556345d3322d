#include <gtest/gtest.h>

#include <fstream>
#include <string_view>

#include "helpers/compression.h"
#include "helpers/marked_text.h"
#include "kit/testing/app_home.h"

using kit::Data;

namespace {

Data bytesOf(std::string_view s) { return Data(s.begin(), s.end()); }

void writeFile(const std::string& path, const Data& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::string textOf(const std::optional<Data>& d) { return d ? std::string(d->begin(), d->end()) : "<nil>"; }

}  // namespace

TEST(DataGzip, EmptyBuffersComeBackUnchangedInBothDirections) {
  auto packed = data::simplegzipDeflate(Data{});
  ASSERT_TRUE(packed);
  EXPECT_TRUE(packed->empty());
  auto unpacked = data::simplegzipInflate(Data{});
  ASSERT_TRUE(unpacked);
  EXPECT_TRUE(unpacked->empty());
}

TEST(DataGzip, RoundTripsAndRefusesDamage) {
  const Data original = bytesOf("<map><topic text=\"a\"/></map>");
  auto packed = data::simplegzipDeflate(original);
  ASSERT_TRUE(packed);
  EXPECT_NE(*packed, original);
  EXPECT_EQ(data::simplegzipInflate(*packed), original);
  EXPECT_FALSE(data::simplegzipInflate(*packed, original.size() - 1));
  Data cut(packed->begin(), packed->end() - 4);
  EXPECT_FALSE(data::simplegzipInflate(cut));
  EXPECT_FALSE(data::simplegzipInflate(original));
}

TEST(MarkedText, HonoursUTF16ByteOrderMarks) {
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xFF, 0xFE, 0x41, 0x00}), "A");
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xFE, 0xFF, 0x00, 0x41, 0x00, 0xE9}), "A\u00e9");
  // A surrogate pair survives.
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), "\U0001F600");
}

TEST(MarkedText, FallsBackToUTF8ThenLatin1) {
  EXPECT_EQ(data::mutableStringRepresentation(bytesOf("plain \xc3\xa9t\xc3\xa9")), "plain \u00e9t\u00e9");
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xE9}), "\u00e9");
  EXPECT_EQ(data::mutableStringRepresentation(Data{}), "");
  // Two bytes of a mark are too short to count as one: UTF-8 fails, Latin-1 reads them.
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xFF, 0xFE}), "\u00ff\u00fe");
  // An odd-length UTF-16 buffer does not decode as UTF-16.
  EXPECT_EQ(data::mutableStringRepresentation(Data{0xFF, 0xFE, 0x41}), "\u00ff\u00feA");
}

TEST(MarkedText, ReadsFourByteMarks) {
  EXPECT_EQ(data::mutableStringRepresentation(Data{0x00, 0x00, 0xFE, 0xFF, 0x00, 0x00, 0x00, 0x41}), "A");
  // Marked, but nothing decodes it: the fallbacks still give text.
  const std::string odd = data::mutableStringRepresentation(Data{0x00, 0x00, 0xFF, 0xFE, 0x41});
  EXPECT_EQ(odd.size(), 2u + 2 * 2 + 1);  // two NULs, two Latin-1 letters of two bytes, "A"
}

TEST(XMLFileData, ReencodesAnyMarkedFileAsUTF8WithAUTF8Declaration) {
  kit::TemporaryAppHome home;
  const std::string path = home.path() + "/latin.xml";
  std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\u00e9</r>";
  Data utf16;
  for (char16_t c : text) {
    utf16.push_back(static_cast<std::uint8_t>(c & 0xff));
    utf16.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  writeFile(path, utf16);
  EXPECT_EQ(textOf(data::dataWithContentsOfXMLFile(path)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\u00e9</r>");

  writeFile(path, bytesOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>"));
  EXPECT_EQ(textOf(data::dataWithContentsOfXMLFile(path)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\u00e9</r>");
}

TEST(XMLFileData, MissingOrEmptyFilesGiveNothing) {
  kit::TemporaryAppHome home;
  EXPECT_FALSE(data::dataWithContentsOfXMLFile(home.path() + "/missing.xml"));
  writeFile(home.path() + "/empty.xml", Data{});
  EXPECT_FALSE(data::dataWithContentsOfXMLFile(home.path() + "/empty.xml"));
  EXPECT_FALSE(data::dataWithContentsOfXMLFile(home.path()));  // a folder
}
