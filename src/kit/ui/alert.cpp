#include "kit/ui/alert.h"

#include <utility>

namespace kit {

namespace {
constexpr std::size_t kKeep = 100;

Alert::Presenter& presenter() {
  static Alert::Presenter p;
  return p;
}

std::vector<AlertRecord>& history() {
  static std::vector<AlertRecord> h;
  return h;
}
}  // namespace

void Alert::show(std::string title, std::string message, std::vector<std::string> buttons) {
  AlertRecord record{std::move(title), std::move(message), std::move(buttons)};
  auto& h = history();
  if (h.size() >= kKeep) h.erase(h.begin());
  h.push_back(record);
  if (presenter()) presenter()(record);
}

Alert::Presenter Alert::setPresenter(Presenter p) { return std::exchange(presenter(), std::move(p)); }

const std::vector<AlertRecord>& Alert::shown() { return history(); }

void Alert::clearShown() { history().clear(); }

}  // namespace kit
