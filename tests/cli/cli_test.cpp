// The quillmere command: rendering the examples to every output, reading standard input, the
// options, the messages and exit statuses for bad input and command lines, that a failure
// leaves no file, file modes, the input limit, interruption, and that the command keeps out of
// the user's home.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "document/pseudo_map_view_controller.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/io/plist.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/pdf_links.h"
#include "kit/testing/fixtures.h"
#include "kit/testing/hostile_input.h"
#include "model/asset_library.h"

namespace {

const std::string kExamples = std::string(QUILL_SOURCE_DIR) + "/examples/";

struct Result {
  int status = -1;
  std::string out, err;
};

class CliTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    dir = home_.path() + "/out";
    ASSERT_TRUE(kit::FileManager::createDirectories(dir));
  }

  Result run(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    Result r;
    r.status = cli::run(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  // Nothing at all was written into the output folder.
  void expectNoOutput() const {
    auto names = kit::FileManager::listDirectory(dir);
    ASSERT_TRUE(names);
    EXPECT_TRUE(names->empty()) << (names->empty() ? "" : names->front());
  }
  static void expectOneLineMessage(const Result& r, const std::string& part) {
    EXPECT_EQ(r.err.rfind("quillmere: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  }
  bool writeInput(const std::string& name, std::string_view text) {
    return kit::FileManager::writeAtomically(home_.path() + "/" + name, text);
  }
  std::string input(const std::string& name) const { return home_.path() + "/" + name; }
  // Runs the command as a user whose home is fakeHome, with no QUILLMERE_HOME and TMPDIR at tmp;
  // reports whether QUILLMERE_HOME stayed unset during the run.
  Result runAsUser(const std::string& fakeHome, const std::string& tmp, std::vector<std::string> args,
                   bool* quillHomeStayedUnset = nullptr) {
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const std::string savedQuillHome = getenv("QUILLMERE_HOME");
    const char* savedTmp = getenv("TMPDIR");
    const std::string savedTmpValue = savedTmp ? savedTmp : "";
    setenv("HOME", fakeHome.c_str(), 1);
    setenv("TMPDIR", tmp.c_str(), 1);
    unsetenv("QUILLMERE_HOME");
    kit::UserDefaults::resetStandard();
    Result r = run(std::move(args));
    if (quillHomeStayedUnset) *quillHomeStayedUnset = getenv("QUILLMERE_HOME") == nullptr;
    setenv("HOME", savedHome.c_str(), 1);
    if (savedTmp) setenv("TMPDIR", savedTmpValue.c_str(), 1);
    else unsetenv("TMPDIR");
    setenv("QUILLMERE_HOME", savedQuillHome.c_str(), 1);
    kit::UserDefaults::resetStandard();
    return r;
  }

  std::string dir;
};

// ---- The examples ---------------------------------------------------------------------------

TEST_F(CliTest, RendersEachExampleToPngAndPdf) {
  for (const char* example : {"garden.txt", "thesis.txt", "trip.opml"}) {
    const std::string stem = std::string(example).substr(0, std::string(example).find('.'));
    Result png = run({"render", kExamples + example, "-o", path(stem + ".png")});
    EXPECT_EQ(png.status, 0) << png.err;
    EXPECT_TRUE(png.err.empty()) << png.err;
    kit::ImageRef img = kit::Image::fromFile(path(stem + ".png"));
    ASSERT_TRUE(img) << example;
    // A laid-out map of a dozen topics or more spreads to both sides of its centre.
    EXPECT_GT(img->pixelWidth(), 600) << example;
    EXPECT_GT(img->pixelHeight(), 150) << example;
    EXPECT_LT(img->pixelHeight(), img->pixelWidth()) << example;

    Result pdf = run({"render", kExamples + example, "-o", path(stem + ".pdf")});
    EXPECT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_EQ(kit::FileManager::readText(path(stem + ".pdf")).value_or("").rfind("%PDF-", 0), 0u);
  }
}

// The topics of a written map file by their text: level and centre.
struct Placed {
  int level = -1;
  double x = 0, y = 0;
};
std::map<std::string, Placed> placedTopics(const std::string& qlm) {
  std::map<std::string, Placed> topics;
  std::optional<kit::Value> file = kit::plist::readFile(qlm);
  if (!file || !file->isDictionary() || !(*file)["MapData"].isString()) return topics;
  const std::string& xml = (*file)["MapData"].string();
  auto attribute = [](const std::string& element, const std::string& name) {
    const std::size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + name.size() + 3;
    return element.substr(from, element.find('"', from) - from);
  };
  for (std::size_t at = xml.find("<topic "); at != std::string::npos; at = xml.find("<topic ", at + 1)) {
    const std::string element = xml.substr(at, xml.find('>', at) - at);
    topics[attribute(element, "text")] = {atoi(attribute(element, "level").c_str()),
                                          atof(attribute(element, "x").c_str()),
                                          atof(attribute(element, "y").c_str())};
  }
  return topics;
}

// Four main branches of equal height: the first half stays right of the central topic, top to
// bottom, the rest continues clockwise on the left, bottom to top; each branch's children lie
// on its outer side.
TEST_F(CliTest, AnOutlineIsLaidOutOnBothSidesOfTheCentralTopic) {
  ASSERT_TRUE(writeInput("four.txt", "Hub\n\tAlpha\n\t\tAlpha kid\n\tBravo\n\tCharlie\n\tDelta\n\t\tDelta kid\n"));
  ASSERT_EQ(run({"render", input("four.txt"), "-o", path("four.qlm")}).status, 0);
  std::map<std::string, Placed> t = placedTopics(path("four.qlm"));
  ASSERT_EQ(t.size(), 7u);
  const Placed hub = t["Hub"], a = t["Alpha"], b = t["Bravo"], c = t["Charlie"], d = t["Delta"];
  EXPECT_EQ(hub.level, 0);
  EXPECT_EQ(d.level, 1);
  EXPECT_GT(a.x, hub.x);
  EXPECT_GT(b.x, hub.x);
  EXPECT_LT(c.x, hub.x);
  EXPECT_LT(d.x, hub.x);
  // Each column is centred on the hub: one branch above it, one below (the stored centres sit
  // a little below the shapes' middles).
  EXPECT_LT(a.y, hub.y);
  EXPECT_GT(b.y, hub.y);
  EXPECT_LT(d.y, hub.y);
  EXPECT_GT(c.y, hub.y);
  EXPECT_NEAR((a.y + b.y) / 2, hub.y, 3);
  EXPECT_NEAR((d.y + c.y) / 2, hub.y, 3);
  EXPECT_GT(t["Alpha kid"].x, a.x);
  EXPECT_LT(t["Delta kid"].x, d.x);
  EXPECT_NEAR(t["Alpha kid"].y, a.y, 2);
}

TEST_F(CliTest, MapFileRoundTripsThroughTheCommand) {
  ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path("thesis.qlm")}).status, 0);
  Result md = run({"render", path("thesis.qlm"), "-o", path("thesis.md")});
  ASSERT_EQ(md.status, 0) << md.err;
  const std::string text = kit::FileManager::readText(path("thesis.md")).value_or("");
  EXPECT_EQ(text.rfind("- Thesis plan\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n    - Introduction\n        - Question and motivation\n"), std::string::npos) << text;
  EXPECT_NE(text.find("        - Future work"), std::string::npos);
  // The map file keeps its layout: rendering it again gives the same picture size.
  ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path("a.png")}).status, 0);
  ASSERT_EQ(run({"render", path("thesis.qlm"), "-o", path("b.png")}).status, 0);
  auto a = kit::Image::fromFile(path("a.png")), b = kit::Image::fromFile(path("b.png"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pixelWidth(), b->pixelWidth());
  EXPECT_EQ(a->pixelHeight(), b->pixelHeight());
}

