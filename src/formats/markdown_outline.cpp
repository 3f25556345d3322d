// The Markdown outline: the plain-text flavour of a copied branch.
#include "formats/map_formats.h"
#include "kit/core/lock.h"
#include "kit/core/sort.h"
#include "model/app_services.h"
#include "model/node_view.h"

namespace MapFormats {

namespace {
constexpr std::size_t kIndent = 4;

// A line break inside a topic continues the item: the next line is indented to its text.
void appendItem(std::string& out, std::string_view text, std::size_t level) {
  out.append(level * kIndent, ' ');
  out += "- ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      c = '\n';
    }
    out += c;
    if (c == '\n') out.append(level * kIndent + 2, ' ');
  }
  out += '\n';
}
}  // namespace

std::string buildMarkdownOutlineFor(NodeView* topic) {
  std::string out;
  if (!topic) return out;
  kit::LockGuard guard(AppServices::globalTreeLock());
  // Outlines follow the map's reading order, clockwise round the central topic, whatever
  // order the child lists were left in by the layout or the file. Copies of the lists are
  // sorted: copying a branch leaves the map as it was.
  std::vector<std::pair<const NodeView*, std::size_t>> stack{{topic, 0}};
  std::vector<const NodeView*> kids;
  while (!stack.empty()) {
    auto [n, level] = stack.back();
    stack.pop_back();
    appendItem(out, n->strName(), level);
    kids.clear();
    for (const auto& k : n->childNodes()) kids.push_back(k.get());
    kit::stableSortWith3Way(kids, [](const NodeView* a, const NodeView* b) { return a->_sortChildNodesClockwise(b); });
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.emplace_back(*it, level + 1);
  }
  return out;
}

}  // namespace MapFormats
