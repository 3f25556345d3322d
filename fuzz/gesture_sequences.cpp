// Bytes as a gesture sequence for the checker's world: two bytes choose the map and settings, then each five
// bytes one gesture (its kind and its four random numbers). Any broken invariant aborts with the
// sequence's description.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "document/checker_world.h"
#include "kit/testing/app_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kit::TemporaryAppHome home;
  static kit::ManualClockScope clock;
  if (size < 2) return 0;
  const std::uint64_t seed = data[0] | (static_cast<std::uint64_t>(data[1]) << 8);
  std::vector<checker::Action> actions;
  for (std::size_t i = 2; i + 5 <= size && actions.size() < 60; i += 5) {
    checker::Action a{static_cast<checker::Kind>(data[i] % static_cast<int>(checker::Kind::Count)), {}};
    for (int k = 0; k < 4; ++k) a.u[k] = static_cast<float>(data[i + 1 + k]) / 256.0f;
    actions.push_back(a);
  }
  const checker::Failure f = checker::runSequence(seed, actions);
  if (f) {
    std::fprintf(stderr, "%s", checker::report(seed, actions, [&] {
      std::vector<std::size_t> all;
      for (std::size_t i = 0; i <= f.at; ++i) all.push_back(i);
      return all;
    }(), f.what).c_str());
    std::abort();
  }
  return 0;
}
