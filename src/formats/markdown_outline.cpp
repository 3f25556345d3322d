// The Markdown outline: the plain-text flavour of a copied branch.
#include <cstdint>
#include <utility>
#include <vector>

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

// The outline's length: the indentation grows with the depth, so a deep outline is far longer
// than its map (100,000 levels would take some 20 GB).
std::uint64_t outlineLength(const NodeView* topic) {
  std::uint64_t length = 0;
  std::vector<std::pair<const NodeView*, std::uint64_t>> stack{{topic, 0}};
  while (!stack.empty()) {
    auto [n, level] = stack.back();
    stack.pop_back();
    const std::string& text = n->strName();
    std::uint64_t breaks = 0;  // "\r\n" counts once, as appendItem writes it
    for (std::size_t i = 0; i < text.size(); ++i)
      breaks += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    length += (breaks + 1) * (level * kIndent + 2) + text.size() + 1;
    for (const auto& child : n->childNodes()) stack.emplace_back(child.get(), level + 1);
  }
  return length;
}
}  // namespace

std::string buildMarkdownOutlineFor(NodeView* topic) {
  std::string out;
  if (!topic) return out;
  kit::LockGuard guard(AppServices::globalTreeLock());
  const std::uint64_t length = outlineLength(topic);
  if (length > kMaxOutlineLength) return out;
  out.reserve(static_cast<std::size_t>(length));
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
