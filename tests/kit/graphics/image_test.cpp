#include "kit/graphics/image.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "graphics_test_support.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_strips.h"

namespace kit {
namespace {

namespace fs = std::filesystem;
using test::drawImage;
using test::near;
using test::px;

// A 20 x 10 image: left half opaque red, right half blue at half alpha.
ImageRef sample() {
  return drawImage(20, 10, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(0, 0, 10, 10));
    g.setFillColor(Color(0, 0, 1, 0.5f));
    g.fillRect(Rect(10, 0, 10, 10));
  });
}

// ---- Basics ----

TEST(ImageTest, SizeIsPixelsOverScale) {
  auto img = Image::blank(40, 20, 2);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->size(), Size(20, 10));
  EXPECT_EQ(img->pixelWidth(), 40);
  EXPECT_EQ(img->scale(), 2);
  EXPECT_EQ(px(img, 0, 0).alpha, 0);
  EXPECT_FALSE(img->pixelAt(40, 0));
  EXPECT_FALSE(img->pixelAt(-1, 0));
}

TEST(ImageTest, SidesBeyondTheLimitAreRefused) {
  EXPECT_EQ(Image::blank(kMaxImageSide + 1, 1), nullptr);
  EXPECT_EQ(Image::blank(0, 5), nullptr);
  auto ok = Image::blank(kMaxImageSide, 1);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->pixelWidth(), kMaxImageSide);
}

TEST(ImageTest, ImageContextRefusesTooLargeOrEmptySizes) {
  EXPECT_EQ(ImageContext::create(Size(40000, 10)), nullptr);
  EXPECT_EQ(ImageContext::create(Size(20000, 10), false, 2), nullptr);  // 40,000 pixels wide
  EXPECT_EQ(ImageContext::create(Size(0, 10)), nullptr);
  EXPECT_EQ(ImageContext::create(Size(NAN, 10)), nullptr);
  EXPECT_FALSE(beginImageContext(Size(40000, 1)));
  EXPECT_EQ(currentContext(), nullptr);
  EXPECT_EQ(imageFromCurrentImageContext(), nullptr);
}

TEST(ImageTest, ImageContextRoundsFractionalSizesUp) {
  auto ic = ImageContext::create(Size(10.5f, 3.2f), false, 2);
  ASSERT_TRUE(ic);
  ImageRef img = ic->image();
  EXPECT_EQ(img->pixelWidth(), 21);
  EXPECT_EQ(img->pixelHeight(), 7);
}

TEST(ImageTest, TakenImageIsASnapshot) {
  auto ic = ImageContext::create(Size(4, 4));
  ImageRef before = ic->image();
  ic->context().fillRect(Rect(0, 0, 4, 4));
  ImageRef after = ic->image();
  EXPECT_EQ(px(before, 1, 1).alpha, 0);
  EXPECT_EQ(px(after, 1, 1).alpha, 255);
}

TEST(ImageTest, PlatformStyleImageContextCalls) {
  ASSERT_TRUE(beginImageContext(Size(8, 8)));
  ASSERT_NE(currentContext(), nullptr);
  currentContext()->setFillColor(Color(0, 1, 0));
  currentContext()->fillRect(Rect(0, 0, 8, 8));
  ImageRef img = imageFromCurrentImageContext();
  endImageContext();
  EXPECT_EQ(currentContext(), nullptr);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, 4, 4), 0, 255, 0, 255));
  endImageContext();  // unbalanced: harmless
}

TEST(ImageTest, OpaqueContextHasNoAlpha) {
  auto ic = ImageContext::create(Size(4, 4), true);
  ImageRef img = ic->image();
  EXPECT_FALSE(img->hasAlpha());
  EXPECT_EQ(px(img, 0, 0).alpha, 255);
}

// ---- PNG ----

TEST(ImageTest, PngRoundTripKeepsPixels) {
  ImageRef img = sample();
  auto png = img->pngData();
  ASSERT_TRUE(png);
  ImageRef back = Image::fromData(*png);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->size(), Size(20, 10));
  EXPECT_TRUE(near(px(back, 2, 2), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(back, 15, 5), 0, 0, 255, 128, 2));
}