// Markdown lists the map in its reading order, clockwise round the central topic: the same
// outline whether the map comes straight from OPML or from the map file written of it, and the
// same as the input's, main branches on both sides and nested ones included.
TEST_F(CliTest, MarkdownKeepsTheInputOrderThroughAMapFile) {
  const std::string md =
      "- Root\n    - A\n        - A1\n        - A2\n    - B\n    - C\n        - C1\n            - C1a\n"
      "            - C1b\n        - C2\n    - D\n    - E\n        - E1\n        - E2\n        - E3\n"
      "    - F\n        - F1\n            - F1a\n            - F1b\n        - F2\n    - G\n";
  std::string opml = "<opml version=\"2.0\"><head/><body>";
  std::size_t open = 0;
  for (std::size_t at = 0; at < md.size();) {
    const std::size_t end = md.find('\n', at);
    const std::size_t dash = md.find('-', at);
    const std::size_t level = (dash - at) / 4;
    for (; open > level; --open) opml += "</outline>";
    opml += "<outline text=\"" + md.substr(dash + 2, end - dash - 2) + "\">";
    ++open;
    at = end + 1;
  }
  for (; open > 0; --open) opml += "</outline>";
  opml += "</body></opml>";
  ASSERT_TRUE(writeInput("order.opml", opml));
  ASSERT_EQ(run({"render", input("order.opml"), "-o", path("direct.md")}).status, 0);
  ASSERT_EQ(run({"render", input("order.opml"), "-o", path("order.qlm")}).status, 0);
  ASSERT_EQ(run({"render", path("order.qlm"), "-o", path("again.md")}).status, 0);
  EXPECT_EQ(kit::FileManager::readText(path("direct.md")).value_or(""), md);
  EXPECT_EQ(kit::FileManager::readText(path("again.md")).value_or(""), md);
}

