#include "kit/typography/string_drawing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "kit/graphics/image_context.h"
#include "kit/graphics/pdf_context.h"
#include "kit/typography/pango_support.h"

namespace kit {
namespace {

const Font kFont = Font::systemFont(14);
const Size kWide(600, 500);

Float lines(Float n) { return std::ceil(n * kFont.lineHeight()); }

// The most used scripts of the world, and emoji.
const std::vector<std::string> kScripts = {
    "Ünïcödé façade", "中文 汉字测试", "日本語のテキスト", "한국어 텍스트", "العربية نص", "שלום עולם",
    "Ελληνικά κείμενο", "Русский текст", "हिन्दी पाठ", "বাংলা লেখা", "தமிழ் உரை", "తెలుగు వచనం",
    "ગુજરાતી લખાણ", "ಕನ್ನಡ ಪಠ್ಯ", "മലയാളം എഴുത്ത്", "ภาษาไทย ข้อความ", "ພາສາລາວ ຂໍ້ຄວາມ",
    "ភាសាខ្មែរ អត្ថបទ", "မြန်မာ စာ", "አማርኛ ጽሑፍ", "ქართული ტექსტი", "Հայերեն տեքստ",
    "සිංහල පාඨය", "Emoji 😀🎉🎉"};

// ---- Measuring ----

TEST(MeasureTest, EmptyTextMeasuresNothing) {
  EXPECT_EQ(sizeWithFont("", kFont), Size());
  EXPECT_EQ(sizeWithFont("", kFont, kWide), Size());
}

TEST(MeasureTest, OneLineIsOneLineHighAndWholePoints) {
  Size s = sizeWithFont("WWWWW", kFont, kWide);
  EXPECT_EQ(s.height, lines(1));
  EXPECT_GT(s.width, 5 * 10);
  EXPECT_EQ(s.width, std::floor(s.width));
  EXPECT_EQ(sizeWithFont("WWWWW", kFont), s);
}

TEST(MeasureTest, ATrailingLineBreakAddsNoLineButABlankAfterItDoes) {
  Size one = sizeWithFont("Hello", kFont, kWide);
  EXPECT_EQ(sizeWithFont("Hello\n", kFont, kWide), one);
  EXPECT_EQ(sizeWithFont("Hello\r\n", kFont, kWide), one);
  EXPECT_EQ(sizeWithFont("Hello\n ", kFont, kWide).height, lines(2));
  EXPECT_EQ(sizeWithFont("Hello\n\n", kFont, kWide).height, lines(2));
  EXPECT_EQ(sizeWithFont("\n", kFont, kWide), Size(0, lines(1)));
}

TEST(MeasureTest, ExplicitBreaksStackLines) {
  EXPECT_EQ(sizeWithFont("a\nb\nc", kFont, kWide).height, lines(3));
  EXPECT_EQ(sizeWithFont("a\nb\nc", kFont).height, lines(3));
}

TEST(MeasureTest, WrappingKeepsWithinTheWidthAndAddsLines) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  Size wide = sizeWithFont(text, kFont, kWide);
  EXPECT_EQ(wide.height, lines(1));
  Float prevHeight = wide.height;
  for (Float w : {200.0f, 120.0f, 80.0f}) {
    Size s = sizeWithFont(text, kFont, Size(w, 500));
    EXPECT_LE(s.width, w);
    EXPECT_GE(s.height, prevHeight);
    EXPECT_EQ(std::fmod(s.height, 1.0f), 0.0f);
    prevHeight = s.height;
  }
  EXPECT_GE(prevHeight, lines(4));
}

TEST(MeasureTest, ALongWordBreaksInsideTheWord) {
  Size s = sizeWithFont("Supercalifragilisticexpialidocious", kFont, Size(60, 500));
  EXPECT_LE(s.width, 60);
  EXPECT_GE(s.height, lines(4));
}

TEST(MeasureTest, AWordBrokenAcrossLinesGainsNoHyphen) {
  // One letter a line: each line is as wide as the letter alone.
  for (LineBreakMode mode : {LineBreakMode::WordWrap, LineBreakMode::CharacterWrap})
    EXPECT_EQ(sizeWithFont("mmmm", kFont, Size(1, 500), mode), Size(sizeWithFont("m", kFont).width, lines(4)));
}

TEST(MeasureTest, OnlyWholeLinesThatFitTheHeightCount) {
  std::string four = "one\ntwo\nthree\nfour";
  EXPECT_EQ(sizeWithFont(four, kFont, Size(600, lines(2) + 1)).height, lines(2));
  EXPECT_EQ(sizeWithFont(four, kFont, Size(600, lines(4))).height, lines(4));
  // Never less than one line, however small the height.
  EXPECT_EQ(sizeWithFont(four, kFont, Size(600, 3)).height, lines(1));
  // No height limit.
  EXPECT_EQ(sizeWithFont(four, kFont, Size(600, 0)).height, lines(4));
}

TEST(MeasureTest, WidthIsThatOfTheKeptLinesOnly) {
  std::string text = "short\na much much longer second line";
  Size cut = sizeWithFont(text, kFont, Size(600, lines(1)));
  EXPECT_EQ(cut.width, sizeWithFont("short", kFont).width);
}

TEST(MeasureTest, TailTruncationShortensTheLastLineWithinTheWidth) {
  std::string text = "alpha beta gamma delta epsilon zeta eta theta iota kappa";
  Size wrapped = sizeWithFont(text, kFont, Size(100, lines(2)), LineBreakMode::WordWrap);
  Size tail = sizeWithFont(text, kFont, Size(100, lines(2)), LineBreakMode::TailTruncation);
  EXPECT_EQ(tail.height, lines(2));
  EXPECT_LE(tail.width, 100);
  EXPECT_EQ(wrapped.height, lines(2));
  // Nothing to cut: the same as wrapping.
  EXPECT_EQ(sizeWithFont("alpha", kFont, Size(100, 100), LineBreakMode::TailTruncation),
            sizeWithFont("alpha", kFont, Size(100, 100)));
}

TEST(MeasureTest, AHugeParagraphKeepsTheLinesOfItsStart) {
  // 300 KB in one paragraph: longer than the two million points Pango can add up in one line.
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "word" + std::to_string(i % 997) + " ";
  const std::string start = text.substr(0, 3000);  // more lines than 500 points hold
  for (LineBreakMode mode : {LineBreakMode::WordWrap, LineBreakMode::Clip, LineBreakMode::TailTruncation}) {
    Size huge = sizeWithFont(text, kFont, Size(300, 500), mode);
    EXPECT_EQ(huge, sizeWithFont(start, kFont, Size(300, 500), mode)) << int(mode);
    EXPECT_EQ(huge.height, lines(std::floor(500 / kFont.lineHeight()))) << int(mode);
    EXPECT_GT(huge.width, 250) << int(mode);
    EXPECT_LE(huge.width, 300) << int(mode);
  }
}

TEST(MeasureTest, EveryScriptFindsAFont) {
  for (const std::string& text : kScripts) {
    PangoLayout* layout = pango::resetLayout();
    PangoFontDescription* d = pango::newDescription(kFont);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout), 0) << text;
  }
}