// A w x h image of random premultiplied pixels (alpha from the given list), odd sizes so rows
// carry stride padding.
ImageRef randomImage(int w, int h, cairo_format_t format, const std::vector<unsigned>& alphas) {
  cairo_surface_t* s = cairo_image_surface_create(format, w, h);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned a = alphas[rng() % alphas.size()];
      auto c = [&] { return a ? static_cast<unsigned>(rng() % (a + 1)) : 0u; };
      std::uint32_t v = (a << 24) | (c() << 16) | (c() << 8) | c();
      std::memcpy(data + y * stride + x * 4, &v, 4);
    }
  }
  cairo_surface_mark_dirty(s);
  ImageRef img = Image::fromSurface(s);
  cairo_surface_destroy(s);
  return img;
}

// The colour type byte of the IHDR chunk: 2 for RGB, 6 for RGBA.
int pngColourType(const std::vector<std::uint8_t>& png) { return png.size() > 25 ? png[25] : -1; }

void expectSamePixels(const ImageRef& a, const ImageRef& b) {
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->pixelWidth(), b->pixelWidth());
  ASSERT_EQ(a->pixelHeight(), b->pixelHeight());
  int differing = 0;
  for (int y = 0; y < a->pixelHeight(); ++y)
    for (int x = 0; x < a->pixelWidth(); ++x) {
      Pixel p = *a->pixelAt(x, y), q = *b->pixelAt(x, y);
      if (p.red != q.red || p.green != q.green || p.blue != q.blue || p.alpha != q.alpha) ++differing;
    }
  EXPECT_EQ(differing, 0);
}

TEST(ImageTest, PngRoundTripOfTranslucentPixelsIsExact) {
  ImageRef img = randomImage(37, 23, CAIRO_FORMAT_ARGB32, {0, 1, 2, 77, 128, 254, 255});
  auto png = img->pngData();
  ASSERT_TRUE(png);
  EXPECT_EQ(pngColourType(*png), 6);
  ImageRef back = Image::fromData(*png);
  expectSamePixels(img, back);
  EXPECT_TRUE(back->hasAlpha());
}

TEST(ImageTest, OpaquePixelsAreWrittenWithoutAlpha) {
  // With an alpha channel that happens to be opaque everywhere, and without one.
  for (cairo_format_t format : {CAIRO_FORMAT_ARGB32, CAIRO_FORMAT_RGB24}) {
    ImageRef img = randomImage(41, 17, format, {255});
    auto png = img->pngData();
    ASSERT_TRUE(png);
    EXPECT_EQ(pngColourType(*png), 2);
    ImageRef back = Image::fromData(*png);
    expectSamePixels(img, back);
    EXPECT_FALSE(back->hasAlpha());
  }
}

TEST(ImageTest, LargeFlatImagesCompress) {
  auto ic = ImageContext::create(Size(1000, 1000), true);
  ic->context().setFillColor(Color(0.2f, 0.4f, 0.6f));
  ic->context().fillRect(Rect(0, 0, 1000, 1000));
  ic->context().setFillColor(Color(1, 1, 1));
  ic->context().fillRect(Rect(100, 100, 300, 50));
  ImageRef img = ic->image();
  auto png = img->pngData();
  ASSERT_TRUE(png);
  EXPECT_LT(png->size(), 20'000u);
  expectSamePixels(img, Image::fromData(*png));
}

TEST(ImageTest, DecodingKeepsTheRequestedScale) {
  auto png = sample()->pngData();
  ImageRef img = Image::fromData(*png, 2);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->size(), Size(10, 5));
}

// ---- JPEG ----

TEST(ImageTest, JpegAtFullQualityKeepsColoursAndFlattensOntoWhite) {
  ImageRef img = sample();
  auto jpeg = img->jpegData(1.0f);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ((*jpeg)[0], 0xff);
  EXPECT_EQ((*jpeg)[1], 0xd8);
  ImageRef back = Image::fromData(*jpeg);
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->hasAlpha());
  EXPECT_EQ(back->size(), Size(20, 10));
  EXPECT_TRUE(near(px(back, 3, 5), 255, 0, 0, 255, 6));
  // Half-transparent blue over white: (127, 127, 255). Sharp next to the red at full chroma.
  EXPECT_TRUE(near(px(back, 16, 5), 127, 127, 255, 255, 6));
  EXPECT_TRUE(near(px(back, 11, 5), 127, 127, 255, 255, 12));
}

