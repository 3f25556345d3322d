#include "kit/graphics/pdf_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <array>
#include <sstream>

#include "graphics_test_support.h"
#include "pdf_links.h"
#include "kit/graphics/image.h"

namespace kit {
namespace {

namespace fs = std::filesystem;
using test::near;
using test::px;

class PdfContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quill-pdf-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
  }
  // The output of a shell command.
  static std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  }
  // The document with its objects uncompressed and laid out one value per line.
  std::string qdf(const std::string& file) {
    std::string out = file + ".qdf";
    run("qpdf --qdf --object-streams=disable '" + file + "' '" + out + "' 2>&1");
    std::ifstream in(out, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool qpdfCheckPasses(const std::string& file) {
    return std::system(("qpdf --check '" + file + "' >/dev/null 2>&1").c_str()) == 0;
  }
  // The four numbers of each link annotation's /Rect, in PDF (y-up) page space.
  std::vector<std::array<double, 4>> linkRects(const std::string& file) {
    std::string text = qdf(file);
    std::vector<std::array<double, 4>> rects;
    for (size_t at = text.find("/Rect ["); at != std::string::npos; at = text.find("/Rect [", at + 1)) {
      std::istringstream in(text.substr(at + 7, 200));
      std::array<double, 4> r{};
      if (in >> r[0] >> r[1] >> r[2] >> r[3]) rects.push_back(r);
    }
    return rects;
  }
  // Page 1 rendered at 72 dpi on white paper.
  ImageRef render(const std::string& file) {
    std::string prefix = file + "-page";
    run("pdftoppm -r 72 -png -singlefile '" + file + "' '" + prefix + "' 2>&1");
    return Image::fromFile(prefix + ".png");
  }

  fs::path dir_;
};

TEST_F(PdfContextTest, WritesAValidFileWithALinkAnnotation) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("map.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 200, 100));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  GraphicsContext* g = pdf->context();
  ASSERT_TRUE(g);
  EXPECT_TRUE(g->isPdf());
  // The usual flip to a y-down space, then a link over a rectangle given in that space.
  g->translateCTM(0, 100);
  g->scaleCTM(1, -1);
  g->fillRect(Rect(10, 10, 30, 20));
  g->setURLForRect("http://example.com/a?b=1", Rect(10, 10, 30, 20));
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
  std::string text = qdf(file);
  EXPECT_NE(text.find("/Annots"), std::string::npos);
  EXPECT_NE(text.find("/URI (http://example.com/a?b=1)"), std::string::npos);
  auto rects = linkRects(file);
  ASSERT_EQ(rects.size(), 1u);
  // y-down 10..30 on a 100-point page is PDF y 70..90.
  EXPECT_NEAR(rects[0][0], 10, 0.01);
  EXPECT_NEAR(rects[0][1], 70, 0.01);
  EXPECT_NEAR(rects[0][2], 40, 0.01);
  EXPECT_NEAR(rects[0][3], 90, 0.01);
}

TEST_F(PdfContextTest, LinkRectanglesFollowTheCurrentTransform) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("moved.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 100, 100));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  GraphicsContext* g = pdf->context();
  g->translateCTM(0, 100);
  g->scaleCTM(1, -1);
  g->saveGState();
  g->translateCTM(50, 20);
  g->scaleCTM(0.5f, 0.5f);
  g->setURLForRect("mailto:someone@example.com", Rect(0, 0, 20, 40));  // -> y-down (50, 20, 10, 20)
  g->restoreGState();
  g->setURLForRect("http://example.com/", Rect(0, 0, 0, 10));  // empty: no annotation
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
  auto rects = linkRects(file);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_NEAR(rects[0][0], 50, 0.01);
  EXPECT_NEAR(rects[0][1], 60, 0.01);
  EXPECT_NEAR(rects[0][2], 60, 0.01);
  EXPECT_NEAR(rects[0][3], 80, 0.01);
}

// A link from someone else's map can hold anything; whatever it holds, each annotation stays a
// URI action whose address is the link, percent-encoded only where the string needs it.
TEST_F(PdfContextTest, HostileLinksStayUriActionsHoldingTheirAddress) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"http://e.com/x) >> /S /Launch /F (calc.exe) >> <<",
       "http://e.com/x%29%20%3E%3E%20/S%20/Launch%20/F%20(calc.exe)%20%3E%3E%20%3C%3C"},
      {"http://e.com/)/S/JavaScript/JS(app.alert(1)", "http://e.com/%29/S/JavaScript/JS%28app.alert(1)"},
      {"http://e.com/wiki/Tree_(graph)", "http://e.com/wiki/Tree_(graph)"},
      {"http://e.com/((a)", "http://e.com/%28(a)"},
      {"http://e.com/a\\", "http://e.com/a%5C"},
      {"http://e.com/a\\)b", "http://e.com/a%5C%29b"},
      {"http://e.com/it's\\'", "http://e.com/it's%5C'"},
      {"http://e.com/\"q\"<b>{|}^`", "http://e.com/%22q%22%3Cb%3E%7B%7C%7D%5E%60"},
      {"http://e.com/caf\xC3\xA9\x7F", "http://e.com/caf%C3%A9%7F"},
      {"http://e.com/a\nb\rc\td\x01", "http://e.com/a%0Ab%0Dc%09d%01"},
      {"mailto:a@e.com?subject=50%25", "mailto:a@e.com?subject=50%25"},
  };
  std::string file = path("hostile.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 100, 300));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  for (std::size_t i = 0; i < cases.size(); ++i)
    pdf->context()->setURLForRect(cases[i].first, Rect(0, 20 * float(i), 50, 10));
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
  test::PdfLinks found = test::readPdfLinks(file);
  ASSERT_TRUE(found.read);
  EXPECT_FALSE(found.otherActions);
  ASSERT_EQ(found.links.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(found.links[i].action, "/URI") << cases[i].first;
    EXPECT_EQ(found.links[i].uri, cases[i].second) << cases[i].first;
  }
}

