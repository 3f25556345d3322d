#include "kit/io/sha1.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include <openssl/evp.h>

namespace kit {

namespace {

std::string toHex(const unsigned char* d, unsigned n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * n);
  for (unsigned i = 0; i < n; ++i) {
    out.push_back(kDigits[d[i] >> 4]);
    out.push_back(kDigits[d[i] & 0xF]);
  }
  return out;
}

struct CtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

std::string sha1Hex(std::string_view bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha1(), nullptr) != 1) return {};
  return toHex(md, n);
}

std::string sha1Hex(const Data& data) {
  return sha1Hex(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::optional<std::string> sha1HexOfFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
  bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1;
  std::vector<char> buf(64 * 1024);
  while (ok) {
    ssize_t r = ::read(fd, buf.data(), buf.size());
    if (r < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (r == 0) break;
    ok = EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(r)) == 1;
  }
  ::close(fd);
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!ok || EVP_DigestFinal_ex(ctx.get(), md, &n) != 1) return std::nullopt;
  return toHex(md, n);
}

}  // namespace kit
