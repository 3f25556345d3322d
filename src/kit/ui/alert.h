// Alerts. There is no screen yet: an alert goes to the installed presenter (a front end, or a
// test), and the last ones shown are kept so that tools and tests can see what was said.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kit {

struct AlertRecord {
  std::string title;
  std::string message;
  std::vector<std::string> buttons;
};

class Alert {
 public:
  using Presenter = std::function<void(const AlertRecord&)>;

  // Main thread only.
  static void show(std::string title, std::string message, std::vector<std::string> buttons = {"OK"});
  // Replaces the presenter (an empty one shows nothing) and returns the previous one.
  static Presenter setPresenter(Presenter presenter);
  // The alerts shown since the last clear, oldest first (at most the last 100).
  static const std::vector<AlertRecord>& shown();
  static void clearShown();
};

// For its lifetime, alerts are not presented but kept: the last message becomes the message of
// a failure (a tool without a screen, a map that fails to open).
class AlertCapture {
 public:
  AlertCapture() {
    previous_ = Alert::setPresenter([this](const AlertRecord& r) { last_ = r.message; });
  }
  ~AlertCapture() { Alert::setPresenter(std::move(previous_)); }
  AlertCapture(const AlertCapture&) = delete;
  AlertCapture& operator=(const AlertCapture&) = delete;
  const std::string& last() const { return last_; }

 private:
  Alert::Presenter previous_;
  std::string last_;
};

}  // namespace kit
