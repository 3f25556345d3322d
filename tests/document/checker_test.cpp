// The canvas as a person uses it, at random: random maps, random sequences of gestures through
// the one event door under the manual clock, and after every gesture the invariants each must
// keep. A failure is shrunk by dropping gestures and printed with its seed and the sequence left.
//
// QUILL_CHECKER_SECONDS sets the budget (default: the build's), QUILL_CHECKER_SEED the first seed
// (default: drawn from the time, and printed), QUILL_CHECKER_REPLAY="seed:i,j,..." runs the listed
// gestures of one seed's sequence only, QUILL_CHECKER_VERBOSE names the menu items chosen and
// writes the maps compared to /tmp, QUILL_CHECKER_SURVEY lists every failing seed of the budget
// instead of stopping at the first, and how often each gesture acted and each menu item was chosen.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "document/checker_world.h"
#include <unistd.h>

#include <ctime>

#include "kit/testing/fixtures.h"

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || __has_feature(address_sanitizer) || \
    __has_feature(thread_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define QUILL_CHECKER_DEATH_CALLBACK 1
#endif

#ifndef QUILL_CHECKER_DEFAULT_SECONDS
#define QUILL_CHECKER_DEFAULT_SECONDS 20
#endif

namespace {

using namespace checker;

// The home on a memory file system where there is one: every check saves the map.
struct MemoryHome {
  MemoryHome() {
    if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  }
};

class Checker : public ::testing::Test {
 protected:
  MemoryHome memory_;
  kit::TemporaryAppHome home_;
  kit::ManualClockScope time_;
};

// The seed being run, said when a sanitizer stops the program in the middle of a sequence.
std::uint64_t runningSeed = 0;

[[maybe_unused]] void sayRunningSeed() { std::fprintf(stderr, "checker: stopped in the sequence of seed %llu\n", static_cast<unsigned long long>(runningSeed)); }

double envNumber(const char* name, double fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atof(v) : fallback;
}

// Runs the listed actions of one seed's sequence.
void expectKeptActionsPass(std::uint64_t seed, const std::vector<std::size_t>& keep) {
  const std::vector<Action> all = randomActions(seed, kActions);
  std::vector<Action> actions;
  for (std::size_t i : keep) actions.push_back(all.at(i));
  const Failure f = runSequence(seed, actions);
  EXPECT_FALSE(f) << report(seed, all, keep, f.what);
}

// Shrunk sequences that once failed: a fold of a floating branch, kept organised, reordered the
// central topic's children outside the fold's undo record.
TEST_F(Checker, SequencesThatOnceFailedKeepTheirInvariants) {
  const struct {
    std::uint64_t seed;
    std::vector<std::size_t> keep;
  } found[] = {
      {61004970, {0, 8, 10, 11, 35, 36, 38}},
      {600001, {23, 28, 29, 32}},  // an undo that edits first, then redo
      // autosaved while an editor was open, and in the middle of a grip resize
      {300003, {0, 2, 3, 6, 8, 9, 10, 12, 13, 15, 16, 17, 19, 20, 21, 23, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34}},
      {2000181, {2, 3, 6, 7, 8, 9, 10, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 30, 31, 32, 33, 34}},
      // a drag while another topic is edited
      {900164, {6, 7, 8}},
      // keys that made no command, or a delete that handed children up, then a touch elsewhere
      {100111, {9, 14, 19}},
      {200170, {27, 32, 33, 34}},
      {96711382, {29, 31, 32, 33}},
      {1500077, {14, 16, 17}},  // a double tap whose second touch found the background
  };
  for (const auto& [seed, keep] : found) expectKeptActionsPass(seed, keep);
}

TEST_F(Checker, RandomGestureSequencesKeepTheirInvariants) {
  if (const char* replay = std::getenv("QUILL_CHECKER_REPLAY"); replay && *replay) {
    const std::string r = replay;
    const std::uint64_t seed = std::strtoull(r.c_str(), nullptr, 10);
    std::vector<std::size_t> keep;
    std::istringstream list(r.substr(r.find(':') + 1));
    for (std::string item; std::getline(list, item, ',');) keep.push_back(std::stoul(item));
    expectKeptActionsPass(seed, keep);
    return;
  }
  const double seconds = envNumber("QUILL_CHECKER_SECONDS", QUILL_CHECKER_DEFAULT_SECONDS);
  // A new first seed on every run, printed so that a failure replays.
  std::uint64_t seed = static_cast<std::uint64_t>(envNumber("QUILL_CHECKER_SEED", static_cast<double>(std::time(nullptr) % 100000000)));
  std::printf("checker: first seed %llu\n", static_cast<unsigned long long>(seed));
  std::fflush(stdout);
#ifdef QUILL_CHECKER_DEATH_CALLBACK
  __sanitizer_set_death_callback(sayRunningSeed);
#endif
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  std::size_t sequences = 0, actions = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<Action> all = randomActions(seed, kActions);
    runningSeed = seed;
    const Failure f = runSequence(seed, all);
    ++sequences;
    actions += f ? f.at + 1 : all.size();
    if (f && std::getenv("QUILL_CHECKER_SURVEY")) {
      // Survey: every failing seed in one line, no shrinking.
      std::printf("seed %llu action %zu: %s\n", static_cast<unsigned long long>(seed), f.at, f.what.substr(0, f.what.find('\n')).c_str());
      ++seed;
      continue;
    }
    if (f) {
      const std::vector<std::size_t> keep = shrink(seed, all, f, deadline + std::chrono::seconds(120));
      std::vector<Action> kept;
      for (std::size_t i : keep) kept.push_back(all[i]);
      const Failure last = runSequence(seed, kept);
      ADD_FAILURE() << report(seed, all, keep, last ? last.what : f.what);
      break;
    }
    ++seed;
  }
  std::printf("checker: %zu sequences, %zu actions, seeds up to %llu\n", sequences, actions,
              static_cast<unsigned long long>(seed));
  if (std::getenv("QUILL_CHECKER_SURVEY")) {
    for (int k = 0; k < static_cast<int>(Kind::Count); ++k) survey().try_emplace(std::string("gesture: ") + kKindNames[k], 0);
    for (const auto& [what, count] : survey()) std::printf("  %6zu  %s\n", count, what.c_str());
  }
}

}  // namespace