TEST(ImageTest, JpegQualityChangesTheSize) {
  // Noise compresses badly: lower quality gives fewer bytes.
  std::mt19937 rng(7);
  auto noisy = drawImage(64, 64, [&](GraphicsContext& g) {
    for (int y = 0; y < 64; y += 2)
      for (int x = 0; x < 64; x += 2) {
        g.setFillColor(Color((rng() % 256) / 255.0f, (rng() % 256) / 255.0f, (rng() % 256) / 255.0f));
        g.fillRect(Rect(x, y, 2, 2));
      }
  });
  auto best = noisy->jpegData(1.0f), low = noisy->jpegData(0.3f), silly = noisy->jpegData(NAN);
  ASSERT_TRUE(best && low && silly);
  EXPECT_GT(best->size(), low->size());
}

// ---- Images written in strips ----

// A scene whose anti-aliased edges cross every strip and column boundary at odd places.
void drawScene(GraphicsContext& g) {
  g.setFillColor(Color(0.9f, 0.2f, 0.1f));
  g.fillEllipseInRect(Rect(3.3f, 2.6f, 41.2f, 33.9f));
  g.setStrokeColor(Color(0.1f, 0.3f, 0.8f, 0.6f));
  g.setLineWidth(2.5f);
  g.beginPath();
  g.moveTo(Point(0.5f, 40));
  g.addLineTo(Point(47.5f, 1.2f));
  g.strokePath();
}

struct StripRun {
  std::optional<test::DecodedPng> png;
  std::vector<Rect> parts;
  bool ok = false;
};

StripRun writeInStrips(StripImage image, const std::function<void(GraphicsContext&)>& scene) {
  StripRun run;
  std::vector<std::uint8_t> bytes;
  run.ok = writeImageInStrips(
      image,
      [&](GraphicsContext& g, const Rect& part) {
        run.parts.push_back(part);
        scene(g);
      },
      [&](std::span<const std::uint8_t> piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        return true;
      });
  if (run.ok) run.png = test::decodePng(bytes);
  return run;
}

TEST(ImageStripsTest, StripsGiveTheSamePixelsAsOneBitmap) {
  // 48 x 41 points at 1.5 pixels a point: 72 x 62 pixels in strips of 5 rows.
  StripImage image;
  image.size = Size(48, 41);
  image.scale = 1.5f;
  image.stripBytes = 5 * 72 * 4 + 17;
  StripRun run = writeInStrips(image, drawScene);
  ASSERT_TRUE(run.ok && run.png);
  ImageRef whole = drawImage(48, 41, drawScene, 1.5f);
  ASSERT_EQ(run.png->width, whole->pixelWidth());
  ASSERT_EQ(run.png->height, whole->pixelHeight());
  EXPECT_TRUE(run.png->alpha);
  int differing = 0;
  for (int y = 0; y < run.png->height; ++y)
    for (int x = 0; x < run.png->width; ++x)
      if (!near(run.png->at(x, y), px(whole, x, y).red, px(whole, x, y).green, px(whole, x, y).blue,
                px(whole, x, y).alpha, 1))
        ++differing;
  EXPECT_EQ(differing, 0);
  // Thirteen strips, top to bottom, each told its place in points.
  ASSERT_EQ(run.parts.size(), 13u);
  EXPECT_EQ(run.parts[1], Rect(0, 5 / 1.5f, 48, 5 / 1.5f));
  EXPECT_FLOAT_EQ(run.parts.back().minY(), 60 / 1.5f);
  EXPECT_FLOAT_EQ(run.parts.back().height(), 2 / 1.5f);
}

TEST(ImageStripsTest, RowsWiderThanABitmapAreDrawnInColumns) {
  const int width = kMaxImageSide + 100;
  StripImage image;
  image.size = Size(width, 3);
  image.alpha = false;
  StripRun run = writeInStrips(image, [](GraphicsContext& g) {
    g.setFillColor(Color(0, 0, 0));
    g.fillRect(Rect(0, 0, kMaxImageSide + 100, 3));
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(kMaxImageSide - 60.5f, 0, 100, 3));
  });
  ASSERT_TRUE(run.ok && run.png);
  EXPECT_EQ(run.png->width, width);
  EXPECT_FALSE(run.png->alpha);
  ASSERT_EQ(run.parts.size(), 2u);
  EXPECT_EQ(run.parts[1], Rect(kMaxImageSide, 0, 100, 3));
  // Red runs on across the column boundary; its fractional edges are half red.
  for (int x : {kMaxImageSide - 60, kMaxImageSide - 1, kMaxImageSide, kMaxImageSide + 38})
    EXPECT_TRUE(near(run.png->at(x, 1), 255, 0, 0, 255, 0)) << x;
  EXPECT_TRUE(near(run.png->at(kMaxImageSide - 61, 1), 128, 0, 0, 255, 1));
  EXPECT_TRUE(near(run.png->at(kMaxImageSide + 39, 1), 128, 0, 0, 255, 1));
  EXPECT_TRUE(near(run.png->at(kMaxImageSide + 40, 1), 0, 0, 0, 255, 0));
}

