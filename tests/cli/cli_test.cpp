// The quillmere command: rendering the examples to every output, reading standard input, the
// options, the messages and exit statuses for bad input and command lines, that a failure
// leaves no file, and that the command keeps out of the user's home.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/graphics/pdf_links.h"
#include "kit/testing/fixtures.h"

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
  // Without the option no page is written, whatever the settings held before.
  ASSERT_EQ(run({"render", input("links.xml"), "-o", path("plain.png")}).status, 0);
  EXPECT_FALSE(kit::FileManager::exists(path("plain.html")));
  // The PDF carries the link.
  ASSERT_EQ(run({"render", input("links.xml"), "-o", path("links.pdf")}).status, 0);
  EXPECT_NE(kit::FileManager::readText(path("links.pdf")).value_or("").find("/URI (https://example.org/site)"),
            std::string::npos);
}

// Links in someone else's map cannot break out of their annotation into another action.
TEST_F(CliTest, HostileLinksInAMapStayUriActions) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  ASSERT_TRUE(writeInput("hostile.xml",
                         "<QuillmereRelative version=\"1\"><topic level=\"0\" text=\"Hub\"/>"
                         "<topic level=\"1\" text=\"A\" link=\"https://e.org/a)&gt;&gt;/S/Launch/F(calc.exe)\"/>"
                         "<topic level=\"1\" text=\"B\" link=\"https://e.org/b\\\"/>"
                         "<topic level=\"1\" text=\"C\" link=\"https://e.org/c(/S/JavaScript\"/>"
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
                                            "https://e.org/c%28/S/JavaScript"}));
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
  EXPECT_LE(small->pixelWidth() * small->pixelHeight(), 40000 + small->pixelWidth() + small->pixelHeight() + 1);
  // The cut keeps the whole map's proportions.
  EXPECT_NEAR(double(small->pixelWidth()) / small->pixelHeight(), double(black->pixelWidth()) / black->pixelHeight(), 0.05);
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

TEST_F(CliTest, UnwritableOutputFailsAndLeavesNothing) {
  Result r = run({"render", kExamples + "garden.txt", "-o", dir + "/missing/garden.png"});
  EXPECT_EQ(r.status, 1);
  expectOneLineMessage(r, "no such folder");
  ASSERT_TRUE(kit::FileManager::createDirectories(dir + "/taken.png"));
  Result taken = run({"render", kExamples + "garden.txt", "-o", dir + "/taken.png"});
  EXPECT_EQ(taken.status, 1);
  expectOneLineMessage(taken, "folder");
}

// ---- The user's home --------------------------------------------------------------------------

TEST_F(CliTest, WithoutQuillmereHomeNothingIsWrittenIntoTheUsersHome) {
  const std::string fakeHome = home_.path() + "/user", tmp = home_.path() + "/tmp-run";
  ASSERT_TRUE(kit::FileManager::createDirectories(fakeHome));
  ASSERT_TRUE(kit::FileManager::createDirectories(tmp));
  const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
  const std::string savedQuillHome = getenv("QUILLMERE_HOME");
  const char* savedTmp = getenv("TMPDIR");
  const std::string savedTmpValue = savedTmp ? savedTmp : "";
  setenv("HOME", fakeHome.c_str(), 1);
  setenv("TMPDIR", tmp.c_str(), 1);
  unsetenv("QUILLMERE_HOME");
  kit::UserDefaults::resetStandard();

  Result r = run({"render", kExamples + "trip.opml", "-o", path("trip.png"), "--transparent", "--html-map"});

  const bool quillHomeStayedUnset = getenv("QUILLMERE_HOME") == nullptr;
  setenv("HOME", savedHome.c_str(), 1);
  if (savedTmp) setenv("TMPDIR", savedTmpValue.c_str(), 1);
  else unsetenv("TMPDIR");
  setenv("QUILLMERE_HOME", savedQuillHome.c_str(), 1);
  kit::UserDefaults::resetStandard();

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(quillHomeStayedUnset);
  EXPECT_TRUE(kit::FileManager::listDirectory(fakeHome).value_or(std::vector<std::string>{"?"}).empty());
  // The run's own home is gone too.
  EXPECT_TRUE(kit::FileManager::listDirectory(tmp).value_or(std::vector<std::string>{"?"}).empty());
  EXPECT_TRUE(kit::FileManager::exists(path("trip.png")));
}

TEST_F(CliTest, ANamedHomeKeepsItsOwnSettings) {
  kit::UserDefaults::standard().setBool("export_options_transparent_background", true);
  kit::UserDefaults::standard().setString("export_options_png_include_html_map", "kept");
  ASSERT_EQ(run({"render", kExamples + "thesis.txt", "-o", path("t.png")}).status, 0);
  // The command line said opaque and no page: so it was, and the settings are back.
  EXPECT_FALSE(kit::FileManager::exists(path("t.html")));
  EXPECT_EQ(kit::Image::fromFile(path("t.png"))->pixelAt(1, 1)->alpha, 255);
  EXPECT_TRUE(kit::UserDefaults::standard().boolForKey("export_options_transparent_background"));
  EXPECT_EQ(kit::UserDefaults::standard().stringForKey("export_options_png_include_html_map").value_or(""), "kept");
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
  EXPECT_FALSE(kit::FileManager::exists(path("nope.png")));
  EXPECT_FALSE(kit::FileManager::exists(path("x.gif")));
}

}  // namespace
