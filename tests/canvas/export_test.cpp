// Screenshots and image export: the rectangle rendered, which extensions write what, the files'
// contents (size, background, watermark, PDF links and validity), the HTML image map page, the
// selection around a save, maps too large for one bitmap, and the external display's drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "canvas/drawing_test_support.h"
#include "kit/core/files.h"
#include "kit/core/format.h"
#include "kit/core/notification_center.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_strips.h"
#include "kit/graphics/graphics_test_support.h"

using kit::Point;
using kit::Rect;

namespace {

class ExportTest : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    root = make(nullptr, {}, "Central");
    c = root->center();
    right = make(root, Point(c.x + 300, c.y - 60), "Right");
    left = make(root, Point(c.x - 300, c.y + 60), "Left");
    dir = home_.path() + "/out";
    ASSERT_TRUE(kit::FileManager::createDirectories(dir));
  }
  void TearDown() override {
    kit::UserDefaults::standard().removeObjectForKey("export_options_transparent_background");
    kit::UserDefaults::standard().removeObjectForKey("export_options_png_include_html_map");
    DrawingTest::TearDown();
  }

  // The whole map, uncapped.
  Rect wholeMap() { return canvas->getAdjustedScreenshotRect(INFINITY); }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  static bool exists(const std::string& p) { return kit::FileManager::exists(p); }
  // The pixel of an unscaled export of r at canvas point p.
  static kit::Pixel pixelAt(const kit::ImageRef& img, const Rect& r, Point p) {
    auto px = img->pixelAt(static_cast<int>(p.x - r.minX()), static_cast<int>(p.y - r.minY()));
    return px.value_or(kit::Pixel{1, 2, 3, 4});
  }
  // A point of the topic's fill, clear of its text and badges.
  static Point fillPoint(NodeView* n) {
    const Rect f = n->frame();
    return Point(f.minX() + n->nodeRect().minX() + 5, f.minY() + n->nodeRect().midY());
  }

  NodeView* root = nullptr;
  NodeView* right = nullptr;
  NodeView* left = nullptr;
  Point c;
  std::string dir;
};

bool isWhite(const kit::Pixel& p) { return p.red == 255 && p.green == 255 && p.blue == 255 && p.alpha == 255; }

// ---- The rectangle to render --------------------------------------------------------------------

TEST_F(ExportTest, SmallMapGivesItsBoundsPlusTwentyPointsUnscaled) {
  const Rect bounds = root->getBranchBoundingRectForAll();
  const Rect r = canvas->getAdjustedScreenshotRect(1e12f);
  EXPECT_EQ(r, bounds.insetBy(-20, -20));
  // A cap exactly at the area still leaves it whole.
  EXPECT_EQ(canvas->getAdjustedScreenshotRect(r.width() * r.height()), r);
}

TEST_F(ExportTest, MapOverTheCapKeepsItsProportionsAndTheRootsPlace) {
  const Rect whole = wholeMap();
  const float cap = whole.width() * whole.height() / 4;
  const Rect r = canvas->getAdjustedScreenshotRect(cap);
  EXPECT_NEAR(r.width(), whole.width() / 2, 0.01f);
  EXPECT_NEAR(r.height(), whole.height() / 2, 0.01f);
  EXPECT_NEAR(r.width() * r.height(), cap, cap * 1e-4f);
  EXPECT_NEAR((c.x - r.minX()) / r.width(), (c.x - whole.minX()) / whole.width(), 1e-4f);
  EXPECT_NEAR((c.y - r.minY()) / r.height(), (c.y - whole.minY()) / whole.height(), 1e-4f);
  EXPECT_TRUE(r.contains(c));
}

TEST_F(ExportTest, RectangleReachesRelationshipHandles) {
  // A handle far below the map widens the render so that the curve's handle is in it.
  canvas->createRelationshipBetweenNode(right, 1, left, 1, Point(0, 900), RGB255{0, 255, 0});
  const Rect r = wholeMap();
  EXPECT_GT(r.maxY(), root->getBranchBoundingRectForAll().maxY() + 500);
}