TEST(MeasureTest, CharacterWrapFillsLinesFurther) {
  std::string text = "aaaa bbbbbbbbbbbb cccc";
  Size word = sizeWithFont(text, kFont, Size(90, 500), LineBreakMode::WordWrap);
  Size chr = sizeWithFont(text, kFont, Size(90, 500), LineBreakMode::CharacterWrap);
  EXPECT_LE(chr.height, word.height);
  EXPECT_LE(chr.width, 90);
}

TEST(MeasureTest, BoldAndBiggerAreWider) {
  Size regular = sizeWithFont("Mind map", Font::systemFont(14));
  EXPECT_GT(sizeWithFont("Mind map", Font::boldSystemFont(14)).width, regular.width);
  EXPECT_GT(sizeWithFont("Mind map", Font::systemFont(28)).width, regular.width * 1.9f);
}

TEST(MeasureTest, BadUtf8IsMeasuredNotRejected) {
  std::string bad = "ab\xff\xfe" "cd";
  bad.push_back('\0');
  bad += "ef";
  Size s = sizeWithFont(bad, kFont, kWide);
  EXPECT_GT(s.width, sizeWithFont("abcdef", kFont).width);
  EXPECT_EQ(s.height, lines(1));
}

// Plain ASCII lines are shaped without a layout; a trailing line break (dropped before
// measuring) sends the same text through the whole layout, whose sizes they must equal.
TEST(MeasureTest, PlainLinesMeasureAsTheWholeLayoutDoes) {
  const std::vector<std::string> texts = {"Leaf 12.34", "Topic number 1234 with some words", "AVATAR Wave To. Vo, Ty",
                                          "fi ffl office", "x", "  spaced  ", "WWWWW", "Central topic",
                                          "a+b=c; (d) [e] {f} <g> ~!@#$%^&*_|\\/?\"'`", "iiiiiiiiiiiiiiiiiiiii"};
  std::vector<Font> fonts = {Font::systemFont(9), Font::systemFont(14), Font::boldSystemFont(18),
                             Font::italicSystemFont(24.5f), Font::systemFont(36)};
  fonts.push_back(*Font::fontWithName("Helvetica-BoldOblique", 13));
  for (const Font& f : fonts)
    for (const std::string& t : texts) {
      const Size whole = sizeWithFont(t + "\n", f, Size(300, 500));
      EXPECT_EQ(sizeWithFont(t, f, Size(300, 500)), whole) << t << " at " << f.pointSize();
      EXPECT_EQ(sizeWithFont(t, f), sizeWithFont(t + "\n", f)) << t;
      // At its own width a line may wrap: left to the layout, which keeps it whole or wraps it.
      EXPECT_EQ(sizeWithFont(t, f, Size(whole.width - 1, 500)), sizeWithFont(t + "\n", f, Size(whole.width - 1, 500))) << t;
    }
}