TEST_F(PdfContextTest, PagesWithoutLinksAndSeveralPagesPassTheCheck) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("pages.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 100, 50));
  ASSERT_TRUE(pdf);
  for (int i = 0; i < 3; ++i) {
    pdf->beginPage();
    pdf->context()->fillRect(Rect(0, 0, 10, 10));
    if (i == 1) pdf->context()->setURLForRect("http://example.com/", Rect(0, 0, 10, 10));
  }
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
  EXPECT_EQ(run("qpdf --show-npages '" + file + "'"), "3\n");
  EXPECT_EQ(linkRects(file).size(), 1u);
}

// An opaque background over the whole page (or more) must not take the page's earlier content,
// its structure or its links with it.
TEST_F(PdfContextTest, AnOpaqueFillOfTheWholePageKeepsThePageWhole) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("background.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 200, 100));
  ASSERT_TRUE(pdf);
  for (const Rect& background : {Rect(0, 0, 200, 100), Rect(-50, -50, 400, 300)}) {
    pdf->beginPage();
    GraphicsContext* g = pdf->context();
    ASSERT_TRUE(g);
    g->translateCTM(0, 100);
    g->scaleCTM(1, -1);
    g->setFillColor(Color(0, 0, 1));
    g->fillRect(background);
    g->setFillColor(Color(1, 0, 0));
    g->drawText(Rect(10, 40, 80, 20), [](cairo_t* cr) {
      cairo_move_to(cr, 10, 55);
      cairo_set_font_size(cr, 14);
      cairo_show_text(cr, "Topic");
    });
    g->setURLForRect("http://example.com/topic", Rect(10, 40, 80, 20));
    // A second full-page fill after the content is drawn over it, not a fresh page.
    g->setFillColor(Color(0, 1, 0, 0.5f));
    g->fillRect(background);
  }
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
  EXPECT_EQ(linkRects(file).size(), 2u);
  if (!have("pdftoppm")) return;
  ImageRef img = render(file);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, 150, 80), 0, 128, 128, 255, 12));  // blue under half-green, to the edge
  EXPECT_TRUE(near(px(img, 199, 99), 0, 128, 128, 255, 12));
  EXPECT_TRUE(near(px(img, 0, 0), 0, 128, 128, 255, 12));
}

TEST_F(PdfContextTest, BaseSpaceIsYUpFromTheBottomLeft) {
  if (!have("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  std::string file = path("yup.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 100, 100));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  pdf->context()->setFillColor(Color(1, 0, 0));
  pdf->context()->fillRect(Rect(0, 0, 20, 20));
  EXPECT_TRUE(pdf->context()->getCTM().isIdentity());
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  ImageRef img = render(file);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, 10, 90), 255, 0, 0, 255, 8));    // bottom left
  EXPECT_TRUE(near(px(img, 10, 10), 255, 255, 255, 255));   // top left stays paper white
  EXPECT_TRUE(near(px(img, 90, 50), 255, 255, 255, 255));
}