TEST_F(ExportTest, WithoutAMapThereIsNothingToRender) {
  canvas->removeNode(root);
  EXPECT_TRUE(canvas->getAdjustedScreenshotRect(1e6f).isNull());
  EXPECT_FALSE(canvas->saveScreenshotToFile(path("empty.png"), 1e6f));
  EXPECT_FALSE(exists(path("empty.png")));
}

// ---- Which extensions write what ------------------------------------------------------------------

TEST_F(ExportTest, UpperCasePNGIsPNGAndDecodesToTheRectanglesSize) {
  const Rect r = wholeMap();
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("MAP.PNG"), r, std::nullopt));
  kit::ImageRef img = kit::Image::fromFile(path("MAP.PNG"));
  ASSERT_TRUE(img);
  auto bytes = kit::FileManager::readFile(path("MAP.PNG"));
  ASSERT_TRUE(bytes && bytes->size() > 8);
  EXPECT_EQ((*bytes)[1], 'P');  // a PNG signature, not a JPEG
  EXPECT_EQ(img->pixelWidth(), static_cast<int>(std::ceil(r.width())));
  EXPECT_EQ(img->pixelHeight(), static_cast<int>(std::ceil(r.height())));
  // Not blank: the topics are drawn where they are on the canvas.
  EXPECT_FALSE(isWhite(pixelAt(img, r, fillPoint(right))));
  EXPECT_TRUE(isWhite(pixelAt(img, r, Point(r.minX() + 2, r.minY() + 2))));
}

TEST_F(ExportTest, JpgWritesAJpeg) {
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("map.jpg"), wholeMap(), std::nullopt));
  auto bytes = kit::FileManager::readFile(path("map.jpg"));
  ASSERT_TRUE(bytes && bytes->size() > 2);
  EXPECT_EQ((*bytes)[0], 0xFF);
  EXPECT_EQ((*bytes)[1], 0xD8);
}

TEST_F(ExportTest, OtherExtensionsWriteNoFileAtAll) {
  kit::UserDefaults::standard().setBool("export_options_png_include_html_map", true);
  for (const char* name : {"map.jpeg", "map.gif", "map.png.txt", "map", "map.svg"}) {
    EXPECT_FALSE(canvas->saveScreenshotToFile(path(name), wholeMap(), std::nullopt)) << name;
    EXPECT_FALSE(exists(path(name))) << name;
  }
  auto names = kit::FileManager::listDirectory(dir);
  ASSERT_TRUE(names);
  EXPECT_TRUE(names->empty());
}

TEST_F(ExportTest, FailedSaveLeavesThePreviousFileAndNoTemporaryOne) {
  ASSERT_TRUE(kit::FileManager::writeAtomically(path("keep.png"), std::string_view("old")));
  EXPECT_FALSE(canvas->saveScreenshotToFile(path("keep.png"), Rect(0, 0, 0, 0), std::nullopt));
  EXPECT_EQ(kit::FileManager::readText(path("keep.png")).value_or(""), "old");
  EXPECT_FALSE(canvas->saveScreenshotToFile(dir + "/missing/map.png", wholeMap(), std::nullopt));
  EXPECT_FALSE(canvas->saveScreenshotToFile(dir + "/missing/map.pdf", wholeMap(), std::nullopt));
  auto names = kit::FileManager::listDirectory(dir);
  ASSERT_TRUE(names);
  EXPECT_EQ(names->size(), 1u);
}

TEST_F(ExportTest, NilPathSavesEachPictureToThePhotoAlbum) {
  kit::UserDefaults::standard().setBool("export_options_png_include_html_map", true);
  ASSERT_TRUE(canvas->saveScreenshotToFile(std::nullopt, wholeMap(), std::nullopt));
  ASSERT_TRUE(canvas->saveScreenshotToFile(std::nullopt, wholeMap(), std::nullopt));
  auto names = kit::FileManager::listDirectory(home_.path() + "/Photos");
  ASSERT_TRUE(names);
  ASSERT_EQ(names->size(), 2u);
  for (const std::string& n : *names) {
    EXPECT_TRUE(n.ends_with(".png")) << n;
    EXPECT_TRUE(kit::Image::fromFile(home_.path() + "/Photos/" + n)) << n;
  }
}

// ---- Background and watermark ---------------------------------------------------------------------

