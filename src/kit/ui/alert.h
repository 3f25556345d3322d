// Alerts. There is no screen yet: an alert goes to the installed presenter (a front end, or a
// test), and the last ones shown are kept so that tools and tests can see what was said.
#pragma once

#include <functional>
#include <string>
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

}  // namespace kit
