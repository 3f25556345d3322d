#include "document/topic_record_replay.h"

#include <optional>

#include "model/node_view.h"

namespace {
std::optional<kit::Date> dateIn(const kit::Value& details) {
  const kit::Value& d = details["date"];
  if (d.isDate()) return d.date();
  return std::nullopt;
}

// Records write "" for an icon slot that was not set.
std::optional<std::string> iconIn(const kit::Value& details, const char* key) {
  const std::string& name = details[key].string();
  if (name.empty()) return std::nullopt;
  return name;
}
}  // namespace

bool replayTaskOrIconRecord(NodeView* t, const std::string& action, const kit::Value& details) {
  if (action == "topic-link") {
    t->setLink(details["link"].string(), true);
  } else if (action == "topic-note") {
    t->setNote(details["note"].string(), true);
  } else if (action == "topic-task-rollup") {
    t->setIsRollupTask(details["rollup"].boolValue(), true);
  } else if (action == "topic-task-start") {
    t->setStartDate(dateIn(details), true);
  } else if (action == "topic-task-due") {
    t->setDueDate(dateIn(details), true);
  } else if (action == "topic-task-progress") {
    t->setProgress(details["progress"].intValue(), true);
  } else if (action == "topic-task-effort") {
    t->setEffort(details["effort"].string(), true);
  } else if (action == "topic-task-resource-add") {
    t->addResource(details["name"].string(), true);
  } else if (action == "topic-task-resource-remove") {
    t->removeResource(details["name"].string(), false, true);
  } else if (action == "topic-task-resource-rename") {
    t->renameResourceFrom(details["from"].string(), details["to"].string(), false, true);
  } else if (action == "topic-icon") {
    t->setIcon1(iconIn(details, "icon1"), iconIn(details, "icon2"), true);
  } else {
    return false;
  }
  return true;
}