TEST_F(ExportTest, TransparencyLeavesTheBackgroundUnfilled) {
  const Rect r = wholeMap();
  kit::UserDefaults::standard().setBool("export_options_transparent_background", true);
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("clear.png"), r, std::nullopt));
  kit::ImageRef img = kit::Image::fromFile(path("clear.png"));
  ASSERT_TRUE(img);
  EXPECT_EQ(pixelAt(img, r, Point(r.minX() + 2, r.minY() + 2)).alpha, 0);
  EXPECT_EQ(pixelAt(img, r, fillPoint(root)).alpha, 255);
}

TEST_F(ExportTest, WatermarkIsDrawnBelowTheRootInGrey) {
  // Nothing lies below the root's right half but the watermark.
  canvas->removeNode(right);
  canvas->removeNode(left);
  const Rect r = wholeMap().insetBy(0, -60);
  const Rect below(c.x, root->frame().maxY(), 200, 40);
  auto greyPixels = [&](const kit::ImageRef& img) {
    int n = 0;
    for (float y = below.minY(); y < below.maxY() && y < r.maxY(); y += 1)
      for (float x = below.minX(); x < below.maxX() && x < r.maxX(); x += 1) {
        kit::Pixel p = pixelAt(img, r, Point(x, y));
        if (p.red < 250 && p.red == p.green && p.green == p.blue) ++n;
      }
    return n;
  };
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("plain.png"), r, std::nullopt));
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("marked.png"), r, std::string("Draft")));
  EXPECT_EQ(greyPixels(kit::Image::fromFile(path("plain.png"))), 0);
  EXPECT_GT(greyPixels(kit::Image::fromFile(path("marked.png"))), 20);
}

// ---- The selection around a save ----------------------------------------------------------------

TEST_F(ExportTest, SelectionIsRestoredAnnouncedAndNotDrawn) {
  // A saturated colour, so that a selection highlight would show.
  right->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
  const Rect r = wholeMap();
  canvas->setSelectedNode(nullptr, false);
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("unselected.png"), r, std::nullopt));

  canvas->setSelectedNode(right, false);
  int posts = 0;
  const void* announced = nullptr;
  int owner = 0;
  kit::NotificationCenter::defaultCenter().addObserver(&owner, "NM_SELECTION_CHANGED", nullptr,
                                                       [&](const kit::Notification& n) {
                                                         ++posts;
                                                         announced = n.object;
                                                       });
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("selected.png"), r, std::nullopt));
  // Also after a save that writes nothing.
  EXPECT_FALSE(canvas->saveScreenshotToFile(path("selected.jpeg"), r, std::nullopt));
  kit::NotificationCenter::defaultCenter().removeObserver(&owner);

  EXPECT_EQ(canvas->selectedNode(), right);
  EXPECT_TRUE(right->isSelected());
  EXPECT_EQ(posts, 2);
  EXPECT_EQ(announced, right);
  // The selected topic is exported as if it were not selected.
  auto a = kit::Image::fromFile(path("unselected.png"));
  auto b = kit::Image::fromFile(path("selected.png"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(pixelAt(a, r, fillPoint(right)), pixelAt(b, r, fillPoint(right)));
}

// ---- PDF ----------------------------------------------------------------------------------------

TEST_F(ExportTest, PdfHasALinkAnnotationPerLinkedTopicAndPassesQpdf) {
  right->setStrLink("https://example.org/right");
  left->setStrLink("not a link");
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("map.PDF"), wholeMap(), std::nullopt));
  std::string pdf = kit::FileManager::readText(path("map.PDF")).value_or("");
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_NE(pdf.find("/URI (https://example.org/right)"), std::string::npos);
  std::size_t uris = 0;
  for (std::size_t p = pdf.find("/S /URI"); p != std::string::npos; p = pdf.find("/S /URI", p + 1)) ++uris;
  EXPECT_EQ(uris, 1u);

  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  const std::string cmd = "qpdf --check '" + path("map.PDF") + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST_F(ExportTest, PdfPageIsTheRectangleAndTransparencySkipsTheFill) {
  const Rect r = wholeMap();
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("filled.pdf"), r, std::nullopt));
  kit::UserDefaults::standard().setBool("export_options_transparent_background", true);
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("clear.pdf"), r, std::nullopt));
  const std::string filled = kit::FileManager::readText(path("filled.pdf")).value_or("");
  const std::string clear = kit::FileManager::readText(path("clear.pdf")).value_or("");
  // The page's width and height, as the file's media box gives them.
  auto pageSize = [](const std::string& pdf) {
    std::size_t p = pdf.find("/MediaBox [");
    if (p == std::string::npos) return kit::Size();
    std::vector<double> v;
    std::size_t at = p + 11;
    for (int i = 0; i < 4; ++i) {
      at = pdf.find_first_not_of(' ', at);
      if (at == std::string::npos) return kit::Size();
      v.push_back(kit::parseDouble(std::string_view(pdf).substr(at, 20)));
      at = pdf.find(' ', at);
    }
    return kit::Size(static_cast<float>(v[2] - v[0]), static_cast<float>(v[3] - v[1]));
  };
  for (const std::string* pdf : {&filled, &clear}) {
    EXPECT_NEAR(pageSize(*pdf).width, r.width(), 0.01);
    EXPECT_NEAR(pageSize(*pdf).height, r.height(), 0.01);
  }
  EXPECT_LT(clear.size(), filled.size());
}

