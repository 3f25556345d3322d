#include "helpers/compression.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "kit/core/files.h"
#include "kit/io/gzip.h"
#include "kit/text/utf.h"

namespace data {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kNameField = 100;
constexpr std::size_t kSizeOffset = 124;
constexpr std::size_t kSizeField = 12;
constexpr std::size_t kChecksumOffset = 148;
constexpr std::size_t kTypeOffset = 156;
// Eleven octal digits fit the size field with its NUL.
constexpr std::uint64_t kMaxEntrySize = (std::uint64_t{1} << 33) - 1;

std::uint64_t roundUpToBlock(std::uint64_t n) { return (n + kBlock - 1) / kBlock * kBlock; }

void putText(std::uint8_t* block, std::size_t offset, std::string_view s) {
  std::memcpy(block + offset, s.data(), s.size());
}

// Octal digits, zero-padded to at least `digits`, followed by a NUL.
void putOctal(std::uint8_t* block, std::size_t offset, std::uint64_t value, int digits) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, 8);
  (void)ec;
  const auto len = static_cast<int>(end - buf);
  std::size_t pos = offset;
  for (int i = len; i < digits; ++i) block[pos++] = '0';
  std::memcpy(block + pos, buf, static_cast<std::size_t>(len));
  block[pos + static_cast<std::size_t>(len)] = 0;
}

// The size field as an octal number: leading blanks skipped, digits up to the first other
// character, 0 when there are none. Saturates instead of wrapping.
std::uint64_t readOctal(const std::uint8_t* field, std::size_t length) {
  std::size_t i = 0;
  while (i < length && (field[i] == ' ' || field[i] == '\t')) ++i;
  std::uint64_t value = 0;
  for (; i < length && field[i] >= '0' && field[i] <= '7'; ++i) {
    if (value > (UINT64_MAX >> 3)) return UINT64_MAX;
    value = value * 8 + static_cast<std::uint64_t>(field[i] - '0');
  }
  return value;
}

std::string_view entryName(const std::uint8_t* header) {
  const auto* chars = reinterpret_cast<const char*>(header);
  const auto* nul = static_cast<const char*>(std::memchr(chars, 0, kNameField));
  return std::string_view(chars, nul ? static_cast<std::size_t>(nul - chars) : kNameField);
}

// A name that stays below the target folder: relative, UTF-8, no ".." component, naming a file.
bool isSafeEntryName(std::string_view name) {
  if (name.empty() || name.front() == '/' || !kit::isValidUtf8(name)) return false;
  std::size_t start = 0;
  std::string_view last;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    last = name.substr(start, end - start);
    if (last == "..") return false;
    start = end + 1;
  }
  return !last.empty() && last != ".";
}

// True when `inner` lies within `outer`, comparing whole components.
bool isWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// Where the entry goes, or nothing when an existing link below the folder would carry it out.
std::optional<std::string> targetPath(const std::string& directory, std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::path(directory.empty() ? "." : directory), ec);
  if (ec) return std::nullopt;
  const fs::path target = (fs::path(directory.empty() ? "." : directory) / fs::path(name)).lexically_normal();
  const fs::path parent = fs::weakly_canonical(target.parent_path(), ec);
  if (ec || !isWithin(parent, root)) return std::nullopt;
  return target.string();
}

}  // namespace

std::optional<kit::Data> simplegzipDeflate(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return kit::Data();
  return kit::gzip::deflate(bytes);
}

std::optional<kit::Data> simplegzipInflate(std::span<const std::uint8_t> bytes, std::size_t limit) {
  if (bytes.empty()) return kit::Data();
  return kit::gzip::inflate(bytes, limit);
}

std::optional<kit::Data> buildTarWith(const kit::Dictionary& files) {
  std::uint64_t total = 2 * kBlock;
  for (const auto& [name, value] : files) {
    if (!value.isData() || name.empty() || name.size() >= kNameField ||
        name.find('\0') != std::string::npos || value.data().size() > kMaxEntrySize) {
      return std::nullopt;
    }
    total += kBlock + roundUpToBlock(value.data().size());
  }
  kit::Data archive;
  archive.reserve(total);
  for (const auto& [name, value] : files) {
    const kit::Data& bytes = value.data();
    const std::size_t start = archive.size();
    archive.resize(start + kBlock + roundUpToBlock(bytes.size()), 0);
    std::uint8_t* header = archive.data() + start;
    putText(header, 0, name);
    putOctal(header, kSizeOffset, bytes.size(), 7);
    putText(header, 100, "0000644");
    putText(header, 108, "0000000");
    putText(header, 116, "0000000");
    putText(header, 136, "00000000000");
    header[kTypeOffset] = '0';
    putText(header, 257, "ustar");  // the NUL after it and the two version bytes stay zero
    putText(header, 265, "Quillmere");
    putText(header, 297, "Quillmere");
    std::memset(header + kChecksumOffset, ' ', 8);
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) sum += header[i];
    putOctal(header, kChecksumOffset, sum, 6);
    header[kChecksumOffset + 7] = ' ';
    if (!bytes.empty()) std::memcpy(header + kBlock, bytes.data(), bytes.size());
  }
  archive.resize(archive.size() + 2 * kBlock, 0);
  return archive;
}

int extractTarredFilesTo(std::span<const std::uint8_t> archive, const std::string& directory) {
  if (archive.size() % kBlock != 0) return 0;
  int written = 0;
  std::size_t pos = 0;
  while (pos < archive.size()) {
    const std::uint8_t* header = archive.data() + pos;
    const std::uint64_t size = readOctal(header + kSizeOffset, kSizeField);
    const std::uint8_t type = header[kTypeOffset];
    if (type == '0' && size == 0) {
      pos += kBlock;
      continue;
    }
    const std::size_t available = archive.size() - pos - kBlock;
    if (size > available) break;  // truncated: never read past the end
    if (type == '0') {
      const std::string_view name = entryName(header);
      if (isSafeEntryName(name)) {
        if (auto target = targetPath(directory, name)) {
          const std::string parent = std::filesystem::path(*target).parent_path().string();
          if (parent.empty() || kit::FileManager::createDirectories(parent)) {
            // A link planted in the folder is replaced, never followed out of it.
            kit::FileManager::writeAtomically(*target, archive.subspan(pos + kBlock, size),
                                              kit::ReplacementFile::Links::Replace);
          }
          ++written;
        }
      }
    }
    // size <= available, so this stays within the buffer (rounding at most reaches its end).
    pos += kBlock + static_cast<std::size_t>(roundUpToBlock(size));
  }
  return written;
}

std::optional<kit::Data> extractTarredFile(std::span<const std::uint8_t> archive, std::string_view name) {
  if (archive.size() % kBlock != 0) return std::nullopt;
  std::size_t pos = 0;
  while (pos < archive.size()) {
    const std::uint8_t* header = archive.data() + pos;
    const std::uint64_t size = readOctal(header + kSizeOffset, kSizeField);
    if (size == 0) {
      pos += kBlock;
      continue;
    }
    const std::size_t available = archive.size() - pos - kBlock;
    if (size > available) return std::nullopt;
    if (entryName(header) == name) {
      const auto* begin = archive.data() + pos + kBlock;
      return kit::Data(begin, begin + size);
    }
    pos += kBlock + static_cast<std::size_t>(roundUpToBlock(size));
  }
  return std::nullopt;
}

}  // namespace data