TEST(MeasureTest, SameAnswersOnEveryThread) {
  std::vector<std::string> texts = {"Central topic", "A somewhat longer topic text that wraps", "x\ny",
                                    "WWWWW"};
  std::vector<Size> expected;
  for (const auto& t : texts) expected.push_back(sizeWithFont(t, kFont, Size(100, 500)));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 100; ++round)
        for (size_t i = 0; i < texts.size(); ++i)
          if (sizeWithFont(texts[i], kFont, Size(100, 500)) != expected[i]) ++mismatches[static_cast<size_t>(t)];
    });
  for (auto& th : threads) th.join();
  for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(MeasureTest, StateMadeAheadOnAnotherThreadMeasuresAlike) {
  const std::vector<std::string> texts = {"Central topic", "中文 汉字测试", "A longer topic text that wraps", "x\ny"};
  const Font bold = Font::boldSystemFont(18);
  std::vector<Size> expected, got;
  for (const auto& t : texts) expected.push_back(sizeWithFont(t, bold, Size(100, 500)));
  // A thread of its own, so that it is the one whose state is made ahead.
  std::thread([&] {
    prepareFontsInBackground(Font::systemFont(18));
    for (const auto& t : texts) got.push_back(sizeWithFont(t, bold, Size(100, 500)));
  }).join();
  EXPECT_EQ(got, expected);
}

TEST(MeasureTest, TwentyThousandTopicsMeasureQuickly) {
  auto start = std::chrono::steady_clock::now();
  Float total = 0;
  for (int i = 0; i < 20000; ++i)
    total += sizeWithFont("Topic " + std::to_string(i) + " with some words", kFont, Size(300, 500)).width;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(total, 0);
  // A generous bound (sanitizer builds are slow); the point is no per-call font loading.
  EXPECT_LT(seconds, 30.0);
  std::printf("20,000 measurements: %.3f s\n", seconds);
}

// ---- Drawing ----

struct InkBox {
  int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
  bool any() const { return maxX >= 0; }
};

InkBox ink(const ImageRef& img) {
  InkBox b;
  for (int y = 0; y < img->pixelHeight(); ++y)
    for (int x = 0; x < img->pixelWidth(); ++x)
      if (img->pixelAt(x, y)->alpha > 64) {
        b.minX = std::min(b.minX, x); b.maxX = std::max(b.maxX, x);
        b.minY = std::min(b.minY, y); b.maxY = std::max(b.maxY, y);
      }
  return b;
}

ImageRef drawn(const std::function<void(GraphicsContext&)>& f, int w = 200, int h = 100) {
  auto ic = ImageContext::create(Size(w, h));
  f(ic->context());
  return ic->image();
}

