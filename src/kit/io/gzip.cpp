#include "kit/io/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

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

std::optional<Data> inflate(std::span<const std::uint8_t> bytes, std::size_t limit) {
  z_stream zs{};
  // 47: a 15-bit window, gzip or zlib header detected automatically.
  if (inflateInit2(&zs, 47) != Z_OK) return std::nullopt;

  // Output goes into pieces that double in size (the first twice the input), so growing costs
  // linear time and a stream refused at the limit never held more than the limit. Room for one
  // byte past the limit tells a stream that ends exactly there from one that goes on.
  const std::size_t room = limit == std::numeric_limits<std::size_t>::max() ? limit : limit + 1;
  std::vector<Data> pieces;
  std::size_t total = 0;      // bytes in the full pieces
  std::size_t written = 0;    // bytes in the last piece
  std::size_t consumed = 0;
  bool ok = false;
  for (;;) {
    if (pieces.empty() || written == pieces.back().size()) {
      total += written;
      if (total >= room) break;
      const std::size_t want = pieces.empty() ? std::max<std::size_t>(bytes.size() * 2, 64) : total;
      pieces.emplace_back(std::min(want, room - total));
      written = 0;
    }
    Data& out = pieces.back();
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
  if (inflateEnd(&zs) != Z_OK || !ok || total + written > limit) return std::nullopt;
  pieces.back().resize(written);
  if (pieces.size() == 1) return std::move(pieces.front());
  Data out;
  out.reserve(total + written);
  for (const Data& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

}  // namespace kit::gzip