TEST_F(CliTest, OptionsApplyToAMapFileToo) {
  ASSERT_EQ(run({"render", kExamples + "garden.txt", "-o", path("g.qlm")}).status, 0);
  Result r = run({"render", path("g.qlm"), "-o", path("g.png"), "--theme", "default", "--rainbow", "--canvas-style", "9"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto img = kit::Image::fromFile(path("g.png"));
  ASSERT_TRUE(img);
  EXPECT_EQ(*img->pixelAt(1, 1), (kit::Pixel{253, 247, 184, 255}));
}

TEST_F(CliTest, ReadsAnOutlineFromStandardInput) {
  Result r = run({"render", "-", "-o", path("in.markdown")}, "Plan\n\tOne\n    Two\n\t\tDeep\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(kit::FileManager::readText(path("in.markdown")).value_or(""),
            "- Plan\n    - One\n    - Two\n        - Deep\n");
  // A map file and OPML come through standard input too.
  ASSERT_EQ(run({"render", kExamples + "garden.txt", "-o", path("g.qlm")}).status, 0);
  Result qlm = run({"render", "-", "-o", path("g.md")}, kit::FileManager::readText(path("g.qlm")).value_or(""));
  EXPECT_EQ(qlm.status, 0) << qlm.err;
  Result opml = run({"render", "-", "-o", path("t.md")}, kit::FileManager::readText(kExamples + "trip.opml").value_or(""));
  EXPECT_EQ(opml.status, 0) << opml.err;
  EXPECT_EQ(kit::FileManager::readText(path("t.md")).value_or("").rfind("- Walking holiday\n", 0), 0u);
}

TEST_F(CliTest, AnOutlineOfAnyDepthIsRead) {
  std::string text, md;
  for (int i = 0; i < 300; ++i) {
    text += std::string(static_cast<std::size_t>(i), '\t') + "L" + std::to_string(i) + "\n";
    md += std::string(4 * static_cast<std::size_t>(i), ' ') + "- L" + std::to_string(i) + "\n";
  }
  ASSERT_TRUE(writeInput("deep.txt", text));
  Result r = run({"render", input("deep.txt"), "-o", path("deep.md")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(kit::FileManager::readText(path("deep.md")).value_or(""), md);
}

TEST_F(CliTest, SeveralTopLevelLinesHangUnderATopicNamedAfterTheFile) {
  ASSERT_TRUE(writeInput("ideas.txt", "One\nTwo\n\tTwo a\nThree\n"));
  ASSERT_EQ(run({"render", input("ideas.txt"), "-o", path("ideas.md")}).status, 0);
  EXPECT_EQ(kit::FileManager::readText(path("ideas.md")).value_or(""),
            "- ideas\n    - One\n    - Two\n        - Two a\n    - Three\n");
}

// ---- Options -----------------------------------------------------------------------------------

TEST_F(CliTest, HtmlMapGoesBesideThePngAndNamesIt) {
  ASSERT_TRUE(writeInput("links.xml",
                         "<QuillmereRelative version=\"1\"><topic level=\"0\" text=\"Hub\"/>"
                         "<topic level=\"1\" text=\"Site\" link=\"https://example.org/site\"/></QuillmereRelative>"));
  Result r = run({"render", input("links.xml"), "-o", path("my map.png"), "--html-map"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string html = kit::FileManager::readText(path("my map.html")).value_or("");
  EXPECT_NE(html.find("<img src=\"my%20map.png\""), std::string::npos) << html;
  EXPECT_NE(html.find("href=\"https://example.org/site\""), std::string::npos);
  // A backslash is part of a file name here, and what a URL must escape is escaped.
  ASSERT_EQ(run({"render", input("links.xml"), "-o", path("a\\b #1%?.png"), "--html-map"}).status, 0);
  EXPECT_NE(kit::FileManager::readText(path("a\\b #1%?.html")).value_or("").find("<img src=\"a%5Cb%20%231%25%3F.png\""),
            std::string::npos);
  // Without the option no page is written, whatever the settings held before.
  ASSERT_EQ(run({"render", input("links.xml"), "-o", path("plain.png")}).status, 0);
  EXPECT_FALSE(kit::FileManager::exists(path("plain.html")));
  // The PDF carries the link.
  ASSERT_EQ(run({"render", input("links.xml"), "-o", path("links.pdf")}).status, 0);
  EXPECT_NE(kit::FileManager::readText(path("links.pdf")).value_or("").find("/URI (https://example.org/site)"),
            std::string::npos);
}

// Links in someone else's map cannot break out of their annotation into another action, and
// script addresses reach neither the PDF nor the image map page.
TEST_F(CliTest, HostileLinksInAMapStayUriActions) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  ASSERT_TRUE(writeInput("hostile.xml",
                         "<QuillmereRelative version=\"1\"><topic level=\"0\" text=\"Hub\"/>"
                         "<topic level=\"1\" text=\"A\" link=\"https://e.org/a)&gt;&gt;/S/Launch/F(calc.exe)\"/>"
                         "<topic level=\"1\" text=\"B\" link=\"https://e.org/b\\\"/>"
                         "<topic level=\"1\" text=\"C\" link=\"https://e.org/c(/S/JavaScript\"/>"
                         "<topic level=\"1\" text=\"D\" link=\" JaVa&#9;Script:alert(1)\"/>"
                         "<topic level=\"1\" text=\"E\" link=\"data:text/html,&lt;script&gt;\"/>"
                         "<topic level=\"1\" text=\"F\" link=\"javascripts:ok\"/>"
                         "</QuillmereRelative>"));
  ASSERT_EQ(run({"render", input("hostile.xml"), "-o", path("hostile.pdf")}).status, 0);
  kit::test::PdfLinks found = kit::test::readPdfLinks(path("hostile.pdf"));
  ASSERT_TRUE(found.read);
  EXPECT_FALSE(found.otherActions);
  std::vector<std::string> uris;
  for (const auto& link : found.links) {
    EXPECT_EQ(link.action, "/URI") << link.uri;
    uris.push_back(link.uri);
  }
  std::sort(uris.begin(), uris.end());
  EXPECT_EQ(uris, (std::vector<std::string>{"https://e.org/a%29%3E%3E/S/Launch/F(calc.exe)", "https://e.org/b%5C",
                                            "https://e.org/c%28/S/JavaScript", "javascripts:ok"}));
  ASSERT_EQ(run({"render", input("hostile.xml"), "-o", path("hostile.png"), "--html-map"}).status, 0);
  const std::string page = kit::FileManager::readText(path("hostile.html")).value_or("");
  EXPECT_NE(page.find("href=\"javascripts:ok\""), std::string::npos);
  EXPECT_EQ(page.find("alert"), std::string::npos);
  EXPECT_EQ(page.find("data:"), std::string::npos);
}

TEST_F(CliTest, TransparentMaxAreaAndCanvasStyleShapeTheImage) {
  const std::string garden = kExamples + "garden.txt";
  ASSERT_EQ(run({"render", garden, "-o", path("clear.png"), "--transparent"}).status, 0);
  ASSERT_EQ(run({"render", garden, "-o", path("black.png"), "--canvas-style", "1"}).status, 0);
  ASSERT_EQ(run({"render", garden, "-o", path("small.png"), "--max-area=40000"}).status, 0);
  auto clear = kit::Image::fromFile(path("clear.png"));
  auto black = kit::Image::fromFile(path("black.png"));
  auto small = kit::Image::fromFile(path("small.png"));
  ASSERT_TRUE(clear && black && small);
  EXPECT_EQ(clear->pixelAt(1, 1)->alpha, 0);
  EXPECT_EQ(*black->pixelAt(1, 1), (kit::Pixel{0, 0, 0, 255}));
  // The cut keeps the whole map's proportions.
  EXPECT_NEAR(double(small->pixelWidth()) / small->pixelHeight(), double(black->pixelWidth()) / black->pixelHeight(), 0.05);
  // At most means at most, whole pixels and PDF pages alike.
  for (const char* area : {"40000", "20000", "12345", "5000"}) {
    ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path("cut.png"), "--max-area", area}).status, 0) << area;
    ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path("cut.pdf"), "--max-area", area}).status, 0) << area;
    auto cut = kit::Image::fromFile(path("cut.png"));
    ASSERT_TRUE(cut);
    EXPECT_LE(cut->pixelWidth() * cut->pixelHeight(), std::stoi(area)) << area;
    EXPECT_GT(cut->pixelWidth() * cut->pixelHeight(), std::stoi(area) * 0.95) << area;
    const std::string pdf = kit::FileManager::readText(path("cut.pdf")).value_or("");
    double x = 0, y = 0, w = 0, h = 0;
    const std::size_t box = pdf.find("/MediaBox [");
    ASSERT_NE(box, std::string::npos);
    ASSERT_EQ(std::sscanf(pdf.c_str() + box, "/MediaBox [ %lf %lf %lf %lf", &x, &y, &w, &h), 4);
    EXPECT_LE(w * h, std::stod(area)) << area;
  }
  // The setting the option held is the user's own again afterwards.
  EXPECT_TRUE(kit::UserDefaults::standard().objectForKey("export_options_png_include_html_map").isNull());
  EXPECT_FALSE(kit::UserDefaults::standard().boolForKey("export_options_transparent_background"));
}

