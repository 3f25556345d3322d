#include "kit/io/sha1.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include <openssl/evp.h>

#include "kit/core/dynamic_library.h"

namespace kit {

namespace {

// libcrypto is large and few runs hash anything: it is opened for the first hash.
struct CryptoCalls {
  decltype(&EVP_Digest) digest;
  decltype(&EVP_sha1) sha1;
  decltype(&EVP_MD_CTX_new) newContext;
  decltype(&EVP_MD_CTX_free) freeContext;
  decltype(&EVP_DigestInit_ex) init;
  decltype(&EVP_DigestUpdate) update;
  decltype(&EVP_DigestFinal_ex) final;
};

const CryptoCalls* crypto() {
  static const std::optional<CryptoCalls> calls = loadCalls<CryptoCalls>("libcrypto.so.3", [](CryptoCalls& c, auto find) {
    return find(c.digest, "EVP_Digest") && find(c.sha1, "EVP_sha1") && find(c.newContext, "EVP_MD_CTX_new") &&
           find(c.freeContext, "EVP_MD_CTX_free") && find(c.init, "EVP_DigestInit_ex") &&
           find(c.update, "EVP_DigestUpdate") && find(c.final, "EVP_DigestFinal_ex");
  });
  return calls ? &*calls : nullptr;
}

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
  void operator()(EVP_MD_CTX* c) const { crypto()->freeContext(c); }
};

}  // namespace

std::string sha1Hex(std::string_view bytes) {
  const CryptoCalls* c = crypto();
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!c || c->digest(bytes.data(), bytes.size(), md, &n, c->sha1(), nullptr) != 1) return {};
  return toHex(md, n);
}

std::string sha1Hex(const Data& data) {
  return sha1Hex(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::optional<std::string> sha1HexOfFile(const std::string& path) {
  const CryptoCalls* c = crypto();
  if (!c) return std::nullopt;
  // A regular file only: a pipe or a device would be waited on or read without end.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(c->newContext());
  bool ok = ctx && c->init(ctx.get(), c->sha1(), nullptr) == 1;
  std::vector<char> buf(64 * 1024);
  while (ok) {
    ssize_t r = ::read(fd, buf.data(), buf.size());
    if (r < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (r == 0) break;
    ok = c->update(ctx.get(), buf.data(), static_cast<std::size_t>(r)) == 1;
  }
  ::close(fd);
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!ok || c->final(ctx.get(), md, &n) != 1) return std::nullopt;
  return toHex(md, n);
}

}  // namespace kit
