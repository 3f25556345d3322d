#include "kit/core/notification_center.h"

#include <vector>

namespace kit {

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: observers going away at exit still remove themselves.
  static NotificationCenter* center = new NotificationCenter;
  return *center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const void* owner, std::string name,
                                                               const void* object, Callback fn) {
  std::lock_guard lock(mutex_);
  ObserverId id = nextId_++;
  if (fn) observers_.emplace(id, Observer{owner, std::move(name), object, std::move(fn)});
  return id;
}

void NotificationCenter::removeObserver(const void* owner) {
  std::vector<Callback> dropped;  // destroyed unlocked: captures may remove observers too
  std::lock_guard lock(mutex_);
  for (auto it = observers_.begin(); it != observers_.end();) {
    if (it->second.owner == owner) {
      dropped.push_back(std::move(it->second.fn));
      it = observers_.erase(it);
    } else {
      ++it;
    }
  }
}

void NotificationCenter::removeObserver(const void* owner, std::string_view name, const void* object) {
  std::vector<Callback> dropped;
  std::lock_guard lock(mutex_);
  for (auto it = observers_.begin(); it != observers_.end();) {
    const Observer& o = it->second;
    if (o.owner == owner && (name.empty() || o.name == name) && (!object || o.object == object)) {
      dropped.push_back(std::move(it->second.fn));
      it = observers_.erase(it);
    } else {
      ++it;
    }
  }
}

void NotificationCenter::removeObserver(ObserverId id) {
  Callback dropped;
  std::lock_guard lock(mutex_);
  auto it = observers_.find(id);
  if (it != observers_.end()) {
    dropped = std::move(it->second.fn);
    observers_.erase(it);
  }
}

void NotificationCenter::post(std::string_view name, const void* object, const Value& userInfo) {
  Notification n{std::string(name), object, userInfo};
  std::vector<ObserverId> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, o] : observers_) {
      if ((o.name.empty() || o.name == name) && (!o.object || o.object == object)) matching.push_back(id);
    }
  }
  for (ObserverId id : matching) {
    Callback fn;
    {
      std::lock_guard lock(mutex_);
      auto it = observers_.find(id);
      if (it == observers_.end()) continue;  // removed by an earlier observer
      fn = it->second.fn;
    }
    fn(n);
  }
}

std::size_t NotificationCenter::observerCount() const {
  std::lock_guard lock(mutex_);
  return observers_.size();
}

}  // namespace kit