TEST(DrawTextTest, TextLandsInsideItsRectInTheFillColour) {
  ImageRef img = drawn([](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    Size s = drawInRect(g, "Hello", Rect(20, 30, 150, 40), kFont);
    EXPECT_EQ(s, sizeWithFont("Hello", kFont, Size(150, 40)));
  });
  InkBox b = ink(img);
  ASSERT_TRUE(b.any());
  EXPECT_GE(b.minX, 20);
  EXPECT_GE(b.minY, 30);
  EXPECT_LE(b.maxY, 30 + lines(1));
  auto p = img->pixelAt(b.minX + 1, (b.minY + b.maxY) / 2);
  bool sawRed = false;
  for (int x = b.minX; x <= b.maxX && !sawRed; ++x)
    for (int y = b.minY; y <= b.maxY && !sawRed; ++y) {
      auto q = *img->pixelAt(x, y);
      sawRed = q.alpha > 200 && q.red > 200 && q.green < 40;
    }
  EXPECT_TRUE(sawRed);
  (void)p;
}

TEST(DrawTextTest, AlignmentMovesTheLineWithinTheRect) {
  auto at = [](TextAlignment a) {
    return ink(drawn([a](GraphicsContext& g) {
      drawInRect(g, "Hi", Rect(0, 0, 200, 40), kFont, LineBreakMode::WordWrap, a);
    }));
  };
  InkBox left = at(TextAlignment::Left), centre = at(TextAlignment::Center), right = at(TextAlignment::Right);
  EXPECT_LT(left.maxX, 40);
  EXPECT_NEAR((centre.minX + centre.maxX) / 2.0, 100, 4);
  EXPECT_GT(right.minX, 160);
  EXPECT_LE(right.maxX, 200);
}

TEST(DrawTextTest, LinesBeyondTheHeightAreNotDrawn) {
  ImageRef img = drawn([](GraphicsContext& g) {
    drawInRect(g, "one\ntwo\nthree\nfour", Rect(0, 0, 200, lines(2)), kFont, LineBreakMode::Clip);
  });
  InkBox b = ink(img);
  ASSERT_TRUE(b.any());
  EXPECT_LE(b.maxY, lines(2));
}

TEST(DrawTextTest, TruncatedTextStaysWithinTheWidth) {
  ImageRef img = drawn([](GraphicsContext& g) {
    drawInRect(g, "alpha beta gamma delta epsilon zeta eta theta", Rect(10, 0, 100, lines(1)), kFont,
               LineBreakMode::TailTruncation);
  });
  InkBox b = ink(img);
  ASSERT_TRUE(b.any());
  EXPECT_LE(b.maxX, 112);
  EXPECT_LE(b.maxY, lines(1));
}

TEST(DrawTextTest, TextFollowsTheTransformAndAlpha) {
  ImageRef img = drawn([](GraphicsContext& g) {
    g.translateCTM(100, 50);
    g.scaleCTM(2, 2);
    g.setAlpha(0.5f);
    drawAtPoint(g, "I", Point(0, 0), kFont);
  });
  InkBox b = ink(img);
  ASSERT_TRUE(b.any());
  EXPECT_GE(b.minX, 100);
  EXPECT_GE(b.minY, 50);
  int maxAlpha = 0;
  for (int y = b.minY; y <= b.maxY; ++y)
    for (int x = b.minX; x <= b.maxX; ++x) maxAlpha = std::max<int>(maxAlpha, img->pixelAt(x, y)->alpha);
  EXPECT_NEAR(maxAlpha, 128, 3);
}

TEST(DrawTextTest, TextCastsAShadowWhenOneIsSet) {
  ImageRef img = drawn([](GraphicsContext& g) {
    g.setShadow(Size(4, 4), 0, Color(1, 0, 0));
    g.setFillColor(Color(0, 0, 1));
    drawAtPoint(g, "l", Point(10, 10), Font::boldSystemFont(30));
  });
  bool red = false;
  for (int y = 0; y < 100 && !red; ++y)
    for (int x = 0; x < 200 && !red; ++x) {
      auto p = *img->pixelAt(x, y);
      red = p.alpha > 200 && p.red > 200 && p.blue < 30;
    }
  EXPECT_TRUE(red);
}

