// What the gesture checker compares besides the map's own dump: the saved file read back with
// libxml2 against the live tree (so a field the writer drops shows), and what the window shows
// from its tiles against a direct draw of the same views. Included by checker_world.h.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "canvas/big_view.h"
#include "document/map_file.h"
#include "kit/core/files.h"
#include "kit/graphics/image_context.h"
#include "kit/io/plist.h"
#include "kit/ui/compositor.h"
#include "kit/ui/window.h"
#include "model/node_view.h"

namespace checker {

std::string firstDifference(const std::string& want, const std::string& got) {
  std::size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  const std::size_t from = i > 200 ? i - 200 : 0;
  return "  wanted ..." + want.substr(from, 400) + "\n  got    ..." + got.substr(from, 400);
}

// The dump with the topics' places as offsets from the first topic's (the central topic's): a
// map read back has its central topic in the canvas's middle.
std::string relativePlaces(const std::string& xml) {
  static const std::regex place(" x=\"([-0-9.e]+)\" y=\"([-0-9.e]+)\"");
  std::string out;
  bool first = true;
  double x0 = 0, y0 = 0;
  auto from = xml.cbegin();
  for (std::sregex_iterator it(xml.begin(), xml.end(), place), end; it != end; ++it) {
    const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
    if (first) x0 = x, y0 = y, first = false;
    out.append(from, (*it)[0].first);
    out += " x=" + std::to_string(x - x0) + " y=" + std::to_string(y - y0);
    from = (*it)[0].second;
  }
  out.append(from, xml.cend());
  return out;
}

// ---- The saved file, read on its own -----------------------------------------------------------

// One topic as the live tree has it, in the terms of the file's attributes.
std::string liveTopic(const NodeView& n, int level, kit::Point origin) {
  auto flag = [](bool b) { return b ? "1" : "0"; };
  char place[64];
  std::snprintf(place, sizeof place, "%.1f,%.1f", static_cast<double>(n.center().x - origin.x),
                static_cast<double>(n.center().y - origin.y));
  return std::to_string(level) + " " + n.uuid() + " [" + n.strName() + "] at " + place + " note[" + n.strNote() +
         "] link[" + n.strLink() + "] callout " + flag(n.isCallout()) + " floating " + flag(n.isFloating()) +
         " folded " + flag(n.isFolded()) + " boundary " + flag(n.hasBoundary()) + " percent " +
         std::to_string(n.percentComplete());
}

// The same from a <topic> element; absent attributes read as the writer leaves them out.
std::string savedTopic(xmlNode* e, kit::Point& origin, bool first) {
  auto attr = [e](const char* name, const char* absent) {
    xmlChar* v = xmlGetProp(e, reinterpret_cast<const xmlChar*>(name));
    std::string s = v ? reinterpret_cast<const char*>(v) : absent;
    xmlFree(v);
    return s;
  };
  const kit::Point c(std::stof(attr("x", "0")), std::stof(attr("y", "0")));
  if (first) origin = c;
  char place[64];
  std::snprintf(place, sizeof place, "%.1f,%.1f", static_cast<double>(c.x - origin.x), static_cast<double>(c.y - origin.y));
  return attr("level", "?") + " " + attr("uuid", "") + " [" + attr("text", "") + "] at " + place + " note[" +
         attr("note", "") + "] link[" + attr("link", "") + "] callout " + attr("callout", "0") + " floating " +
         attr("floating", "0") + " folded " + attr("folded", "0") + " boundary " + attr("boundary", "0") +
         " percent " + attr("percent", "-1");
}

// The saved map file's outline and topic attributes against the live tree: "" or the first
// difference.
std::string savedFileDiffers(const std::string& path, BigView& canvas) {
  std::optional<kit::Value> file = kit::plist::readFile(path);
  if (!file || !file->isDictionary() || !(*file)[std::string(MapFile::kMapDataKey)].isString())
    return "the saved file holds no map";
  const std::string& xml = (*file)[std::string(MapFile::kMapDataKey)].string();
  xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "map.xml", "UTF-8", XML_PARSE_NONET);
  if (!doc) return "the saved map is no XML";
  std::string saved;
  kit::Point origin;
  bool first = true;
  for (xmlNode* e = xmlDocGetRootElement(doc) ? xmlDocGetRootElement(doc)->children : nullptr; e; e = e->next)
    if (e->type == XML_ELEMENT_NODE && xmlStrcmp(e->name, reinterpret_cast<const xmlChar*>("topic")) == 0) {
      saved += savedTopic(e, origin, first) + "\n";
      first = false;
    }
  xmlFreeDoc(doc);
  std::string live;
  if (NodeView* root = canvas.rootNode()) {
    std::vector<std::pair<const NodeView*, int>> stack{{root, 0}};
    while (!stack.empty()) {
      auto [n, level] = stack.back();
      stack.pop_back();
      live += liveTopic(*n, level, root->center()) + "\n";
      const auto& kids = n->childNodes();
      for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.emplace_back(it->get(), level + 1);
    }
  }
  return saved == live ? std::string() : firstDifference(live, saved);
}