TEST_F(CliTest, RainbowAndWatermarkChangeThePicture) {
  const std::string thesis = kExamples + "thesis.txt";
  ASSERT_EQ(run({"render", thesis, "-o", path("plain.png")}).status, 0);
  ASSERT_EQ(run({"render", thesis, "-o", path("rainbow.png"), "--rainbow"}).status, 0);
  ASSERT_EQ(run({"render", thesis, "-o", path("marked.jpg"), "--watermark", "Draft copy"}).status, 0);
  auto plain = kit::FileManager::readFile(path("plain.png"));
  auto rainbow = kit::FileManager::readFile(path("rainbow.png"));
  ASSERT_TRUE(plain && rainbow);
  EXPECT_NE(*plain, *rainbow);
  EXPECT_TRUE(kit::Image::fromFile(path("marked.jpg")));
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

struct UmaskScope {
  explicit UmaskScope(mode_t mask) : saved(::umask(mask)) {}
  ~UmaskScope() { ::umask(saved); }
  mode_t saved;
};

TEST_F(CliTest, OutputsTakeTheUmaskAndReplacedFilesKeepTheirMode) {
  const std::string m(250, 'm');  // names as long as a folder takes (the page: m.html)
  const std::vector<std::string> outputs = {m + ".png", m + ".jpg", m + ".pdf", m + ".qlm", m + ".md"};
  auto renderAll = [&] {
    for (const std::string& out : outputs) {
      std::vector<std::string> args = {"render", kExamples + "garden.txt", "-o", path(out)};
      if (out == outputs[0]) args.push_back("--html-map");
      Result r = run(args);
      ASSERT_EQ(r.status, 0) << out << ": " << r.err;
    }
  };
  std::vector<std::string> written = outputs;
  written.push_back(m + ".html");
  // Each bit the umask leaves is given: a lost group or other bit shows under these two.
  for (const mode_t mask : {mode_t(0), mode_t(022)}) {
    for (const std::string& name : written) ::unlink(path(name).c_str());
    UmaskScope scope(mask);
    renderAll();
    for (const std::string& name : written) EXPECT_EQ(modeOf(path(name)), 0666u & ~mask) << name << " under " << mask;
  }
  // Replaced under another umask, each file keeps the mode it had.
  for (const std::string& name : written) ::chmod(path(name).c_str(), 0664);
  UmaskScope scope(077);
  renderAll();
  for (const std::string& name : written) EXPECT_EQ(modeOf(path(name)), 0664u) << name;
}

// An output reached through a symbolic link is written where the link leads, the link kept; a
// read-only output is refused, and stays as it was.
TEST_F(CliTest, OutputsAreWrittenThroughLinksAndReadOnlyOnesAreRefused) {
  ASSERT_TRUE(kit::FileManager::createDirectories(dir + "/real"));
  for (const char* name : {"map.qlm", "map.png", "map.md"}) {
    const std::string link = path(name), target = dir + "/real/" + name;
    ASSERT_EQ(::symlink((std::string("real/") + name).c_str(), link.c_str()), 0);
    Result r = run({"render", kExamples + "garden.txt", "-o", link});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
    EXPECT_GT(kit::FileManager::attributes(target).value_or(kit::FileAttributes{}).size, 0u) << name;
  }
  // A map edited through its link is read back whole from its real place.
  Result again = run({"render", path("map.qlm"), "-o", path("map.qlm")});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(placedTopics(dir + "/real/map.qlm").size(), placedTopics(path("map.qlm")).size());
  EXPECT_EQ(kit::FileManager::listDirectory(dir + "/real"), (std::vector<std::string>{"map.md", "map.png", "map.qlm"}));

  for (const char* name : {"kept.png", "kept.pdf", "kept.qlm", "kept.md"}) {
    ASSERT_TRUE(kit::FileManager::writeAtomically(path(name), std::string_view("mine")));
    ::chmod(path(name).c_str(), 0444);
    Result r = run({"render", kExamples + "garden.txt", "-o", path(name)});
    EXPECT_EQ(r.status, 1) << name;
    expectOneLineMessage(r, "cannot write '" + path(name) + "': it is read-only");
    EXPECT_EQ(kit::FileManager::readText(path(name)), "mine") << name;
    EXPECT_EQ(modeOf(path(name)), 0444u) << name;
  }
}

TEST_F(CliTest, MaxAreaTooSmallForOnePointSaysWhatWouldDo) {
  Result r = run({"render", kExamples + "garden.txt", "-o", path("tiny.png"), "--max-area", "1"});
  EXPECT_EQ(r.status, 1);
  expectOneLineMessage(r, "--max-area 1 leaves less than one point");
  expectNoOutput();
  const std::size_t at = r.err.find("at least ");
  ASSERT_NE(at, std::string::npos);
  const std::string least = r.err.substr(at + 9, r.err.size() - at - 10);
  Result ok = run({"render", kExamples + "garden.txt", "-o", path("tiny.png"), "--max-area", least});
  ASSERT_EQ(ok.status, 0) << least << ": " << ok.err;
  auto img = kit::Image::fromFile(path("tiny.png"));
  ASSERT_TRUE(img);
  EXPECT_LE(img->pixelWidth() * img->pixelHeight(), std::stoi(least));
}

TEST_F(CliTest, InputOverTheLimitIsRefusedWithoutReadingItAll) {
  auto renderWith = [&](const std::string& input, std::uint64_t limit, const std::string& stdinText = "") {
    cli::RenderOptions o;
    o.input = input;
    o.output = path("in.md");
    o.kind = cli::OutputKind::Markdown;
    o.inputLimit = limit;
    std::istringstream in(stdinText);
    std::ostringstream err;
    Result r;
    r.status = cli::render(o, in, err);
    r.err = err.str();
    return r;
  };
  // An endless stream stops at the limit.
  Result zero = renderWith("/dev/zero", 1 << 20);
  EXPECT_EQ(zero.status, 1);
  expectOneLineMessage(zero, "cannot read '/dev/zero': it is larger than 1 MiB");
  Result over = renderWith("-", 8, "Plan\n\tOne");
  EXPECT_EQ(over.status, 1);
  expectOneLineMessage(over, "standard input: it is larger than 8 bytes");
  // A regular file is refused by its size: this one holds no data blocks.
  const std::string huge = input("huge.txt");
  const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(cli::kInputLimit + 1)), 0);
  ::close(fd);
  Result big = run({"render", huge, "-o", path("in.md")});
  EXPECT_EQ(big.status, 1);
  expectOneLineMessage(big, "it is larger than 1 GiB");
  ::unlink(huge.c_str());
  expectNoOutput();
  // Up to the limit is read.
  Result at = renderWith("-", 8, "Plan\n\tOn");
  EXPECT_EQ(at.status, 0) << at.err;
  EXPECT_EQ(kit::FileManager::readText(path("in.md")).value_or(""), "- Plan\n    - On\n");
}

TEST_F(CliTest, HelpGoesToStandardOutput) {
  Result r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: quillmere render INPUT -o OUTPUT", 0), 0u);
  EXPECT_TRUE(r.err.empty());
  EXPECT_EQ(run({"render", "x.txt", "-h"}).status, 0);
}

// ---- Wrong command lines: status 2, nothing read or written -----------------------------------

TEST_F(CliTest, WrongCommandLinesAreRefusedWithOneLine) {
  const std::string garden = kExamples + "garden.txt";
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const std::vector<Case> cases = {
      {{}, "no command"},
      {{"draw", garden, "-o", path("a.png")}, "unknown command"},
      {{"render", garden}, "no output"},
      {{"render", "-o", path("a.png")}, "no input"},
      {{"render", garden, garden, "-o", path("a.png")}, "more than one input"},
      {{"render", garden, "-o", path("a.jpeg")}, "extension"},
      {{"render", garden, "-o", path("a.svg")}, "extension"},
      {{"render", garden, "-o", path("a")}, "extension"},
      {{"render", garden, "-o", path("a.png"), "--max-area", "-5"}, "--max-area"},
      {{"render", garden, "-o", path("a.png"), "--max-area", "1e3x"}, "--max-area"},
      {{"render", garden, "-o", path("a.png"), "--max-area"}, "--max-area"},
      {{"render", garden, "-o", path("a.png"), "--canvas-style", "dark"}, "--canvas-style"},
      {{"render", garden, "-o", path("a.png"), "--theme", "fancy"}, "unknown theme"},
      {{"render", garden, "-o", path("a.pdf"), "--html-map"}, "--html-map"},
      {{"render", garden, "-o", path("a.pdf"), "--watermark", "x"}, "--watermark"},
      {{"render", garden, "-o", path("a.png"), "--transparent=yes"}, "--transparent"},
      {{"render", garden, "-o", path("a.png"), "--bogus"}, "unknown option"},
      {{"edit"}, "edit needs a map file"},
      {{"edit", "-"}, "not standard input"},
      {{"edit", path("a.qlm"), path("b.qlm")}, "more than one file"},
      {{"edit", "--bogus", path("a.qlm")}, "unknown option"},
  };
  for (const Case& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.says;
    expectOneLineMessage(r, c.says);
  }
  expectNoOutput();
}