// ---- Maps too large for one bitmap ------------------------------------------------------------

TEST_F(ExportTest, MapTallerThanABitmapIsWrittenAtFullScaleInStrips) {
  NodeView* far = make(root, Point(c.x + 300, c.y + 34000), "Far below");
  NodeView* across = make(root, Point(c.x + 300, c.y + 5000), "Across");
  // The image goes in strips of as many rows as a strip's bytes hold: the topic moves onto the
  // first boundary between two strips.
  Rect r = wholeMap();
  const int rows = static_cast<int>(kit::StripImage().stripBytes / (static_cast<std::size_t>(std::ceil(r.width())) * 4));
  across->setCenter(Point(across->center().x, r.minY() + rows));
  ASSERT_EQ(wholeMap(), r);
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("tall.png"), r, std::nullopt));
  auto bytes = kit::FileManager::readFile(path("tall.png"));
  ASSERT_TRUE(bytes);
  std::optional<kit::test::DecodedPng> png = kit::test::decodePng(*bytes);
  ASSERT_TRUE(png);
  // One pixel a point.
  ASSERT_GT(png->height, kit::kMaxImageSide);
  EXPECT_EQ(png->width, static_cast<int>(std::ceil(r.width())));
  EXPECT_EQ(png->height, static_cast<int>(std::ceil(r.height())));
  EXPECT_FALSE(png->alpha);
  auto at = [&](Point p) { return png->at(static_cast<int>(p.x - r.minX()), static_cast<int>(p.y - r.minY())); };
  EXPECT_FALSE(isWhite(at(fillPoint(far))));
  EXPECT_FALSE(isWhite(at(fillPoint(left))));
  EXPECT_TRUE(isWhite(at(Point(r.maxX() - 1, r.maxY() - 1))));
  // Around the boundary the pixels are those of one bitmap drawn the same way.
  const Rect band(r.minX(), r.minY() + rows - 16, r.width(), 32);
  kit::ImageRef direct = render(band, [&](kit::GraphicsContext& g) {
    g.setFillColor(kit::Color::white());
    g.fillRect(band);
    canvas->drawInContext(g, 2, band);
    g.translateCTM(band.minX(), band.minY());
    root->drawNodeAndChildrenInRect(band, true, g, 2);
  });
  ASSERT_TRUE(direct);
  int differing = 0, drawn = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < png->width; ++x) {
      const kit::Pixel p = png->at(x, rows - 16 + y), q = *direct->pixelAt(x, y);
      if (std::abs(p.red - q.red) > 1 || std::abs(p.green - q.green) > 1 || std::abs(p.blue - q.blue) > 1) ++differing;
      if (!isWhite(p)) ++drawn;
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(drawn, 1000);
}