TEST_F(PdfContextTest, ShadowsAndImagesRenderOnAPage) {
  if (!have("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  std::string file = path("shadow.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 100, 100));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  GraphicsContext* g = pdf->context();
  g->translateCTM(0, 100);
  g->scaleCTM(1, -1);
  // The platform's PDF shadow offset (3, -3) in the y-up base falls down-right.
  g->setShadow(Size(6, -6), 0, Color::black());
  g->setFillColor(Color(0, 0, 1));
  g->fillRect(Rect(10, 10, 30, 30));
  g->setShadow(Size(), 0, std::nullopt);
  ImageRef red = test::drawImage(2, 2, [](GraphicsContext& c) {
    c.setFillColor(Color(1, 0, 0));
    c.fillRect(Rect(0, 0, 2, 2));
  });
  g->drawImage(*red, Rect(60, 10, 20, 20));
  g->drawImage(*red, Rect(60, 40, 20, 10), BlendMode::Normal, 0.5f);
  g->setFillColor(Color::patternImage(red));
  g->fillRect(Rect(60, 70, 20, 20));
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  if (have("qpdf")) {
    EXPECT_TRUE(qpdfCheckPasses(file));
  }
  ImageRef img = render(file);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, 70, 20), 255, 0, 0, 255, 8));
  EXPECT_TRUE(near(px(img, 70, 45), 255, 128, 128, 255, 10));
  EXPECT_TRUE(near(px(img, 70, 80), 255, 0, 0, 255, 8));
  EXPECT_TRUE(near(px(img, 25, 25), 0, 0, 255, 255, 8));
  EXPECT_TRUE(near(px(img, 43, 43), 0, 0, 0, 255, 8));      // shadow below right
  EXPECT_TRUE(near(px(img, 7, 7), 255, 255, 255, 255, 8));  // nothing above left
}

TEST_F(PdfContextTest, NothingIsLeftWhenTheDocumentIsNotClosed) {
  std::string file = path("abandoned.pdf");
  {
    auto pdf = PdfContext::create(file, Rect(0, 0, 100, 100));
    ASSERT_TRUE(pdf);
    pdf->beginPage();
    pdf->context()->fillRect(Rect(0, 0, 10, 10));
  }
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(fs::is_empty(dir_));  // no temporary file either
}

TEST_F(PdfContextTest, AnExistingFileIsReplacedOnlyOnSuccess) {
  std::string file = path("keep.pdf");
  std::ofstream(file) << "old";
  {
    auto pdf = PdfContext::create(file, Rect(0, 0, 10, 10));
    ASSERT_TRUE(pdf);
    pdf->beginPage();
  }
  std::ifstream in(file);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "old");
  auto pdf = PdfContext::create(file, Rect(0, 0, 10, 10));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  EXPECT_TRUE(pdf->close());
  EXPECT_TRUE(pdf->close());  // idempotent
  std::ifstream again(file, std::ios::binary);
  std::string head(5, '\0');
  again.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
}

TEST_F(PdfContextTest, UnwritablePlacesAndEmptyBoundsFailCleanly) {
  EXPECT_EQ(PdfContext::create(path("missing/folder/x.pdf"), Rect(0, 0, 10, 10)), nullptr);
  EXPECT_EQ(PdfContext::create(path("empty.pdf"), Rect(0, 0, 0, 10)), nullptr);
  EXPECT_EQ(PdfContext::create(path("nan.pdf"), Rect(0, 0, NAN, 10)), nullptr);
  EXPECT_EQ(PdfContext::create("", Rect(0, 0, 10, 10)), nullptr);
  EXPECT_FALSE(fs::exists(path("empty.pdf")));
}

TEST_F(PdfContextTest, PlatformStyleCallsUseTheCurrentContext) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("calls.pdf");
  ASSERT_TRUE(beginPDFContextToFile(file, Rect(0, 0, 100, 100)));
  EXPECT_EQ(currentContext(), nullptr);  // no page yet
  beginPDFPage();
  ASSERT_NE(currentContext(), nullptr);
  currentContext()->fillRect(Rect(0, 0, 10, 10));
  setPDFContextURLForRect("http://example.com/", Rect(0, 0, 10, 10));
  EXPECT_TRUE(endPDFContext());
  EXPECT_EQ(currentContext(), nullptr);
  EXPECT_FALSE(endPDFContext());
  EXPECT_TRUE(qpdfCheckPasses(file));
  EXPECT_EQ(linkRects(file).size(), 1u);
}

TEST_F(PdfContextTest, ManyShapesOnOnePageStayValid) {
  if (!have("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  std::string file = path("many.pdf");
  auto pdf = PdfContext::create(file, Rect(0, 0, 3000, 3000));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  GraphicsContext* g = pdf->context();
  for (int i = 0; i < 5000; ++i) {
    g->setFillColor(Color((i % 7) / 7.0f, 0, 1));
    g->fillRect(Rect((i % 100) * 30.0f, (i / 100) * 30.0f, 20, 20));
    g->setStrokeColor(Color::black());
    g->strokeRect(Rect((i % 100) * 30.0f, (i / 100) * 30.0f, 20, 20));
  }
  // One badge image on many shapes.
  ImageRef badge = test::drawImage(16, 16, [](GraphicsContext& c) { c.fillEllipseInRect(Rect(0, 0, 16, 16)); });
  for (int i = 0; i < 200; ++i) g->drawImage(*badge, Rect(i * 14.0f, 5, 16, 16), BlendMode::Normal, i % 2 ? 1.0f : 0.5f);
  pdf->endPage();
  ASSERT_TRUE(pdf->close());
  EXPECT_TRUE(qpdfCheckPasses(file));
}

}  // namespace
}  // namespace kit
