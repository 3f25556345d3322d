#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/core/run_loop.h"
#include "kit/testing/fixtures.h"

using namespace kit;

namespace {

class RunLoopTest : public ManualClockTest {
 protected:
  RunLoop& loop = RunLoop::main();
  std::vector<std::string> log;
  int a = 0, b = 0;  // targets

  void schedule(const void* target, const std::string& name, Value arg, double delay) {
    loop.performAfterDelay(target, name, arg, delay, [this, name, arg] { log.push_back(name + ":" + arg.description()); });
  }
};

}  // namespace

TEST_F(RunLoopTest, PerformsRunInFireTimeOrderTiesInSchedulingOrder) {
  schedule(&a, "late", 1, 0.5);
  schedule(&a, "first", 1, 0.1);
  schedule(&b, "second", 1, 0.1);
  schedule(&a, "third", 2, 0.1);
  time_.runFor(1.0);
  EXPECT_EQ(log, (std::vector<std::string>{"first:1", "second:1", "third:2", "late:1"}));
}

TEST_F(RunLoopTest, NothingRunsBeforeItsTime) {
  schedule(&a, "x", {}, 0.5);
  time_.runFor(0.49);
  EXPECT_TRUE(log.empty());
  time_.runFor(0.01);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(RunLoopTest, ZeroDelayRunsOnTheNextPassNeverSynchronously) {
  loop.performAfterDelay(&a, "outer", {}, 0, [&] {
    log.push_back("outer");
    loop.performAfterDelay(&a, "inner", {}, 0, [&] { log.push_back("inner"); });
    loop.performAfterDelay(&a, "negative", {}, -5, [&] { log.push_back("negative"); });
  });
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(time_.runOnce());
  EXPECT_EQ(log, std::vector<std::string>{"outer"});
  EXPECT_TRUE(time_.runOnce());
  EXPECT_EQ(log, (std::vector<std::string>{"outer", "inner", "negative"}));
  EXPECT_FALSE(time_.runOnce());
}

TEST_F(RunLoopTest, CancelMatchesTargetNameAndArgument) {
  schedule(&a, "tap", {}, 0.5);
  schedule(&a, "tap", "text", 0.5);
  schedule(&a, "press", {}, 0.5);
  schedule(&b, "tap", {}, 0.5);
  loop.cancelPerform(&a, "tap", Value());  // null matches null only
  EXPECT_EQ(loop.pendingPerforms(&a), 2u);
  loop.cancelPerform(&a, "tap", Value("other"));
  EXPECT_EQ(loop.pendingPerforms(&a, "tap"), 1u);
  loop.cancelPerform(&a, "tap", Value("text"));
  time_.runFor(1);
  EXPECT_EQ(log, (std::vector<std::string>{"press:(null)", "tap:(null)"}));
}

TEST_F(RunLoopTest, CancelByTargetLeavesOthersAndTimers) {
  int fired = 0;
  auto timer = loop.scheduleTimer(0.2, false, [&](Timer&) { ++fired; }, {}, &a);
  schedule(&a, "one", {}, 0.1);
  schedule(&a, "two", {}, 0.0);
  schedule(&b, "kept", {}, 0.1);
  loop.cancelPerforms(&a);
  time_.runFor(1);
  EXPECT_EQ(log, std::vector<std::string>{"kept:(null)"});
  EXPECT_EQ(fired, 1);
}

TEST_F(RunLoopTest, ACallbackMayCancelLaterRequestsOfTheSamePass) {
  loop.performAfterDelay(&a, "first", {}, 0.1, [&] {
    log.push_back("first");
    loop.cancelPerforms(&b);
  });
  schedule(&b, "second", {}, 0.1);
  time_.runFor(0.2);
  EXPECT_EQ(log, std::vector<std::string>{"first"});
}

namespace {
// Schedules on itself and keeps a PerformOwner, as objects with delayed messages do.
struct Panel {
  std::vector<std::string>* log;
  explicit Panel(std::vector<std::string>* l) : log(l) {
    RunLoop::main().performAfterDelay(this, "goodbye", {}, 1.25, [this] { log->push_back("goodbye"); });
    timer = RunLoop::main().scheduleTimer(0.01, true, [this](Timer&) { log->push_back("tick"); }, {}, this);
  }
  TimerRef timer;
  PerformOwner performs{this};
};
}  // namespace

TEST_F(RunLoopTest, DestroyedOwnerReceivesNothing) {
  auto panel = std::make_unique<Panel>(&log);
  TimerRef timer = panel->timer;
  panel.reset();
  EXPECT_FALSE(timer->isValid());
  time_.runFor(2);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(loop.hasPendingWork());
}

TEST_F(RunLoopTest, PendingCallbackKeepsItsArgumentAlive) {
  auto editor = std::make_shared<std::string>("editor");
  std::weak_ptr<std::string> watch = editor;
  loop.performAfterDelay(&a, "destroy", {}, 0.5, [kept = std::move(editor), this] { log.push_back(*kept); });
  EXPECT_FALSE(watch.expired());
  time_.runFor(0.5);
  EXPECT_EQ(log, std::vector<std::string>{"editor"});
  EXPECT_TRUE(watch.expired());
}

TEST_F(RunLoopTest, RepeatingTimerFiresEveryIntervalUntilInvalidated) {
  std::vector<double> at;
  auto t = loop.scheduleTimer(0.01, true, [&](Timer& self) {
    at.push_back(time_.now());
    if (at.size() == 5) self.invalidate();
  }, Value("topic"));
  double start = time_.now();
  time_.runFor(1);
  ASSERT_EQ(at.size(), 5u);
  for (std::size_t i = 0; i < at.size(); ++i) EXPECT_NEAR(at[i] - start, 0.01 * double(i + 1), 1e-9);
  EXPECT_FALSE(t->isValid());
  EXPECT_EQ(t->userInfo().string(), "topic");
}

TEST_F(RunLoopTest, LateRepeatingTimerFiresOnceAndKeepsItsCadence) {
  std::vector<double> at;
  double start = time_.now();
  auto t = loop.scheduleTimer(0.1, true, [&](Timer&) { at.push_back(time_.now() - start); });
  time_.clock().advance(0.35);  // three ticks missed
  time_.runOnce();
  ASSERT_EQ(at.size(), 1u);
  EXPECT_NEAR(t->fireTime() - start, 0.4, 1e-9);
  time_.runFor(0.1);
  ASSERT_EQ(at.size(), 2u);
  EXPECT_NEAR(at[1], 0.4, 1e-9);
  t->invalidate();
}

TEST_F(RunLoopTest, InvalidateTimersOfOwner) {
  int fired = 0;
  auto t1 = loop.scheduleTimer(0.01, true, [&](Timer&) { ++fired; }, {}, &a);
  auto t2 = loop.scheduleTimer(0.01, true, [&](Timer&) { ++fired; }, {}, &b);
  loop.cancelAll(&a);
  time_.runFor(0.05);
  EXPECT_FALSE(t1->isValid());
  EXPECT_TRUE(t2->isValid());
  EXPECT_EQ(fired, 5);
  t2->invalidate();
  t2->invalidate();
  EXPECT_FALSE(loop.hasPendingWork());
}

TEST_F(RunLoopTest, EndOfPassHooksRunAfterTheWorkOfEachPass) {
  schedule(&a, "work", {}, 0);
  RunLoop::HookId id = loop.addEndOfPassHook([&] { log.push_back("end"); });
  time_.runOnce();
  time_.runOnce();
  loop.removeEndOfPassHook(id);
  time_.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"work:(null)", "end", "end"}));
}

