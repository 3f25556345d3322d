#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "kit/io/uuid.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not allowed either
}

// The 36-character upper-case form of a version 4 UUID with the RFC 4122 variant.
bool wellFormed(const std::string& u) {
  if (u.size() != 36) return false;
  for (std::size_t i = 0; i < u.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? u[i] != '-' : hexValue(u[i]) < 0) return false;
  }
  const int variant = hexValue(u[19]);
  return u[14] == '4' && variant >= 8 && variant <= 11 && kit::parseUUID(u).has_value();
}

}  // namespace

TEST(UuidDraws, HundredThousandAreUniqueWellFormedAndUseEveryRandomDigit) {
  constexpr int kDraws = 100000;
  std::unordered_set<std::string> seen;
  seen.reserve(kDraws);
  // How often each hex digit turns up at each of the 30 fully random positions.
  std::array<std::array<int, 16>, 36> counts{};
  for (int i = 0; i < kDraws; ++i) {
    std::string u = kit::newUUIDString();
    ASSERT_TRUE(wellFormed(u)) << u;
    ASSERT_TRUE(seen.insert(u).second) << "repeated " << u;
    for (std::size_t p = 0; p < u.size(); ++p)
      if (hexValue(u[p]) >= 0) ++counts[p][static_cast<std::size_t>(hexValue(u[p]))];
  }
  // A stuck bit or a short seed shows up as a digit far from its expected 6,250 draws.
  for (std::size_t p = 0; p < 36; ++p) {
    if (p == 8 || p == 13 || p == 18 || p == 23 || p == 14 || p == 19) continue;
    for (int d = 0; d < 16; ++d) {
      EXPECT_GT(counts[p][static_cast<std::size_t>(d)], 5600) << "position " << p << " digit " << d;
      EXPECT_LT(counts[p][static_cast<std::size_t>(d)], 6900) << "position " << p << " digit " << d;
    }
  }
  // The variant digit carries two random bits.
  for (int d = 8; d <= 11; ++d) EXPECT_GT(counts[19][static_cast<std::size_t>(d)], 23000);
}

TEST(UuidDraws, ThreadsNeverShareASequence) {
  constexpr int kThreads = 4, kEach = 5000;
  std::vector<std::vector<std::string>> drawn(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&drawn, t] {
      for (int i = 0; i < kEach; ++i) drawn[static_cast<std::size_t>(t)].push_back(kit::newUUIDString());
    });
  for (auto& t : threads) t.join();
  std::unordered_set<std::string> all;
  for (const auto& list : drawn)
    for (const auto& u : list) EXPECT_TRUE(all.insert(u).second) << "repeated " << u;
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
}

TEST(UuidDraws, AForkedChildDoesNotRepeatItsParent) {
  kit::newUUIDString();  // the parent's generator is seeded before the fork
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string u = kit::newUUIDString();
    const ssize_t n = write(fds[1], u.data(), u.size());
    _exit(n == static_cast<ssize_t>(u.size()) ? 0 : 1);
  }
  close(fds[1]);
  const std::string mine = kit::newUUIDString();
  std::string theirs(36, '\0');
  std::size_t got = 0;
  while (got < theirs.size()) {
    const ssize_t n = read(fds[0], theirs.data() + got, theirs.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(got, theirs.size());
  EXPECT_TRUE(wellFormed(theirs)) << theirs;
  EXPECT_NE(mine, theirs);
}
