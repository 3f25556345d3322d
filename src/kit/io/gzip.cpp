#include "kit/io/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace kit::gzip {

namespace {

constexpr std::size_t kDeflateStep = 16384;
// zlib counts in 32-bit units; larger inputs are fed in slices.
constexpr std::size_t kMaxSlice = std::numeric_limits<uInt>::max();

}  // namespace

std::optional<Data> deflate(std::span<const std::uint8_t> bytes) {
  z_stream zs{};
  // 31: a 15-bit window with a gzip header and trailer.
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return std::nullopt;
  }
  Data out(kDeflateStep);
  std::size_t written = 0;
  std::size_t consumed = 0;
  for (;;) {
    if (written == out.size()) out.resize(out.size() + kDeflateStep);
    const std::size_t inSlice = std::min(bytes.size() - consumed, kMaxSlice);
    const std::size_t outSlice = std::min(out.size() - written, kMaxSlice);
    zs.next_in = const_cast<Bytef*>(bytes.data() + consumed);
    zs.avail_in = static_cast<uInt>(inSlice);
    zs.next_out = out.data() + written;
    zs.avail_out = static_cast<uInt>(outSlice);
    const bool last = consumed + inSlice == bytes.size();
    const int rc = ::deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
    consumed += inSlice - zs.avail_in;
    written += outSlice - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      deflateEnd(&zs);
      return std::nullopt;
    }
  }
  deflateEnd(&zs);
  out.resize(written);
  return out;
}

std::optional<Data> inflate(std::span<const std::uint8_t> bytes) {
  z_stream zs{};
  // 47: a 15-bit window, gzip or zlib header detected automatically.
  if (inflateInit2(&zs, 47) != Z_OK) return std::nullopt;

  // Output starts at one and a half times the input and grows by half the input (at least one
  // byte, or a one-byte input would never make room).
  const std::size_t step = std::max<std::size_t>(bytes.size() / 2, 1);
  Data out(bytes.size() + bytes.size() / 2);
  std::size_t written = 0;
  std::size_t consumed = 0;
  bool ok = false;
  for (;;) {
    if (written == out.size()) out.resize(out.size() + step);
    const std::size_t inSlice = std::min(bytes.size() - consumed, kMaxSlice);
    const std::size_t outSlice = std::min(out.size() - written, kMaxSlice);
    zs.next_in = const_cast<Bytef*>(bytes.data() + consumed);
    zs.avail_in = static_cast<uInt>(inSlice);
    zs.next_out = out.data() + written;
    zs.avail_out = static_cast<uInt>(outSlice);
    const int rc = ::inflate(&zs, Z_SYNC_FLUSH);
    consumed += inSlice - zs.avail_in;
    written += outSlice - zs.avail_out;
    if (rc == Z_STREAM_END) {
      ok = true;
      break;
    }
    // Z_BUF_ERROR here means no progress is possible: the stream ends early.
    if (rc != Z_OK) break;
  }
  if (inflateEnd(&zs) != Z_OK || !ok) return std::nullopt;
  out.resize(written);
  return out;
}

}  // namespace kit::gzip