TEST(ImageStripsTest, SidesOverTheFormatsLimitAreRefusedOrScaledToFit) {
  auto nothing = [](GraphicsContext&) {};
  StripImage jpeg;
  jpeg.format = ImageFileFormat::JPEG;
  jpeg.size = Size(65501, 2);
  EXPECT_FALSE(writeInStrips(jpeg, nothing).ok);
  jpeg.size = Size(65500, 2);
  EXPECT_TRUE(writeInStrips(jpeg, nothing).ok);
  StripImage png;
  png.size = Size(2, 1'000'001);
  EXPECT_FALSE(writeInStrips(png, nothing).ok);
  // The scale that fits keeps both pixel sides within the limit.
  const float k = fittingScale(ImageFileFormat::JPEG, Size(131'001, 7));
  EXPECT_NEAR(k, 0.5f, 1e-4);
  EXPECT_LE(pixelSizeFor(Size(131'001, 7), k).width, 65500);
  EXPECT_EQ(fittingScale(ImageFileFormat::PNG, Size(900'000, 10)), 1.0f);
  EXPECT_EQ(fittingScale(ImageFileFormat::PNG, Size(0, 10)), 0.0f);
  const Size far(2e7f, 2e7f), pixels = pixelSizeFor(far, fittingScale(ImageFileFormat::PNG, far));
  EXPECT_LE(double(pixels.width - 1) * (pixels.height - 1), kMaxImageFilePixels);  // within both sides
  EXPECT_GE(pixels.width, 16383);
}

TEST(ImageStripsTest, AFailingSinkStopsTheDrawing) {
  // 200 strips of 10 rows; noise fills the encoder's first piece for the sink within a few.
  StripImage image;
  image.size = Size(2000, 2000);
  image.stripBytes = 2000 * 4 * 10;
  int parts = 0;
  std::mt19937 rng(3);
  const bool ok = writeImageInStrips(
      image,
      [&](GraphicsContext& g, const Rect& part) {
        ++parts;
        for (int i = 0; i < 2000; ++i) {
          g.setFillColor(Color((rng() % 256) / 255.0f, (rng() % 256) / 255.0f, 0.5f));
          g.fillRect(Rect(part.minX() + rng() % 2000, part.minY() + rng() % 10, 2, 1));
        }
      },
      [](std::span<const std::uint8_t>) { return false; });
  EXPECT_FALSE(ok);
  EXPECT_GT(parts, 1);
  EXPECT_LT(parts, 40);
}

// ---- GIF ----

int gifWrite(GifFileType* gif, const GifByteType* data, int len) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + len);
  return len;
}

// A 4 x 2 GIF with palette red, green, blue, white; index 3 transparent when asked; optionally
// a second frame that should be ignored.
std::vector<std::uint8_t> makeGif(bool transparent, bool interlaced, bool twoFrames) {
  std::vector<std::uint8_t> out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, gifWrite, &err);
  GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 4, 2, 2, 0, map);
  for (int frame = 0; frame < (twoFrames ? 2 : 1); ++frame) {
    if (transparent) {
      GraphicsControlBlock gcb{};
      gcb.TransparentColor = 3;
      gcb.DelayTime = 10;
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    EGifPutImageDesc(gif, 0, 0, 4, 2, interlaced, nullptr);
    GifPixelType rows[2][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    if (frame == 1) rows[0][0] = rows[1][0] = 2;
    for (int y = 0; y < 2; ++y) EGifPutLine(gif, rows[y], 4);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

TEST(ImageTest, GifFirstFrameWithTransparency) {
  for (bool interlaced : {false, true}) {
    ImageRef img = Image::fromData(makeGif(true, interlaced, true));
    ASSERT_TRUE(img) << interlaced;
    EXPECT_EQ(img->size(), Size(4, 2));
    EXPECT_TRUE(near(px(img, 0, 0), 255, 0, 0, 255, 0));  // frame 1, not frame 2's blue
    EXPECT_TRUE(near(px(img, 1, 0), 0, 255, 0, 255, 0));
    EXPECT_TRUE(near(px(img, 2, 1), 0, 255, 0, 255, 0));
    EXPECT_EQ(px(img, 3, 0).alpha, 0);
    EXPECT_EQ(px(img, 0, 1).alpha, 0);
  }
  ImageRef opaque = Image::fromData(makeGif(false, false, false));
  ASSERT_TRUE(opaque);
  EXPECT_TRUE(near(px(opaque, 3, 0), 255, 255, 255, 255, 0));
}

// ---- Damaged data ----

TEST(ImageTest, DamagedDataGivesNullNeverACrash) {
  std::vector<std::vector<std::uint8_t>> goods = {*sample()->pngData(), *sample()->jpegData(1),
                                                  makeGif(true, true, false)};
  EXPECT_EQ(Image::fromData({}), nullptr);
  std::vector<std::uint8_t> junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  EXPECT_EQ(Image::fromData(junk), nullptr);
  std::mt19937 rng(42);
  for (const auto& good : goods) {
    // Every truncation of the header area, and a sample of longer ones.
    for (size_t n = 0; n < good.size(); n += (n < 64 ? 1 : 17)) {
      std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
      ImageRef img = Image::fromData(cut);
      if (img) {
        EXPECT_LE(img->pixelWidth(), 20);
      }
    }
    // Random byte flips.
    for (int round = 0; round < 200; ++round) {
      std::vector<std::uint8_t> bad = good;
      for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<std::uint8_t>(rng());
      ImageRef img = Image::fromData(bad);
      if (img) {
        EXPECT_LE(static_cast<std::uint64_t>(img->pixelWidth()) * img->pixelHeight(), 100'000'000u);
      }
    }
  }
}

TEST(ImageTest, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  auto png = *sample()->pngData();
  // IHDR width at bytes 16..19: claim 100,000 pixels.
  png[16] = 0; png[17] = 0x01; png[18] = 0x86; png[19] = 0xA0;
  EXPECT_EQ(Image::fromData(png), nullptr);
  auto gif = makeGif(false, false, false);
  gif[6] = 0xff; gif[7] = 0xff;  // logical screen width 65,535
  EXPECT_EQ(Image::fromData(gif), nullptr);
}

// ---- Resizing and rounded corners ----

TEST(ImageTest, ResizeGivesTheNewSizeAndKeepsColours) {
  ImageRef img = sample();
  ImageRef small = img->resized(Size(10, 5));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->size(), Size(10, 5));
  EXPECT_TRUE(near(px(small, 1, 2), 255, 0, 0, 255, 4));
  EXPECT_TRUE(near(px(small, 8, 2), 0, 0, 255, 128, 4));
  ImageRef big = img->resized(Size(200, 100), InterpolationQuality::None);
  ASSERT_TRUE(big);
  EXPECT_TRUE(near(px(big, 0, 0), 255, 0, 0, 255, 0));  // edges stay opaque
  EXPECT_EQ(img->resized(Size(0, 10)), nullptr);
  EXPECT_EQ(img->resized(Size(40000, 10)), nullptr);
}

TEST(ImageTest, ResizeOfALargePictureKeepsAspectAtThreeHundredSixty) {
  ImageRef img = Image::blank(1000, 500);
  ImageRef fitted = img->resized(Size(360, 180), InterpolationQuality::High);
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->size(), Size(360, 180));
}

TEST(ImageTest, RoundedCornersAreTransparentOutsideTheArc) {
  auto opaque = drawImage(40, 20, [](GraphicsContext& g) { g.fillRect(Rect(0, 0, 40, 20)); });
  ImageRef r = opaque->roundedCorner(8, 0);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->size(), Size(40, 20));
  EXPECT_EQ(px(r, 0, 0).alpha, 0);
  EXPECT_EQ(px(r, 39, 19).alpha, 0);
  EXPECT_EQ(px(r, 20, 10).alpha, 255);
  EXPECT_EQ(px(r, 20, 0).alpha, 255);  // straight edges untouched
  ImageRef bordered = opaque->roundedCorner(0, 3);
  EXPECT_EQ(px(bordered, 1, 10).alpha, 0);
  EXPECT_EQ(px(bordered, 4, 10).alpha, 255);
  ImageRef huge = opaque->roundedCorner(1000, 0);  // radius capped at half the short side
  ASSERT_TRUE(huge);
  EXPECT_EQ(px(huge, 20, 10).alpha, 255);
  ImageRef gone = opaque->roundedCorner(2, 30);  // border eats the image
  ASSERT_TRUE(gone);
  EXPECT_EQ(px(gone, 20, 10).alpha, 0);
}

// ---- Files and named images ----

class NamedImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quill-res-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const char* old = std::getenv("QUILL_RESOURCES");
    if (old) old_ = old;
    setenv("QUILL_RESOURCES", dir_.c_str(), 1);
    clearNamedImageCache();
  }
  void TearDown() override {
    if (old_.empty())
      unsetenv("QUILL_RESOURCES");
    else
      setenv("QUILL_RESOURCES", old_.c_str(), 1);
    clearNamedImageCache();
    fs::remove_all(dir_);
  }
  void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  fs::path dir_;
  std::string old_;
};

TEST_F(NamedImageTest, FindsNameThenNamePngAndCaches) {
  write("note.png", *sample()->pngData());
  ImageRef a = imageNamed("note.png");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size(), Size(20, 10));
  EXPECT_EQ(imageNamed("note"), imageNamed("note"));
  EXPECT_TRUE(imageNamed("note"));
  fs::remove(dir_ / "note.png");
  EXPECT_EQ(imageNamed("note.png"), a);  // cached
  EXPECT_EQ(imageNamed("missing.png"), nullptr);
  EXPECT_EQ(imageNamed(""), nullptr);
  EXPECT_EQ(imageNamed("../etc/passwd"), nullptr);
}

TEST_F(NamedImageTest, SvgArtworkStandsInForAMissingPng) {
  write("badge.svg",
        std::string("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='12'>"
                    "<rect width='16' height='12' fill='#00ff00'/></svg>"));
  ImageRef img = imageNamed("badge.png");
  ASSERT_TRUE(img);
  EXPECT_EQ(img->size(), Size(16, 12));
  EXPECT_TRUE(near(px(img, 8, 6), 0, 255, 0, 255));
  write("broken.svg", std::string("<svg"));
  EXPECT_EQ(imageNamed("broken"), nullptr);
}

TEST_F(NamedImageTest, ManyThreadsAskAtOnce) {
  write("a.png", *sample()->pngData());
  std::vector<std::thread> threads;
  std::vector<ImageRef> got(8);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, &got] {
      for (int i = 0; i < 50; ++i) got[static_cast<size_t>(t)] = imageNamed(i % 2 ? "a" : "a.png");
    });
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, got[0]);
  ASSERT_TRUE(got[0]);
}