TEST_F(ExportTest, OnlyAJpegSideOverItsFormatsLimitScalesTheMap) {
  make(right, Point(c.x + 70000, c.y), "Far away");
  const Rect r = wholeMap();
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("wide.jpg"), r, std::nullopt));
  auto bytes = kit::FileManager::readFile(path("wide.jpg"));
  ASSERT_TRUE(bytes);
  // The frame header's height and width.
  const std::vector<std::uint8_t>& b = *bytes;
  std::size_t sof = 2;
  while (sof + 9 < b.size() && !(b[sof] == 0xFF && b[sof + 1] == 0xC0)) sof += 2 + (b[sof + 2] << 8 | b[sof + 3]);
  ASSERT_LT(sof + 9, b.size());
  const int height = b[sof + 5] << 8 | b[sof + 6], width = b[sof + 7] << 8 | b[sof + 8];
  EXPECT_EQ(width, 65500);
  EXPECT_NEAR(height, r.height() * 65500 / r.width(), 1.0);
}

TEST_F(ExportTest, PdfOfAMapTallerThanAPageIsScaledToFitWithItsLinks) {
  NodeView* far = make(root, Point(c.x + 300, c.y + 20000), "Far below");
  far->setStrLink("https://example.org/far");
  right->setStrLink("https://example.org/right");
  const Rect r = wholeMap();
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("tall.pdf"), r, std::nullopt));
  const std::string pdf = kit::FileManager::readText(path("tall.pdf")).value_or("");
  // The numbers after a key, up to the closing bracket.
  auto numbers = [&](std::size_t at) {
    std::vector<double> v;
    std::istringstream in(pdf.substr(at, 200));
    double d;
    while (in >> d) v.push_back(d);
    return v;
  };
  const std::size_t box = pdf.find("/MediaBox [");
  ASSERT_NE(box, std::string::npos);
  const std::vector<double> page = numbers(box + 11);
  ASSERT_GE(page.size(), 4u);
  const double k = 14400 / r.height();
  EXPECT_NEAR(page[3] - page[1], 14400, 0.01);
  EXPECT_NEAR(page[2] - page[0], r.width() * k, 0.01);
  // Each link rectangle lies over its topic's shape, scaled with the page (PDF space is y-up).
  int links = 0;
  for (std::size_t at = pdf.find("/Rect ["); at != std::string::npos; at = pdf.find("/Rect [", at + 1)) {
    const std::vector<double> v = numbers(at + 7);
    ASSERT_GE(v.size(), 4u);
    const std::size_t uri = pdf.find("/URI (", at);
    NodeView* n = pdf.compare(uri + 6, 23, "https://example.org/far") == 0 ? far : right;
    const Rect shape = n->nodeRect().offsetBy(n->frame().minX(), n->frame().minY());
    EXPECT_NEAR(v[0], (shape.minX() - r.minX()) * k, 1.0);
    EXPECT_NEAR(v[2], (shape.maxX() - r.minX()) * k, 1.0);
    EXPECT_NEAR(v[1], (r.maxY() - shape.maxY()) * k, 1.0);
    EXPECT_NEAR(v[3], (r.maxY() - shape.minY()) * k, 1.0);
    ++links;
  }
  EXPECT_EQ(links, 2);

  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  const std::string cmd = "qpdf --check '" + path("tall.pdf") + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

// ---- The HTML image map page ---------------------------------------------------------------------

TEST_F(ExportTest, HtmlPageGoesBesideAPngOnlyWhenTheSettingHoldsAValue) {
  right->setStrLink("https://example.org/r?a=1&b=2");
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("a.png"), wholeMap(), std::nullopt));
  EXPECT_FALSE(exists(path("a.html")));
  // Any value counts, even NO.
  kit::UserDefaults::standard().setBool("export_options_png_include_html_map", false);
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("b.png"), wholeMap(), std::nullopt));
  ASSERT_TRUE(exists(path("b.html")));
  ASSERT_TRUE(canvas->saveScreenshotToFile(path("c.jpg"), wholeMap(), std::nullopt));
  EXPECT_FALSE(exists(path("c.html")));
  const std::string html = kit::FileManager::readText(path("b.html")).value_or("");
  EXPECT_NE(html.find("<img src=\"Map.png\" class=\"map\" usemap=\"#mapmap\">"), std::string::npos);
  EXPECT_NE(html.find("href=\"https://example.org/r?a=1&amp;b=2\""), std::string::npos);
}

