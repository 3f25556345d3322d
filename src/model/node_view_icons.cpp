// The topic's two icon slots.
#include <cstdio>

#include "model/app_services.h"
#include "model/node_view.h"

void NodeView::addIconNamed(const std::string& name) {
  if (!isIcon1Set()) setStrIcon1(name);
  else if (!isIcon2Set()) setStrIcon2(name);
}

void NodeView::addIcon(const std::string& name, int fromFormat) {
  if (name.empty()) return;
  std::optional<std::string> native;
  if (const AppServices::IconTable* table = AppServices::iconTable())
    native = table->getNativeIconGivenName(name, fromFormat);
  if (native) {
    addIconNamed(*native);
    return;
  }
  // Keep the foreign name, so that writing the map back to that format can restore it.
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "!%d!", fromFormat);
  addIconNamed(prefix + name);
}

void NodeView::setIcon1(std::optional<std::string> icon1, std::optional<std::string> andIcon2, bool withUndo) {
  if (withUndo) {
    pushUndo("topic-icon", kit::Value(kit::Dictionary{{"uuid", uuid_},
                                                      {"icon1", strIcon1().value_or(std::string())},
                                                      {"icon2", strIcon2().value_or(std::string())}}));
  }
  setStrIcon1(std::move(icon1));
  setStrIcon2(std::move(andIcon2));
  nodeModTally_ |= NodeModTally::Icons;
}
