#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/core/notification_center.h"

using namespace kit;

namespace {

class NotificationTest : public ::testing::Test {
 protected:
  NotificationCenter center;
  std::vector<std::string> log;
  int ownerA = 0, ownerB = 0, topic = 0, otherTopic = 0;
};

}  // namespace

TEST_F(NotificationTest, ObserversRunSynchronouslyInRegistrationOrder) {
  center.addObserver(&ownerB, "NM_TOPIC_EDIT_ENDED", nullptr, [&](const Notification&) { log.push_back("B"); });
  center.addObserver(&ownerA, "NM_TOPIC_EDIT_ENDED", nullptr, [&](const Notification&) { log.push_back("A"); });
  center.addObserver(&ownerA, "", nullptr, [&](const Notification& n) { log.push_back("any " + n.name); });
  center.post("NM_TOPIC_EDIT_ENDED", &topic);
  EXPECT_EQ(log, (std::vector<std::string>{"B", "A", "any NM_TOPIC_EDIT_ENDED"}));
}

TEST_F(NotificationTest, ObjectFilterAndUserInfo) {
  Value received;
  center.addObserver(&ownerA, "kbd", &topic, [&](const Notification& n) { received = n.userInfo; });
  center.post("kbd", &otherTopic, Dictionary{{"duration", 0.25}});
  EXPECT_TRUE(received.isNull());
  center.post("kbd", nullptr, Dictionary{{"duration", 0.25}});
  EXPECT_TRUE(received.isNull());
  center.post("kbd", &topic, Dictionary{{"frame", Rect(0, 400, 320, 216)}});
  EXPECT_EQ(received["frame"].rect(), Rect(0, 400, 320, 216));
}

TEST_F(NotificationTest, RemovalDuringPostStopsLaterObservers) {
  center.addObserver(&ownerA, "n", nullptr, [&](const Notification&) {
    log.push_back("A");
    center.removeObserver(&ownerB);
    center.removeObserver(&ownerA);  // itself, while running
  });
  center.addObserver(&ownerB, "n", nullptr, [&](const Notification&) { log.push_back("B"); });
  center.post("n");
  center.post("n");
  EXPECT_EQ(log, std::vector<std::string>{"A"});
  EXPECT_EQ(center.observerCount(), 0u);
}

TEST_F(NotificationTest, ObserverAddedDuringPostWaitsForTheNextOne) {
  center.addObserver(&ownerA, "n", nullptr, [&](const Notification&) {
    log.push_back("A");
    if (log.size() == 1) center.addObserver(&ownerB, "n", nullptr, [&](const Notification&) { log.push_back("B"); });
  });
  center.post("n");
  center.post("n");
  EXPECT_EQ(log, (std::vector<std::string>{"A", "A", "B"}));
}

TEST_F(NotificationTest, SelectiveRemoval) {
  center.addObserver(&ownerA, "x", &topic, [&](const Notification&) { log.push_back("x topic"); });
  center.addObserver(&ownerA, "x", &otherTopic, [&](const Notification&) { log.push_back("x other"); });
  center.addObserver(&ownerA, "y", nullptr, [&](const Notification&) { log.push_back("y"); });
  center.removeObserver(&ownerA, "x", &topic);
  center.post("x", &topic);
  center.post("x", &otherTopic);
  center.removeObserver(&ownerA, "", nullptr);
  center.post("y");
  EXPECT_EQ(log, std::vector<std::string>{"x other"});
}

TEST(NotificationOwner, ObservationsEndWithTheOwner) {
  int calls = 0;
  {
    struct Watcher {
      ObserverOwner observing{this};
    } w;
    NotificationCenter::defaultCenter().addObserver(&w, "ping", nullptr, [&](const Notification&) { ++calls; });
    NotificationCenter::defaultCenter().post("ping");
  }
  NotificationCenter::defaultCenter().post("ping");
  EXPECT_EQ(calls, 1);
}
