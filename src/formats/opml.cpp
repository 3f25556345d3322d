// Indented plain text: as OPML, for pasting text from other programs, and as records directly,
// for reading an outline file at any depth (XML readers cap the nesting).
#include "formats/map_formats.h"
#include "formats/xml_text.h"
#include "helpers/global_helpers_file_formats.h"

namespace GlobalHelpers {

namespace {

struct Line {
  std::size_t level;
  std::string_view text;
};

// A tab or four spaces per level; fewer than four spaces count for nothing.
Line splitIndent(std::string_view line) {
  std::size_t level = 0, spaces = 0, i = 0;
  for (; i < line.size(); ++i) {
    if (line[i] == '\t') {
      ++level;
      spaces = 0;
    } else if (line[i] == ' ') {
      if (++spaces == 4) {
        ++level;
        spaces = 0;
      }
    } else {
      break;
    }
  }
  std::string_view text = line.substr(i);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return {level, text};
}

std::vector<Line> outlineLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    // Lines end in a line feed, a return and a line feed, or (in older files) a return alone.
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::size_t next = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    Line l = splitIndent(text.substr(start, end - start));
    if (!l.text.empty()) {
      // A line may go at most one level deeper than the one before it.
      const std::size_t deepest = lines.empty() ? 0 : lines.back().level + 1;
      if (l.level > deepest) l.level = deepest;
      lines.push_back(l);
    }
    start = next;
  }
  return lines;
}

}  // namespace

std::string buildOPMLFromText(std::string_view text, bool ensureSingleRoot) {
  std::vector<Line> lines = outlineLines(text);
  std::size_t tops = 0;
  for (const Line& l : lines) tops += l.level == 0 ? 1 : 0;
  const bool wrap = ensureSingleRoot && tops != 1;

  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n<head><title></title></head>\n<body>\n";
  std::size_t open = 0;  // outlines not yet closed
  if (wrap) {
    out += "<outline text=\"Clipboard\">\n";
    open = 1;
  }
  const std::size_t base = wrap ? 1 : 0;
  for (const Line& l : lines) {
    const std::size_t depth = l.level + base;
    while (open > depth) {
      out += "</outline>\n";
      --open;
    }
    out += "<outline text=\"";
    MapFormats::detail::appendEscaped(out, l.text);
    out += "\">\n";
    ++open;
  }
  while (open > 0) {
    out += "</outline>\n";
    --open;
  }
  out += "</body>\n</opml>\n";
  return out;
}

}  // namespace GlobalHelpers

namespace MapFormats {

ParsedMap parseOutlineText(std::string_view text) {
  const std::vector<GlobalHelpers::Line> lines = GlobalHelpers::outlineLines(text);
  ParsedMap map;
  map.fileFormat = GlobalHelpers::kFileTypeOPML;
  std::size_t tops = 0;
  for (const auto& l : lines) tops += l.level == 0 ? 1 : 0;
  // Several top lines hang under one top topic without text, as the OPML reader has it.
  const bool wrap = tops > 1;
  map.topics.reserve(lines.size() + (wrap ? 1 : 0));
  if (wrap) map.topics.emplace_back();
  std::vector<int> open;  // the topic open at each level
  for (const auto& l : lines) {
    open.resize(l.level);
    TopicRecord& t = map.topics.emplace_back();
    t.text = l.text;
    t.parent = open.empty() ? (wrap ? 0 : -1) : open.back();
    open.push_back(static_cast<int>(map.topics.size() - 1));
  }
  return map;
}

}  // namespace MapFormats
