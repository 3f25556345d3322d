// The Markdown outline: the plain-text flavour of a copied branch.
#include "formats/map_formats.h"
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
  // order the child lists were left in by the layout or the file.
  topic->sortChildNodesClockwise(true);
  std::vector<std::pair<const NodeView*, std::size_t>> stack{{topic, 0}};
  while (!stack.empty()) {
    auto [n, level] = stack.back();
    stack.pop_back();
    appendItem(out, n->strName(), level);
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.emplace_back(it->get(), level + 1);
  }
  return out;
}

}  // namespace MapFormats