TEST_F(NamedImageTest, FromFileReadsEachFormatAndSizeOfFileItsHeader) {
  std::vector<std::uint8_t> jpeg = *sample()->jpegData(1), huge = *sample()->pngData(), app(65537, 'x');
  app[0] = 0xff, app[1] = 0xe1, app[2] = app[3] = 0xff, huge[17] = 0x01;  // 64 KiB of metadata; a width of 65,556
  jpeg.insert(jpeg.begin() + 2, app.begin(), app.end());  // before the frame header
  write("p.png", *sample()->pngData());
  write("j.jpg", jpeg);
  write("g.gif", makeGif(false, false, false));
  write("bad.png", std::string("garbage"));
  write("huge.png", huge);
  for (auto [name, size] : {std::pair{"p.png", Size(10, 5)}, {"j.jpg", Size(10, 5)}, {"g.gif", Size(2, 1)}}) {
    EXPECT_EQ(Image::fromFile((dir_ / name).string(), 2)->size(), size) << name;
    EXPECT_EQ(Image::sizeOfFile((dir_ / name).string(), 2), size) << name;
  }
  for (const char* name : {"bad.png", "huge.png", "none.png", ""}) {  // "": a folder
    EXPECT_EQ(Image::fromFile((dir_ / name).string()), nullptr) << name;
    EXPECT_EQ(Image::sizeOfFile((dir_ / name).string()), std::nullopt) << name;
  }
}

}  // namespace
}  // namespace kit