// ---- Bad input: status 1, no output ------------------------------------------------------------

TEST_F(CliTest, BadInputFailsWithOneLineAndWritesNothing) {
  ASSERT_TRUE(writeInput("blank.txt", "\n   \n\t\n"));
  ASSERT_TRUE(writeInput("broken.opml", "<opml version=\"2.0\"><body><outline text=\"a\">"));
  ASSERT_TRUE(writeInput("empty.opml", "<opml version=\"2.0\"><head/><body></body></opml>"));
  ASSERT_TRUE(writeInput("other.xml", "<svg><g/></svg>"));
  ASSERT_TRUE(writeInput("notamap.qlm", "Just some words"));
  ASSERT_TRUE(writeInput("nodata.qlm",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Theme</key><dict/></dict></plist>"));
  ASSERT_TRUE(writeInput("badmap.qlm",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MapData</key>"
                         "<string>&lt;QuillmereRelative&gt;&lt;topic level=\"0\"</string></dict></plist>"));
  ASSERT_TRUE(writeInput("binary.txt", std::string_view("\x89PNG\r\n\x1a\n\0\0\xff\xfe", 12)));
  ASSERT_TRUE(writeInput("latin1.opml", "<opml version=\"2.0\"><body><outline text=\"caf\xe9\"/></body></opml>"));
  std::string nested;
  for (int i = 0; i < 300; ++i) nested += "<outline text=\"x\">";
  ASSERT_TRUE(writeInput("deep.opml", "<opml version=\"2.0\"><body>" + nested + "</body></opml>"));
  ASSERT_TRUE(writeInput("deep.qlm",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MapData</key><string>"
                         "&lt;QuillmereRelative&gt;&lt;topic level=\"0\"/&gt;" +
                             strings::replaceAll(nested, "<", "&lt;") + "</string></dict></plist>"));
  // An entity bomb: refused at the expansion limit, whichever check of the parser meets it first.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE b [<!ENTITY e0 \"lollollollollollollollollollol\">";
  for (int i = 1; i <= 9; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  ASSERT_TRUE(writeInput("bomb.opml", bomb + "]><opml version=\"2.0\"><body><outline text=\"&e9;\"/></body></opml>"));
  // Property lists nested far deeper than libplist's recursion survives.
  ASSERT_TRUE(writeInput("deepplist.qlm", kit::testing::nestedXMLPlist(200000)));
  ASSERT_TRUE(writeInput("deepbinary.qlm", kit::testing::nestedBinaryPlist(100000)));
  ASSERT_TRUE(writeInput("deeper.qlm", kit::testing::nestedXMLPlist(2000)));
  // A NUL inside a property-list string is damage, not a reason to abort.
  const std::string nulMap = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MapData</key><string>x";
  ASSERT_TRUE(writeInput("nul.qlm", nulMap + std::string(1, '\0') + "y</string></dict></plist>"));
  struct Case {
    std::string input;
    const char* says;
  };
  const std::vector<Case> cases = {
      {input("missing.txt"), "no such file"},
      {home_.path(), "folder"},
      {input("blank.txt"), "empty"},
      {input("broken.opml"), "cannot read"},
      {input("empty.opml"), "no topics"},
      {input("other.xml"), "cannot read"},
      {input("notamap.qlm"), "not a map file"},
      {input("nodata.qlm"), "not a map file"},
      {input("nul.qlm"), "not a map file"},
      {input("badmap.qlm"), "cannot read"},
      {input("binary.txt"), "not UTF-8"},
      {input("latin1.opml"), "UTF-8"},
      {input("deep.opml"), "nested too deeply"},
      {input("deep.qlm"), "nested too deeply"},
      {input("bomb.opml"), "its entities expand past the expansion limit"},
      {input("deepplist.qlm"), "nested too deeply"},
      {input("deepbinary.qlm"), "nested too deeply"},
      {input("deeper.qlm"), "nested too deeply"},
  };
  for (const Case& c : cases) {
    for (const char* out : {"out.png", "out.pdf", "out.qlm", "out.md"}) {
      Result r = run({"render", c.input, "-o", path(out)});
      EXPECT_EQ(r.status, 1) << c.input << " -> " << out;
      expectOneLineMessage(r, c.says);
    }
  }
  Result stdinBlank = run({"render", "-", "-o", path("out.png")}, "  \n\n");
  EXPECT_EQ(stdinBlank.status, 1);
  expectOneLineMessage(stdinBlank, "standard input");
  expectNoOutput();
}

// Preferences nested too deeply to read are damaged preferences: the run goes on without them.
TEST_F(CliTest, DeeplyNestedPreferencesDoNotStopARun) {
  for (const std::string& prefs : {kit::testing::nestedXMLPlist(200000), kit::testing::nestedBinaryPlist(100000)}) {
    ASSERT_TRUE(kit::FileManager::writeAtomically(kit::AppPaths::preferences() + "/quillmere.plist", prefs));
    Result r = run({"render", kExamples + "garden.txt", "-o", path("garden.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(kit::Image::fromFile(path("garden.png")));
  }
}

TEST_F(CliTest, UnwritableOutputFailsAndLeavesNothing) {
  Result r = run({"render", kExamples + "garden.txt", "-o", dir + "/missing/garden.png"});
  EXPECT_EQ(r.status, 1);
  expectOneLineMessage(r, "no such folder");
  ASSERT_TRUE(kit::FileManager::createDirectories(dir + "/taken.png"));
  Result taken = run({"render", kExamples + "garden.txt", "-o", dir + "/taken.png"});
  EXPECT_EQ(taken.status, 1);
  expectOneLineMessage(taken, "folder");
  // No image without its page.
  ASSERT_TRUE(kit::FileManager::createDirectories(dir + "/page.html"));
  Result page = run({"render", kExamples + "garden.txt", "-o", dir + "/page.png", "--html-map"});
  EXPECT_EQ(page.status, 1);
  expectOneLineMessage(page, "cannot write '" + dir + "/page.html': it is a folder");
  EXPECT_EQ(kit::FileManager::listDirectory(dir), (std::vector<std::string>{"page.html", "taken.png"}));
  // No room for the run's own home: said, with the reason.
  Result noTmp = runAsUser(home_.path(), home_.path() + "/no tmp", {"render", kExamples + "garden.txt", "-o", path("g.png")});
  EXPECT_EQ(noTmp.status, 1);
  expectOneLineMessage(noTmp, "cannot make a temporary folder in '" + home_.path() + "/no tmp' for the application home: No such file or directory");
}

// ---- The user's home --------------------------------------------------------------------------

TEST_F(CliTest, WithoutQuillmereHomeNothingIsWrittenIntoTheUsersHome) {
  const std::string fakeHome = home_.path() + "/user", tmp = home_.path() + "/tmp-run";
  ASSERT_TRUE(kit::FileManager::createDirectories(fakeHome));
  ASSERT_TRUE(kit::FileManager::createDirectories(tmp));
  // Homes left by runs that were killed outright: removed once old and their process gone.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  auto leftHome = [&](const std::string& name, bool old) {
    const std::string p = tmp + "/" + name;
    ASSERT_TRUE(kit::FileManager::createDirectories(p + "/Documents"));
    const timespec day = {std::time(nullptr) - (old ? 86400 : 60), 0};
    const timespec times[2] = {day, day};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  };
  const std::string goneId = std::to_string(gone), selfId = std::to_string(::getpid());
  leftHome("quillmere-" + goneId + "-Ab12Cd", true);
  leftHome("quillmere-" + goneId + "-Fresh1", false);
  leftHome("quillmere-" + selfId + "-Alive1", true);
  leftHome("quillmere-notes", true);

  bool quillHomeStayedUnset = false;
  Result r = runAsUser(fakeHome, tmp, {"render", kExamples + "trip.opml", "-o", path("trip.png"), "--transparent", "--html-map"},
                       &quillHomeStayedUnset);

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(quillHomeStayedUnset);
  EXPECT_TRUE(kit::FileManager::listDirectory(fakeHome).value_or(std::vector<std::string>{"?"}).empty());
  // The run's own home is gone too, and so is the stale one.
  std::vector<std::string> kept = {"quillmere-" + goneId + "-Fresh1", "quillmere-" + selfId + "-Alive1", "quillmere-notes"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kit::FileManager::listDirectory(tmp).value_or(std::vector<std::string>{"?"}), kept);
  EXPECT_TRUE(kit::FileManager::exists(path("trip.png")));
}

// A map's topic images come from its asset folder in the application home, whether
// QUILLMERE_HOME names the home or the run works in a temporary one; the user's home is only read.
TEST_F(CliTest, TopicImagesOfAMapFileComeFromTheApplicationHome) {
  const std::string asset = "3C1D2A4B-5E6F-4A1B-8C2D-3E4F5A6B7C8D";
  auto ic = kit::ImageContext::create(kit::Size(100, 100), true);
  ic->context().setFillColor(kit::Color(0, 0, 1));
  ic->context().fillRect(kit::Rect(0, 0, 100, 100));
  const std::string folder = AssetLibrary::assetLibraryForMap("Pic")->createAssetFolder();
  ASSERT_TRUE(kit::FileManager::writeAtomically(folder + "/" + asset + ".png", *ic->image()->pngData()));
  {
    PseudoMapViewController doc;
    doc.setMapID("Pic");
    NodeView* root = doc.bigView()->createChildNodeOf(nullptr, kit::Point());
    root->setStrName("Pictures");
    NodeView* child = doc.bigView()->createChildNodeOf(root, kit::Point(root->center().x + 250, root->center().y));
    child->setStrName("Blue");
    child->setImage(asset, false);
    ASSERT_TRUE(child->getImage());
    ASSERT_TRUE(doc.saveMapToFile(input("Pic.qlm")));
  }
  auto bluePixels = [](const std::string& png) {
    kit::ImageRef img = kit::Image::fromFile(png);
    int n = 0;
    for (int y = 0; img && y < img->pixelHeight(); ++y)
      for (int x = 0; x < img->pixelWidth(); ++x) {
        auto p = img->pixelAt(x, y);
        n += p && p->blue > 230 && p->red < 20 && p->green < 20 ? 1 : 0;
      }
    return n;
  };
  Result named = run({"render", input("Pic.qlm"), "-o", path("named.png")});
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_GT(bluePixels(path("named.png")), 9000);  // the picture, 100 x 100 points at least
  // Without its asset the topic shows no picture, and the map written again keeps the reference.
  ASSERT_TRUE(kit::FileManager::remove(folder + "/" + asset + ".png"));
  ASSERT_EQ(run({"render", input("Pic.qlm"), "-o", path("bare.png")}).status, 0);
  EXPECT_LT(bluePixels(path("bare.png")), 2000);  // the link alone
  ASSERT_EQ(run({"render", input("Pic.qlm"), "-o", path("again.qlm")}).status, 0);
  EXPECT_NE(kit::FileManager::readText(path("again.qlm")).value_or("").find(asset), std::string::npos);
  ASSERT_TRUE(kit::FileManager::writeAtomically(folder + "/" + asset + ".png", *ic->image()->pngData()));

  const std::string fakeHome = home_.path() + "/user", tmp = home_.path() + "/tmp-run";
  const std::string userMaps = fakeHome + "/.local/share/quillmere/Documents/maps";
  ASSERT_TRUE(kit::FileManager::createDirectories(userMaps));
  ASSERT_TRUE(kit::FileManager::createDirectories(tmp));
  ASSERT_TRUE(kit::FileManager::copy(folder, userMaps + "/Pic"));
  const auto before = kit::FileManager::listRecursively(fakeHome);
  Result user = runAsUser(fakeHome, tmp, {"render", input("Pic.qlm"), "-o", path("user.png")});
  ASSERT_EQ(user.status, 0) << user.err;
  EXPECT_GT(bluePixels(path("user.png")), 9000);
  EXPECT_EQ(kit::FileManager::listRecursively(fakeHome), before);
  EXPECT_TRUE(kit::FileManager::listDirectory(tmp).value_or(std::vector<std::string>{"?"}).empty());
}

// A named home is only read: the command line's export options hold in memory for the run, so
// no render, even one cut short, leaves them stored, and no folder is made in it.
TEST_F(CliTest, ANamedHomeKeepsItsOwnSettings) {
  kit::UserDefaults::standard().setBool("export_options_transparent_background", true);
  kit::UserDefaults::standard().setString("export_options_png_include_html_map", "kept");
  ASSERT_TRUE(kit::UserDefaults::standard().synchronize());
  const std::string prefs = kit::UserDefaults::standard().path();
  struct stat before {}, after {};
  ASSERT_EQ(::stat(prefs.c_str(), &before), 0);
  for (const char* out : {"t.png", "t.jpg", "t.pdf"}) ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path(out)}).status, 0);
  // The command line said opaque and no page: so it was, and the settings file was not written.
  EXPECT_FALSE(kit::FileManager::exists(path("t.html")));
  EXPECT_EQ(kit::Image::fromFile(path("t.png"))->pixelAt(1, 1)->alpha, 255);
  ASSERT_EQ(::stat(prefs.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_TRUE(kit::UserDefaults::standard().boolForKey("export_options_transparent_background"));
  EXPECT_EQ(kit::UserDefaults::standard().stringForKey("export_options_png_include_html_map").value_or(""), "kept");

  // A home with nothing in it stays so, whatever the input.
  ASSERT_EQ(run({"render", kExamples + "garden.txt", "-o", path("g.qlm")}).status, 0);
  const std::string empty = home_.path() + "/empty home";
  ASSERT_TRUE(kit::FileManager::createDirectories(empty));
  ::setenv("QUILLMERE_HOME", empty.c_str(), 1);
  kit::UserDefaults::resetStandard();
  Result fromFile = run({"render", path("g.qlm"), "-o", path("g.png")});
  Result fromInput = run({"render", "-", "-o", path("g.pdf")}, kit::FileManager::readText(path("g.qlm")).value_or(""));
  Result outline = run({"render", kExamples + "garden.txt", "-o", path("g.md")});
  ::setenv("QUILLMERE_HOME", home_.path().c_str(), 1);
  kit::UserDefaults::resetStandard();
  EXPECT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_EQ(fromInput.status, 0) << fromInput.err;
  EXPECT_EQ(outline.status, 0) << outline.err;
  EXPECT_EQ(kit::FileManager::listRecursively(empty), std::vector<std::string>{});
}

// Without its resources a map would be drawn without paper and icons, as if all were well.
TEST_F(CliTest, MissingResourcesAreSaid) {
  const char* saved = std::getenv("QUILL_RESOURCES");
  const std::string resources = saved ? saved : "";
  ::setenv("QUILL_RESOURCES", (home_.path() + "/no resources").c_str(), 1);
  Result r = run({"render", kExamples + "garden.txt", "-o", path("g.png"), "--canvas-style", "3"});
  if (saved) ::setenv("QUILL_RESOURCES", resources.c_str(), 1);
  else ::unsetenv("QUILL_RESOURCES");
  EXPECT_EQ(r.status, 1);
  expectOneLineMessage(r, "the resources were not found: '" + home_.path() + "/no resources'");
  expectNoOutput();
}

// ---- The built program ------------------------------------------------------------------------

// The program beside this test program, when it has been built.
std::string builtProgram() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string self(buf, static_cast<std::size_t>(n));
  std::string candidate = self.substr(0, self.find_last_of('/')) + "/quillmere";
  return access(candidate.c_str(), X_OK) == 0 ? candidate : std::string();
}

// Runs a shell command; its exit status, and standard error in err.
int shell(const std::string& command, std::string& err, const std::string& errFile) {
  // Under the leak checker, its summary of suppressed system-library leaks is not the program's.
  const std::string quiet = "export LSAN_OPTIONS=\"${LSAN_OPTIONS}:print_suppressions=0\"; ";
  int rc = std::system((quiet + command + " 2>'" + errFile + "'").c_str());
  err = kit::FileManager::readText(errFile).value_or("");
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST_F(CliTest, TheBuiltProgramRendersAndFails) {
  const std::string program = builtProgram();
  if (program.empty()) GTEST_SKIP() << "the quillmere program is not built";
  std::string err;
  const std::string errFile = home_.path() + "/stderr.txt";
  EXPECT_EQ(shell("'" + program + "' render '" + kExamples + "garden.txt' -o '" + path("garden.pdf") + "'", err, errFile), 0)
      << err;
  EXPECT_TRUE(err.empty());
  EXPECT_EQ(shell("printf 'A\\n\\tB\\n' | '" + program + "' render - -o '" + path("ab.png") + "'", err, errFile), 0) << err;
  EXPECT_EQ(shell("'" + program + "' render '" + input("nope.txt") + "' -o '" + path("nope.png") + "'", err, errFile), 1);
  EXPECT_EQ(err, "quillmere: cannot read '" + input("nope.txt") + "': no such file\n");
  EXPECT_EQ(shell("'" + program + "' render x.txt -o '" + path("x.gif") + "'", err, errFile), 2);
  // No display: one line and no map made.
  EXPECT_EQ(shell("env -u DISPLAY -u WAYLAND_DISPLAY '" + program + "' edit '" + path("new.qlm") + "'", err, errFile), 1);
  EXPECT_EQ(err.rfind("quillmere: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_FALSE(kit::FileManager::exists(path("new.qlm")));
  EXPECT_FALSE(kit::FileManager::exists(path("nope.png")));
  EXPECT_FALSE(kit::FileManager::exists(path("x.gif")));
}

// A full disk is said as such, whatever the output.
TEST_F(CliTest, TheBuiltProgramSaysTheDiskIsFull) {
  const std::string program = builtProgram();
  if (program.empty()) GTEST_SKIP() << "the quillmere program is not built";
  // A file system of 64 KiB, mounted in a mount namespace of the run's own.
  const std::string small = home_.path() + "/small", errFile = home_.path() + "/stderr.txt";
  ASSERT_TRUE(kit::FileManager::createDirectories(small));
  std::string err;
  if (shell("unshare -rm sh -c 'mount -t tmpfs -o size=64k none " + small + "'", err, errFile) != 0)
    GTEST_SKIP() << "no small file system can be mounted here (unshare -rm, mount -t tmpfs): " << err;
  std::string outline = "Big\n";
  for (int i = 0; i < 1500; ++i) outline += "\tTopic number " + std::to_string(i) + ", with words enough to fill the disk\n";
  ASSERT_TRUE(writeInput("big.txt", outline));
  for (const char* out : {"full.png", "full.jpg", "full.pdf", "full.qlm", "full.md"}) {
    const std::string target = small + "/" + out;
    EXPECT_EQ(shell("unshare -rm sh -c 'mount -t tmpfs -o size=64k none " + small + " && exec " + program + " render " +
                        input("big.txt") + " -o " + target + "'",
                    err, errFile),
              1)
        << out;
    EXPECT_EQ(err, "quillmere: cannot write '" + target + "': No space left on device\n");
  }
}

// Starts program with args and its standard error into errFd (standard input from inFd when
// given), with env's names set or, for nullopt, unset; as the user nobody when asked.
pid_t start(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::optional<std::string>>& env, int errFd, int inFd = -1,
            bool asNobody = false) {
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    if (!env.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
  }
  for (const auto& [name, value] : env)
    if (value) envText.push_back(name + "=" + *value);
  // Under the leak checker, its summary of suppressed system-library leaks is not the program's.
  for (std::string& e : envText)
    if (e.rfind("LSAN_OPTIONS=", 0) == 0) e += ":print_suppressions=0";
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only calls that are safe after fork from here on.
  if (inFd >= 0) ::dup2(inFd, 0);
  ::dup2(errFd, 2);
  if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(126);
  ::execve(program.c_str(), argv.data(), envp.data());
  _exit(127);
}

int exitStatus(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Every folder from the root down to path lets others through.
bool othersReach(const std::string& path) {
  for (std::string p = path; !p.empty(); p = p.substr(0, p.find_last_of('/'))) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

TEST_F(CliTest, TheBuiltProgramSaysWhyAFolderCannotBeWritten) {
  std::string program = builtProgram();
  if (program.empty()) GTEST_SKIP() << "the quillmere program is not built";
  const std::string readOnly = home_.path() + "/read-only", tmp = home_.path() + "/tmp-any";
  ASSERT_TRUE(kit::FileManager::createDirectories(readOnly));
  ASSERT_TRUE(kit::FileManager::createDirectories(tmp));
  ::chmod(readOnly.c_str(), 0555);
  ::chmod(tmp.c_str(), 0777);
  ::chmod(home_.path().c_str(), 0755);
  // Permissions do not hold back the superuser: the program runs as nobody then, from a copy
  // with its resources where nobody may read them (the build may lie in a private folder).
  const bool asNobody = ::geteuid() == 0;
  std::map<std::string, std::optional<std::string>> env = {{"QUILLMERE_HOME", std::nullopt}, {"TMPDIR", tmp}};
  if (asNobody) {
    if (!othersReach(home_.path()))
      GTEST_SKIP() << "the user nobody cannot reach the temporary folder " << home_.path();
    const std::string copy = home_.path() + "/quillmere", resources = home_.path() + "/resources";
    ASSERT_TRUE(kit::FileManager::copy(program, copy));
    ASSERT_TRUE(kit::FileManager::copy(kit::AppPaths::resources(), resources));
    for (const std::string& item : kit::FileManager::listRecursively(resources).value_or(std::vector<std::string>{}))
      std::filesystem::permissions(resources + "/" + item, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
    std::filesystem::permissions(resources, std::filesystem::perms::others_all, std::filesystem::perm_options::add);
    ::chmod(copy.c_str(), 0755);
    program = copy;
    env["QUILL_RESOURCES"] = resources;
  }
  const std::string errFile = home_.path() + "/stderr.txt";
  const int errFd = ::open(errFile.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  const int inFd = ::open((kExamples + "garden.txt").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_TRUE(errFd >= 0 && inFd >= 0);
  const pid_t pid = start(program, {"render", "-", "-o", readOnly + "/map.png"}, env, errFd, inFd, asNobody);
  ::close(errFd);
  ::close(inFd);
  EXPECT_EQ(exitStatus(pid), 1);
  EXPECT_EQ(kit::FileManager::readText(errFile).value_or(""),
            "quillmere: cannot write '" + readOnly + "/map.png': Permission denied\n");
  EXPECT_TRUE(kit::FileManager::listDirectory(readOnly).value_or(std::vector<std::string>{"?"}).empty());
  EXPECT_TRUE(kit::FileManager::listDirectory(tmp).value_or(std::vector<std::string>{"?"}).empty());
}

// Whether the process has a file open in folder (the output it is writing, named or not).
bool writesInto(pid_t pid, const std::string& folder) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const std::string& fd : kit::FileManager::listDirectory(fds).value_or(std::vector<std::string>{})) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(fds + "/" + fd, ec).string();
    if (!ec && target.rfind(folder + "/", 0) == 0) return true;
  }
  return false;
}

TEST_F(CliTest, AnInterruptedProgramRemovesItsTemporaryFileAndHome) {
  const std::string program = builtProgram();
  if (program.empty()) GTEST_SKIP() << "the quillmere program is not built";
  std::string outline = "Big\n";
  for (int i = 0; i < 50; ++i) {
    outline += "\tBranch " + std::to_string(i) + "\n";
    for (int j = 0; j < 200; ++j) outline += "\t\tTopic " + std::to_string(i) + "." + std::to_string(j) + "\n";
  }
  ASSERT_TRUE(writeInput("big.txt", outline));
  const std::string tmp = home_.path() + "/tmp-run";
  ASSERT_TRUE(kit::FileManager::createDirectories(tmp));
  const int errFd = ::open((home_.path() + "/stderr.txt").c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(errFd, 0);
  auto startWriting = [&] {
    const pid_t pid = start(program, {"render", input("big.txt"), "-o", path("big.pdf")},
                            {{"QUILLMERE_HOME", std::nullopt}, {"TMPDIR", tmp}}, errFd);
    // Signalled once the PDF is being written.
    bool writing = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!writing && std::chrono::steady_clock::now() < until && ::waitpid(pid, nullptr, WNOHANG) == 0) {
      writing = writesInto(pid, dir);
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(writing);
    return pid;
  };
  // Ctrl-C, kill, a closed terminal, a reader gone from a pipe, Ctrl-\.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
    const pid_t pid = startWriting();
    ::kill(pid, signal);
    EXPECT_EQ(exitStatus(pid), 128 + signal);
    expectNoOutput();
    EXPECT_TRUE(kit::FileManager::listDirectory(tmp).value_or(std::vector<std::string>{"?"}).empty()) << signal;
  }
  // Killed outright, it leaves no part of the output behind; where the file system cannot hold
  // a file without a name, a later run removes the part once it is old.
  const pid_t killed = startWriting();
  ::kill(killed, SIGKILL);
  EXPECT_EQ(exitStatus(killed), 1000 + SIGKILL);
  for (const std::string& name : kit::FileManager::listDirectory(dir).value_or(std::vector<std::string>{})) {
    EXPECT_EQ(name.rfind("big.pdf.tmp-" + std::to_string(killed) + "-", 0), 0u) << name;
    const timespec old = {std::time(nullptr) - 7 * 3600, 0};
    const timespec times[2] = {old, old};
    ::utimensat(AT_FDCWD, path(name).c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  ::close(errFd);
  ASSERT_EQ(run({"render", kExamples + "garden.txt", "-o", path("big.pdf")}).status, 0);
  EXPECT_EQ(kit::FileManager::listDirectory(dir), std::vector<std::string>{"big.pdf"});
}

}  // namespace

// Nothing waits for ever: a map that comes through a pipe is read once, and settings that are a
// pipe or an endless device are passed over, said in a line.
TEST_F(CliTest, TheBuiltProgramReadsPipedMapsOnceAndPassesOverSettingsThatAreNoFile) {
  const std::string program = builtProgram();
  if (program.empty()) GTEST_SKIP() << "the quillmere program is not built";
  ASSERT_EQ(run({"render", kExamples + "garden.txt", "-o", input("garden.qlm")}).status, 0);
  const std::string fifo = input("piped.qlm"), map = "'" + input("garden.qlm") + "'";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string render = "timeout 20 '" + program + "' render ";
  const std::string prefs = kit::AppPaths::preferences() + "/quillmere.plist";
  const struct {
    std::string command, prefs, says;
  } cases[] = {
      {"cat " + map + " | " + render + "/dev/stdin -o '" + path("a.png") + "'", "", ""},
      {"(cat " + map + " > '" + fifo + "' &); sleep 0.3; " + render + "'" + fifo + "' -o '" + path("b.png") + "'", "", ""},
      {render + map + " -o '" + path("c.png") + "'", "fifo", "it is not a regular file"},
      {render + map + " -o '" + path("d.png") + "'", "/dev/zero", "it is not a regular file"},
  };
  for (const auto& c : cases) {
    ::unlink(prefs.c_str());
    const bool fifoPrefs = c.prefs == "fifo";
    ASSERT_TRUE(c.prefs.empty() || (fifoPrefs ? ::mkfifo(prefs.c_str(), 0600) : ::symlink(c.prefs.c_str(), prefs.c_str())) == 0);
    std::string err;
    EXPECT_EQ(shell(c.command, err, home_.path() + "/stderr.txt"), 0) << c.command << "\n" << err;
    EXPECT_NE(err.find(c.says.empty() ? "" : "settings file '" + prefs + "': " + c.says), std::string::npos) << err;
  }
  ::unlink(prefs.c_str());
}
