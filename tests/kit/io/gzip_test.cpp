#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string_view>

#include "kit/io/gzip.h"

using kit::Data;

namespace {

Data bytesOf(std::string_view s) { return Data(s.begin(), s.end()); }

Data randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Data d(n);
  for (auto& b : d) b = static_cast<std::uint8_t>(gen());
  return d;
}

// `printf hello | gzip -n`, written by the reference tool.
const Data kGzipHello = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xcb, 0x48, 0xcd,
                         0xc9, 0xc9, 0x07, 0x00, 0x86, 0xa6, 0x10, 0x36, 0x05, 0x00, 0x00, 0x00};

}  // namespace

TEST(GzipRoundTrip, GivesTheBytesBackForSmallRandomAndCompressibleInput) {
  for (const Data& original : {bytesOf("x"), bytesOf("hello, world"), randomBytes(100000, 1),
                               Data(3'000'000, 0), randomBytes(16384, 2), randomBytes(16385, 3)}) {
    auto packed = kit::gzip::deflate(original);
    ASSERT_TRUE(packed);
    ASSERT_GE(packed->size(), 18u);
    EXPECT_EQ((*packed)[0], 0x1f);  // a gzip header, not a zlib one
    EXPECT_EQ((*packed)[1], 0x8b);
    auto unpacked = kit::gzip::inflate(*packed);
    ASSERT_TRUE(unpacked) << original.size();
    EXPECT_EQ(*unpacked, original);
  }
}

TEST(GzipInflate, ReadsStreamsWrittenByOtherTools) {
  EXPECT_EQ(kit::gzip::inflate(kGzipHello), bytesOf("hello"));

  const Data original = randomBytes(5000, 5);
  uLongf len = compressBound(static_cast<uLong>(original.size()));
  Data zlibStream(len);
  ASSERT_EQ(compress(zlibStream.data(), &len, original.data(), static_cast<uLong>(original.size())), Z_OK);
  zlibStream.resize(len);
  EXPECT_EQ(kit::gzip::inflate(zlibStream), original);
}

TEST(GzipInflate, IgnoresBytesAfterTheEndOfTheStream) {
  Data withTail = kGzipHello;
  withTail.insert(withTail.end(), {'j', 'u', 'n', 'k'});
  EXPECT_EQ(kit::gzip::inflate(withTail), bytesOf("hello"));
}

TEST(GzipDamage, EveryTruncationFailsInsteadOfGivingPartialData) {
  auto packed = kit::gzip::deflate(randomBytes(3000, 6));
  ASSERT_TRUE(packed);
  for (std::size_t n = 0; n < packed->size(); ++n) {
    EXPECT_FALSE(kit::gzip::inflate(std::span(packed->data(), n))) << n;
  }
}

TEST(GzipDamage, CorruptedBodyOrChecksumFails) {
  auto packed = kit::gzip::deflate(Data(50000, 'a'));
  ASSERT_TRUE(packed);
  Data badTrailer = *packed;
  badTrailer[badTrailer.size() - 6] ^= 0xff;  // CRC-32
  EXPECT_FALSE(kit::gzip::inflate(badTrailer));
  Data badLength = *packed;
  badLength[badLength.size() - 1] ^= 0x01;  // ISIZE
  EXPECT_FALSE(kit::gzip::inflate(badLength));
}

TEST(GzipDamage, NonStreamsFail) {
  EXPECT_FALSE(kit::gzip::inflate(bytesOf("plain text, not compressed")));
  EXPECT_FALSE(kit::gzip::inflate(Data{0x1f}));
  EXPECT_FALSE(kit::gzip::inflate(Data{0x1f, 0x8b}));
  EXPECT_FALSE(kit::gzip::inflate(Data{}));
  // A raw deflate stream has no header to detect.
  z_stream zs{};
  ASSERT_EQ(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Data in = bytesOf("raw deflate data"), out(100);
  zs.next_in = in.data();
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  EXPECT_FALSE(kit::gzip::inflate(out));
}

// A small stream can claim a huge output: past the caller's limit inflation fails, at it works.
TEST(GzipLimit, OutputPastTheLimitFails) {
  auto packed = kit::gzip::deflate(Data(3'000'000, 0));
  ASSERT_TRUE(packed);
  ASSERT_LT(packed->size(), 10'000u);
  EXPECT_EQ(kit::gzip::inflate(*packed, 3'000'000).value_or(Data()).size(), 3'000'000u);
  EXPECT_FALSE(kit::gzip::inflate(*packed, 2'999'999));
  EXPECT_FALSE(kit::gzip::inflate(*packed, 1000));
  EXPECT_EQ(kit::gzip::inflate(kGzipHello, 5), bytesOf("hello"));
  EXPECT_FALSE(kit::gzip::inflate(kGzipHello, 4));
  EXPECT_FALSE(kit::gzip::inflate(kGzipHello, 0));
}
