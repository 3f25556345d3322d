// Named notifications delivered synchronously, on the posting thread, to observers in the order
// they registered. Observers are identified by an owner pointer; an object removes its
// observations in its destructor (removeObserver(this), or an ObserverOwner member).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace kit {

struct Notification {
  std::string name;
  const void* object = nullptr;  // the sender the notification is about, or none
  Value userInfo;                // a dictionary, or null
};

class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;
  using ObserverId = std::uint64_t;

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  static NotificationCenter& defaultCenter();

  // Observes name (empty: every name) posted about object (nullptr: any object).
  ObserverId addObserver(const void* owner, std::string name, const void* object, Callback fn);
  // Removes every observation of owner.
  void removeObserver(const void* owner);
  // Removes owner's observations matching name (empty: any) and object (nullptr: any).
  void removeObserver(const void* owner, std::string_view name, const void* object);
  void removeObserver(ObserverId id);

  // Calls every matching observer before returning. Observers removed during the post are not
  // called from then on; observers added during the post wait for the next one.
  void post(std::string_view name, const void* object = nullptr, const Value& userInfo = {});

  std::size_t observerCount() const;

 private:
  struct Observer {
    const void* owner;
    std::string name;
    const void* object;
    Callback fn;
  };
  mutable std::mutex mutex_;
  std::map<ObserverId, Observer> observers_;  // ids grow: registration order
  ObserverId nextId_ = 1;
};

// A member that removes its owner's observations when the owner goes:
//   kit::ObserverOwner observing_{this};
class ObserverOwner {
 public:
  explicit ObserverOwner(const void* owner) : owner_(owner) {}
  ~ObserverOwner() { NotificationCenter::defaultCenter().removeObserver(owner_); }
  ObserverOwner(const ObserverOwner&) = delete;
  ObserverOwner& operator=(const ObserverOwner&) = delete;

 private:
  const void* owner_;
};

}  // namespace kit