TEST_F(RunLoopTest, WorkPostedFromOtherThreadsRunsOnTheMainThread) {
  std::atomic<int> count{0};
  std::vector<bool> onMain;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 25; ++j) loop.post([&] {
        ++count;
        onMain.push_back(isMainThread());
      });
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(isMainThread());
  time_.runOnce();
  EXPECT_EQ(count.load(), 100);
  EXPECT_EQ(std::count(onMain.begin(), onMain.end(), true), 100);
}

TEST_F(RunLoopTest, PostWakesTheHostAfterQueueingTheWork) {
  std::atomic<int> wakes{0};
  std::atomic<bool> queued{true};
  loop.setWakeHandler([&] {
    ++wakes;
    // A host woken here finds the work waiting for a pass.
    if (!loop.hasPostedWork()) queued = false;
  });
  std::thread t([&] { loop.post([] {}); });
  t.join();
  loop.setWakeHandler(nullptr);
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_TRUE(queued.load());
  EXPECT_TRUE(loop.hasPostedWork());
  time_.runOnce();
  EXPECT_FALSE(loop.hasPostedWork());
  loop.post([] {});  // no handler any more
  EXPECT_EQ(wakes.load(), 1);
  time_.runOnce();
}

TEST(RunLoopRealClock, RunForWaitsForRealTimeAndWakesForPosts) {
  RunLoop loop;
  bool ran = false;
  double start = SystemClock::shared().monotonicSeconds();
  loop.performAfterDelay(nullptr, "x", {}, 0.02, [&] { ran = true; });
  loop.runFor(0.05);
  EXPECT_TRUE(ran);
  EXPECT_GE(SystemClock::shared().monotonicSeconds() - start, 0.05);

  std::thread t([&] { loop.post([&] { loop.stop(); }); });
  loop.run();  // returns once the posted stop runs
  t.join();
}

TEST_F(RunLoopTest, ZeroDelayFromPostedWorkWaitsForTheNextPass) {
  loop.post([&] { schedule(&a, "from-post", {}, 0); });
  time_.runOnce();
  EXPECT_TRUE(log.empty());
  time_.runOnce();
  EXPECT_EQ(log, std::vector<std::string>{"from-post:(null)"});
}

TEST(RunLoopDispatchLock, EachPassHoldsTheDispatchLock) {
  kit::ManualClockScope clock;
  kit::RecursiveLock lock;
  kit::RunLoop& loop = kit::RunLoop::main();
  loop.setDispatchLock(&lock);
  std::atomic<bool> otherGotIt{true};
  loop.performAfterDelay(&lock, "probe", {}, 0, [&] {
    // Another thread cannot take the lock while the main thread handles this perform.
    std::thread t([&] { otherGotIt = lock.try_lock(); if (otherGotIt) lock.unlock(); });
    t.join();
  });
  clock.runOnce();
  clock.runOnce();
  loop.setDispatchLock(nullptr);
  EXPECT_FALSE(otherGotIt);
  // Released after the pass.
  std::thread t([&] { otherGotIt = lock.try_lock(); if (otherGotIt) lock.unlock(); });
  t.join();
  EXPECT_TRUE(otherGotIt);
}
