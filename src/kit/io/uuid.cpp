#include "kit/io/uuid.h"

#include <pthread.h>
#include <sys/random.h>
#include <uuid/uuid.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <random>

namespace kit {

namespace {

// Bumped in a forked child, so that parent and child never continue one random sequence.
std::atomic<unsigned> forkGeneration{0};

void noteFork() { forkGeneration.fetch_add(1, std::memory_order_relaxed); }

void fillFromSystem(void* out, std::size_t size) {
  auto* p = static_cast<unsigned char*>(out);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = getrandom(p + got, size - got, 0);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
  if (got == size) return;
  std::random_device device;  // only if the system call is missing
  for (; got < size; ++got) p[got] = static_cast<unsigned char>(device());
}

// xoshiro256**, one per thread, seeded once from the system's random source: a system call per
// UUID made creating tens of thousands of topics slow.
class UUIDRandom {
 public:
  std::uint64_t next() {
    const unsigned generation = forkGeneration.load(std::memory_order_relaxed);
    if (!seeded_ || generation != generation_) seed(generation);
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  void seed(unsigned generation) {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, noteFork); });
    do {
      fillFromSystem(s_, sizeof s_);
    } while ((s_[0] | s_[1] | s_[2] | s_[3]) == 0);  // the one state the generator cannot leave
    generation_ = generation;
    seeded_ = true;
  }

  std::uint64_t s_[4] = {};
  unsigned generation_ = 0;
  bool seeded_ = false;
};

}  // namespace

std::string newUUIDString() {
  thread_local UUIDRandom random;
  std::uint8_t b[16];
  const std::uint64_t hi = random.next(), lo = random.next();
  for (int i = 0; i < 8; ++i) {
    b[i] = static_cast<std::uint8_t>(hi >> (56 - 8 * i));
    b[8 + i] = static_cast<std::uint8_t>(lo >> (56 - 8 * i));
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text(36, '-');
  std::size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    if (at == 8 || at == 13 || at == 18 || at == 23) ++at;
    text[at++] = kHex[b[i] >> 4];
    text[at++] = kHex[b[i] & 0x0F];
  }
  return text;
}

std::optional<UUIDBytes> parseUUID(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  char buf[37];
  text.copy(buf, 36);
  buf[36] = '\0';
  uuid_t u;
  if (uuid_parse(buf, u) != 0) return std::nullopt;
  UUIDBytes out;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = u[i];
  return out;
}

}  // namespace kit