TEST_F(ExportTest, AnImageWhosePageCannotBeWrittenIsNotWrittenEither) {
  kit::UserDefaults::standard().setBool("export_options_png_include_html_map", true);
  ASSERT_TRUE(kit::FileManager::createDirectories(path("new.html")));
  EXPECT_FALSE(canvas->saveScreenshotToFile(path("new.png"), wholeMap(), std::nullopt));
  EXPECT_FALSE(exists(path("new.png")));
  // An older image stays as it was.
  ASSERT_TRUE(kit::FileManager::writeAtomically(path("old.png"), std::string_view("old")));
  ASSERT_TRUE(kit::FileManager::createDirectories(path("old.html")));
  EXPECT_FALSE(canvas->saveScreenshotToFile(path("old.png"), wholeMap(), std::nullopt));
  EXPECT_EQ(kit::FileManager::readText(path("old.png")).value_or(""), "old");
  EXPECT_EQ(kit::FileManager::listDirectory(dir), (std::vector<std::string>{"new.html", "old.html", "old.png"}));
}

TEST_F(ExportTest, HtmlPageHasTheHeadTheAreasAndTheTailInOrder) {
  const Rect r = wholeMap();
  const std::string html = canvas->createHTMLImageMapFor("My map <1>", r);
  const std::string head = "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n"
                           "<title>My%20map%20%3C1%3E</title>\n\n\n<!--";
  EXPECT_EQ(html.rfind(head, 0), 0u);
  const std::size_t scripts = html.find("-->\n\n<script type=\"text/javascript\" src=\"jquery.min.js\"></script>\n"
                                        "<script type=\"text/javascript\" src=\"jquery.metadata.min.js\"></script>\n"
                                        "<script type=\"text/javascript\" src=\"jquery.maphilight.js\"></script>\n");
  EXPECT_NE(scripts, std::string::npos);
  const std::size_t body = html.find("</head>\n<body>\n<img src=\"My%20map%20%3C1%3E.png\" class=\"map\" "
                                     "usemap=\"#mapmap\">\n<map name=\"mapmap\">\n\n<area ");
  EXPECT_NE(body, std::string::npos);
  EXPECT_GT(body, scripts);
  std::size_t areas = 0;
  for (std::size_t p = html.find("<area "); p != std::string::npos; p = html.find("<area ", p + 1)) ++areas;
  EXPECT_EQ(areas, 3u);
  EXPECT_TRUE(html.ends_with("</map>\n</body>\n</html>\n"));
  // Only the topics inside the rectangle.
  const Rect rightOnly = right->frame().insetBy(-5, -5);
  const std::string some = canvas->createHTMLImageMapFor("m", rightOnly);
  EXPECT_NE(some.find("<!-- Right -->"), std::string::npos);
  EXPECT_EQ(some.find("<!-- Left -->"), std::string::npos);
}

TEST_F(ExportTest, HtmlPageOfAScaledImageShowsItAtTheRectanglesSize) {
  const Rect big(0, 0, 1200000, 300);
  EXPECT_NE(canvas->createHTMLImageMapFor("m", big).find("usemap=\"#mapmap\" width=\"1200000\" height=\"300\">"),
            std::string::npos);
  EXPECT_NE(canvas->createHTMLImageMapFor("m", wholeMap()).find("usemap=\"#mapmap\">"), std::string::npos);
}

// ---- The external display -------------------------------------------------------------------------

TEST_F(ExportTest, DumpToContextDrawsTheMapIntoTheClipBox) {
  const Rect region = wholeMap();
  auto ic = kit::ImageContext::create(region.size);
  ASSERT_TRUE(ic);
  kit::GraphicsContext& g = ic->context();
  g.translateCTM(-region.minX(), -region.minY());
  // Only the right half of the map is to be drawn.
  g.clipToRect(Rect(c.x, region.minY(), region.maxX() - c.x, region.height()));
  canvas->dumpToContext(g);
  kit::ImageRef img = ic->image();
  ASSERT_TRUE(img);
  EXPECT_EQ(pixelAt(img, region, Point(region.minX() + 2, region.minY() + 2)).alpha, 0);
  EXPECT_TRUE(isWhite(pixelAt(img, region, Point(region.maxX() - 2, region.minY() + 2))));
  EXPECT_FALSE(isWhite(pixelAt(img, region, fillPoint(right))));
}

}  // namespace