// ---- The screen --------------------------------------------------------------------------------

// What the window shows from its finished tiles against a direct draw of its views: "" or where
// they differ. Waits (in real time) for the tile workers to finish the visible tiles. Where topics
// overlap, the tiles stack them in tree order and the views in their own order: `overlaps` (in
// window coordinates) are left out.
std::string screenDiffersOnce(kit::Window& window, const std::vector<kit::Rect>& overlaps) {
  const kit::Size size = window.bounds().size;
  std::unique_ptr<kit::ImageContext> shown;
  bool complete = false;
  for (int tries = 0; tries < 1000 && !complete; ++tries) {
    if (tries) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    shown = kit::ImageContext::create(size, true, 1);
    shown->context().setFillColor(kit::Color::white());
    shown->context().fillRect(window.bounds());
    complete = kit::drawScreenFrame(shown->context(), window);
  }
  if (!complete) return "the window's tiles are not finished after 5 s";
  std::unique_ptr<kit::ImageContext> direct = kit::ImageContext::create(size, true, 1);
  direct->context().setFillColor(kit::Color::white());
  direct->context().fillRect(window.bounds());
  kit::drawViewTree(direct->context(), window);
  const kit::ImageRef a = shown->takeImage(), b = direct->takeImage();
  if (!a || !b) return {};
  // Tiles drawn at another zoom, or placed on whole pixels, differ from the views in their
  // antialiasing and by a pixel or two: 4 by 4 blocks are compared by their mean colour, each
  // with the best of the direct draw's blocks shifted up to 2 pixels. A stale picture (a patch)
  // differs from all of them.
  auto mean = [](const kit::Image& image, int x0, int y0) {
    int sum[3] = {0, 0, 0};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const kit::Pixel p = image.pixelAt(x0 + x, y0 + y).value_or(kit::Pixel{255, 255, 255, 255});
        sum[0] += p.red, sum[1] += p.green, sum[2] += p.blue;
      }
    return std::array<int, 3>{sum[0] / 16, sum[1] / 16, sum[2] / 16};
  };
  auto differs = [&](int x, int y, int dx, int dy) {
    const std::array<int, 3> p = mean(*a, x, y), q = mean(*b, x + dx, y + dy);
    return std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 90;
  };
  // The blocks on the window's edge are left out: shifted outwards they would meet no picture.
  int off = 0, firstX = -1, firstY = -1;
  for (int y = 4; y + 8 <= a->pixelHeight(); y += 4)
    for (int x = 4; x + 8 <= a->pixelWidth(); x += 4) {
      const kit::Rect block(static_cast<float>(x), static_cast<float>(y), 4, 4);
      if (!differs(x, y, 0, 0) ||
          std::any_of(overlaps.begin(), overlaps.end(), [&](const kit::Rect& r) { return r.intersects(block); }))
        continue;
      bool near = false;
      for (int dy = -2; dy <= 2 && !near; ++dy)
        for (int dx = -2; dx <= 2 && !near; ++dx) near = !differs(x, y, dx, dy);
      if (!near && off++ == 0) firstX = x, firstY = y;
    }
  if (off <= 24) return {};
  if (std::getenv("QUILL_CHECKER_VERBOSE")) {
    if (auto png = a->pngData()) kit::FileManager::write("/tmp/checker-shown.png", *png);
    if (auto png = b->pngData()) kit::FileManager::write("/tmp/checker-drawn.png", *png);
  }
  return "the window shows what the views do not: " + std::to_string(off) + " blocks of 4 by 4 pixels differ, the first at " +
         std::to_string(firstX) + "," + std::to_string(firstY);
}

// A difference that tiles still being finished explain goes away within a moment; a stale
// picture stays.
std::string screenDiffers(kit::Window& window, const std::vector<kit::Rect>& overlaps) {
  std::string what;
  for (int tries = 0; tries < 3; ++tries) {
    if (tries) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    what = screenDiffersOnce(window, overlaps);
    if (what.empty()) break;
  }
  return what;
}

}  // namespace checker
