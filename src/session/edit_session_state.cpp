// The state file a test of the desktop host reads while the program runs (QUILLMERE_STATE).
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <utility>

#include <fmt/format.h>

#include "kit/core/files.h"
#include "kit/text/utf.h"
#include "kit/ui/alert.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"
#include "model/node_view.h"
#include "session/edit_session_impl.h"

namespace {

// How far a topic's shape may reach beyond its view's frame, for the state's first rough test.
constexpr float kShapeMargin = 64;

// The state is read by a test while the program runs: replaced whole by a rename, but not waited
// for on the disk as a map file is.
bool replaceQuickly(const std::string& path, std::string_view text) {
  std::string temp = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = kit::writeAll(fd, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// ---- JSON text ---------------------------------------------------------------------------------

void appendJSONString(std::string& out, std::string_view s) {
  const bool valid = kit::isValidUtf8(s);
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) out += fmt::format("\\u{:04x}", c);
        else if (c >= 0x80 && !valid) out += "\\ufffd";  // never pass on broken UTF-8
        else out += static_cast<char>(c);
    }
  }
  out += '"';
}

// Shortest text that reads back as the same number, in the C locale; JSON has no NaN.
void appendJSONNumber(std::string& out, double v) {
  if (!std::isfinite(v)) out += "null";
  else out += fmt::format("{}", v);
}

void appendJSONNumber(std::string& out, float v) {
  if (!std::isfinite(v)) out += "null";
  else out += fmt::format("{}", v);
}

void appendFrame(std::string& out, const kit::Rect& r) {
  out += "\"x\": ";
  appendJSONNumber(out, r.minX());
  out += ", \"y\": ";
  appendJSONNumber(out, r.minY());
  out += ", \"w\": ";
  appendJSONNumber(out, r.width());
  out += ", \"h\": ";
  appendJSONNumber(out, r.height());
}

}  // namespace

std::string EditSession::Impl::stateText() {
  std::string out;
  out.reserve(4096);
  out += "{\"pid\": " + std::to_string(::getpid());
  out += ", \"title\": ";
  appendJSONString(out, currentTitle());
  out += ", \"modified\": ";
  out += doc.isModified() ? "true" : "false";
  out += ", \"saves\": " + std::to_string(saves);
  out += ", \"path\": ";
  appendJSONString(out, path);
  const kit::Rect bounds = window.bounds();
  out += ", \"window\": {\"w\": ";
  appendJSONNumber(out, bounds.width());
  out += ", \"h\": ";
  appendJSONNumber(out, bounds.height());
  out += "}";

  BigView* canvas = doc.bigView();
  out += ", \"selected\": ";
  if (NodeView* selected = canvas->selectedNode()) appendJSONString(out, selected->uuid());
  else out += "null";
  out += ", \"editing\": ";
  NodeView* editing = NodeView::currentEditingTopic();
  if (editing && editing->inPlaceEditTextView()) {
    out += "{\"uuid\": ";
    appendJSONString(out, editing->uuid());
    out += ", \"text\": ";
    appendJSONString(out, editing->inPlaceEditTextView()->text());
    out += "}";
  } else {
    out += "null";
  }

  const kit::MenuController& menu = kit::MenuController::shared();
  const bool menuShown = menu.isMenuVisible() && menu.targetView() && menu.targetView()->window() == &window;
  out += ", \"menu\": {\"visible\": ";
  out += menuShown ? "true" : "false";
  out += ", \"items\": [";
  if (menuShown)
    for (std::size_t i = 0; i < menu.visibleItems().size(); ++i) {
      out += i ? ", {\"title\": " : "{\"title\": ";
      appendJSONString(out, menu.visibleItems()[i].title);
      out += ", ";
      appendFrame(out, menu.itemFrame(i));
      out += "}";
    }
  out += "]}";

  out += ", \"screens\": [";
  const std::vector<std::string> screens = screenTitles();
  for (std::size_t i = 0; i < screens.size(); ++i) {
    if (i) out += ", ";
    appendJSONString(out, screens[i]);
  }
  out += "]";

  out += ", \"alert\": ";
  const std::vector<kit::AlertRecord>& alerts = kit::Alert::shown();
  if (!alerts.empty()) {
    const kit::AlertRecord& a = alerts.back();
    out += "{\"title\": ";
    appendJSONString(out, a.title);
    out += ", \"message\": ";
    appendJSONString(out, a.message);
    out += ", \"buttons\": [";
    for (std::size_t i = 0; i < a.buttons.size(); ++i) {
      if (i) out += ", ";
      appendJSONString(out, a.buttons[i]);
    }
    out += "]}";
  } else {
    out += "null";
  }

  // The topics at least partly inside the window, in pre-order; a hidden topic hides its branch.
  out += ", \"topics\": [";
  std::size_t listed = 0;
  if (NodeView* root = canvas->rootNode()) {
    // The window in canvas coordinates: only the topics meeting it are converted.
    const kit::Rect seen = window.convertRectToView(bounds, canvas);
    const kit::Rect near = seen.insetBy(-kShapeMargin, -kShapeMargin);
    auto meets = [](const kit::Rect& a, const kit::Rect& b) {
      return a.maxX() > b.minX() && a.minX() < b.maxX() && a.maxY() > b.minY() && a.minY() < b.maxY();
    };
    std::vector<NodeView*> stack{root};
    while (!stack.empty() && listed < kMostStateTopics) {
      NodeView* n = stack.back();
      stack.pop_back();
      if (n->isHidden() || n->alpha() <= 0) continue;
      // The view's frame, cheap to read, holds the shape: most topics are passed over by it.
      kit::Rect shape = n->frame();
      if (meets(shape, near) && meets(shape = n->getAdjustedNodeShapeFrame(), seen)) {
        const kit::Rect frame = canvas->convertRectToView(shape, &window);
        out += listed++ ? ", {\"uuid\": " : "{\"uuid\": ";
        appendJSONString(out, n->uuid());
        out += ", \"text\": ";
        appendJSONString(out, n->strName());
        out += ", \"parent\": ";
        if (NodeView* p = n->parentNode()) appendJSONString(out, p->uuid());
        else out += "null";
        out += ", ";
        appendFrame(out, frame);
        out += "}";
      }
      const auto& children = n->childNodes();
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
    }
  }
  out += "]";

  out += ", \"pasteboard\": {\"changeCount\": " + std::to_string(kit::Pasteboard::general().changeCount()) + "}";
  out += ", \"host\": {";
  bool first = true;
  for (const auto& [key, value] : hostValues) {
    if (!first) out += ", ";
    first = false;
    appendJSONString(out, key);
    out += ": ";
    appendJSONNumber(out, value);
  }
  out += "}}\n";
  return out;
}

void EditSession::writeStateIfChanged() {
  Impl& s = *impl_;
  if (s.statePath.empty()) return;
  std::string text = s.stateText();
  if (text == s.lastState) return;
  if (replaceQuickly(s.statePath, text)) s.lastState = std::move(text);
}

void EditSession::setHostValue(const std::string& key, double value) { impl_->hostValues[key] = value; }