TEST(DrawTextTest, RightToLeftTextKeepsItsDirection) {
  // The neutral dashes after a first Hebrew letter run to its left, after a Latin one to its right.
  auto spanAtEdges = [](const std::string& text) {
    ImageRef img = drawn([&](GraphicsContext& g) { drawAtPoint(g, text, Point(10, 10), Font::systemFont(30)); });
    InkBox b = ink(img);
    auto span = [&](int x0, int x1) {
      int top = 1 << 30, bottom = -1;
      for (int x = x0; x <= x1; ++x)
        for (int y = 0; y < img->pixelHeight(); ++y)
          if (img->pixelAt(x, y)->alpha > 64) top = std::min(top, y), bottom = std::max(bottom, y);
      return bottom - top;
    };
    return std::pair(span(b.minX, b.minX + 3), span(b.maxX - 3, b.maxX));
  };
  auto [hebrewLeft, hebrewRight] = spanAtEdges("ש------");
  EXPECT_LT(hebrewLeft, 6);    // a dash
  EXPECT_GT(hebrewRight, 10);  // the letter
  auto [latinLeft, latinRight] = spanAtEdges("H------");
  EXPECT_GT(latinLeft, 10);
  EXPECT_LT(latinRight, 6);
}

TEST(DrawTextTest, TextOnAPdfPageIsRealTextInEveryScript) {
  namespace fs = std::filesystem;
  fs::path file = fs::temp_directory_path() / ("quill-text-" + std::to_string(::getpid()) + ".pdf");
  const Float height = 60 + 40 * Float(kScripts.size());
  auto pdf = PdfContext::create(file.string(), Rect(0, 0, 300, height));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  pdf->context()->translateCTM(0, height);
  pdf->context()->scaleCTM(1, -1);
  drawInRect(*pdf->context(), "Central topic", Rect(10, 10, 280, 40), kFont);
  for (size_t i = 0; i < kScripts.size(); ++i)
    drawInRect(*pdf->context(), kScripts[i], Rect(10, 50 + 40 * Float(i), 280, 40), kFont);
  ASSERT_TRUE(pdf->close());
  std::string out;
  if (FILE* p = popen(("pdftotext '" + file.string() + "' - 2>/dev/null").c_str(), "r")) {
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  // Without the marks that pdftotext puts around right-to-left text.
  for (const char* mark : {"\u202A", "\u202B", "\u202C", "\u202D", "\u202E", "\u200E", "\u200F"})
    for (size_t at; (at = out.find(mark)) != std::string::npos;) out.erase(at, std::string(mark).size());
  // Nor the blanks it may put between the clusters of a word.
  auto withoutBlanks = [](std::string s) {
    std::erase(s, ' ');
    return s;
  };
  out = withoutBlanks(out);
  EXPECT_NE(out.find("Centraltopic"), std::string::npos);
  // A character without a font would be drawn as a box, which is no text.
  for (const std::string& text : kScripts)
    EXPECT_NE(out.find(withoutBlanks(text)), std::string::npos) << text << " in\n" << out;
  EXPECT_EQ(out.find("\uFFFD"), std::string::npos);
  EXPECT_EQ(std::system(("qpdf --check '" + file.string() + "' >/dev/null 2>&1").c_str()), 0);
  fs::remove(file);
}

TEST(MeasureTest, IncrementalMeasureMatchesAFreshOneAfterEveryKindOfEdit) {
  const Font font = Font::systemFont(14);
  const Float width = 180;
  std::string text;
  for (int i = 0; i < 60; ++i) text += (i % 7 == 6) ? "paragraph\n" : "word" + std::to_string(i) + " ";
  IncrementalTextMeasure m;
  auto check = [&](const char* what) {
    EXPECT_EQ(m.measure(text, font, width), sizeWithFont(text, font, Size(width, 0))) << what;
  };
  check("first");
  text += "tail";
  check("typed at the end");
  text.insert(40, "inserted words here ");
  check("typed in the middle");
  // Removing a blank joins two words, which may no longer fit the line above.
  text.erase(text.find(' ', 200), 1);
  check("a blank deleted");
  text.insert(text.size() / 2, std::string(60, 'W'));
  check("a word longer than a line");
  text.erase(120);
  check("cut short");
  EXPECT_EQ(m.measure(text, Font::boldSystemFont(14), width), sizeWithFont(text, Font::boldSystemFont(14), Size(width, 0)));
  EXPECT_EQ(m.measure(text, font, 90), sizeWithFont(text, font, Size(90, 0)));
  EXPECT_EQ(m.measure("", font, 90), Size());
}

}  // namespace
}  // namespace kit
