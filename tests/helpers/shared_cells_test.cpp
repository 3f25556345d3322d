// The shared cells and small controls: pressed looks under touches, the swatch and strip colours
// (clamped when they come from outside), the segmented control's reports, the context carriers,
// and a picture of them all.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>

#include "helpers/shared_cells.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/testing/pictures.h"
#include "kit/ui/alert.h"
#include "kit/ui/compositor.h"
#include "kit/ui/window.h"

using kit::Point;
using kit::Rect;

namespace {

struct Rgb {
  int r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
std::ostream& operator<<(std::ostream& o, const Rgb& c) { return o << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

// The pixel at a point of the view, drawn alone over white at scale 1.
Rgb pixelAt(kit::View& view, Point p) {
  kit::ImageRef image = kit::renderViewTree(view, 1, kit::Color::white());
  cairo_surface_t* s = image->surface();
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + cairo_image_surface_get_stride(s) * static_cast<int>(p.y);
  const std::uint32_t px = reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(p.x)];
  return Rgb{static_cast<int>((px >> 16) & 0xFF), static_cast<int>((px >> 8) & 0xFF), static_cast<int>(px & 0xFF)};
}

bool sameColour(const kit::Color& a, const kit::Color& b) {
  return std::fabs(a.red - b.red) < 1e-6 && std::fabs(a.green - b.green) < 1e-6 && std::fabs(a.blue - b.blue) < 1e-6;
}

class SharedCellsTest : public kit::ManualClockTest {
 protected:
  kit::Window window{Rect(0, 0, 320, 480)};
  kit::EventScript script{window};
};

}  // namespace

TEST_F(SharedCellsTest, EnhancedCellsShowThePressedLookWhileTheButtonIsDown) {
  EnhancedCell cell;
  cell.setFrame(Rect(0, 0, 320, 44));
  cell.layoutSubviews();
  window.addSubview(&cell);
  const kit::Color released(0.31f, 0.4f, 0.56f);
  EXPECT_TRUE(sameColour(cell.theLabel().textColor(), released));
  EXPECT_EQ(cell.theDisclosure().image(), kit::imageNamed("disclosure.png"));
  script.down(Point(100, 22));
  EXPECT_TRUE(cell.isSelected());
  EXPECT_TRUE(sameColour(cell.theLabel().textColor(), kit::Color::white()));
  EXPECT_TRUE(sameColour(cell.theTitleLabel().textColor(), kit::Color::white()));
  EXPECT_EQ(cell.theDisclosure().image(), kit::imageNamed("disclosure-selected.png"));
  // Dragged off the button: released again.
  script.move(Point(100, 300));
  EXPECT_FALSE(cell.isSelected());
  EXPECT_TRUE(sameColour(cell.theLabel().textColor(), released));
  EXPECT_TRUE(sameColour(cell.theTitleLabel().textColor(), kit::Color::black()));
  EXPECT_EQ(cell.theDisclosure().image(), kit::imageNamed("disclosure.png"));
  script.up(Point(100, 300));

  EnhancedCellDual dual;
  dual.setFrame(Rect(0, 100, 320, 44));
  dual.layoutSubviews();
  window.addSubview(&dual);
  script.down(Point(240, 122));
  EXPECT_TRUE(sameColour(dual.theLabel2().textColor(), kit::Color::white()));
  EXPECT_TRUE(sameColour(dual.theLabel1().textColor(), kit::Color::black()));
  EXPECT_EQ(dual.theDisclosure2().image(), kit::imageNamed("disclosure-selected.png"));
  EXPECT_FALSE(dual.isSelected());
  script.up(Point(240, 122));
  EXPECT_TRUE(sameColour(dual.theLabel2().textColor(), kit::Color::black()));
  EXPECT_EQ(dual.theDisclosure2().image(), kit::imageNamed("disclosure.png"));
}

TEST_F(SharedCellsTest, SwatchesAndStripsDrawTheirColourClamped) {
  NodeEditCellShapeColor cell;
  cell.setFrame(Rect(0, 0, 320, 44));
  cell.layoutSubviews();
  const Rect swatch = cell.selectedColorIcon().frame();
  const Point probe(swatch.minX() + 6, swatch.midY());  // inside the swatch, outside the cog
  cell.setColourWithRGB255(RGB255{0, 0, 254});
  EXPECT_TRUE(cell.selectedColorIcon().cogForDefault());
  EXPECT_EQ(pixelAt(cell, probe), (Rgb{255, 255, 255}));
  cell.setColourWithRGB255(RGB255{0, 0, 255});
  EXPECT_EQ(pixelAt(cell, probe), (Rgb{0, 0, 255}));

  ColourSwatchButton plain(Rect(0, 0, 40, 40));
  plain.setColourWithRGB255(RGB255{0, 0, 254});
  EXPECT_EQ(pixelAt(plain, Point(8, 20)), (Rgb{0, 0, 254}));
  plain.setColourWithRGB255(RGB255{std::nanf(""), 300, -20});
  EXPECT_EQ(pixelAt(plain, Point(8, 20)), (Rgb{0, 255, 0}));
  plain.setColourWithRGB255(RGB255{255, 128, 0});
  const kit::Value d(plain.getRGBDictionary());
  EXPECT_TRUE(d["r"].isReal());
  EXPECT_EQ(d["r"].doubleValue(), 255.0);
  EXPECT_EQ(d["g"].doubleValue(), 128.0);
  EXPECT_EQ(d["b"].doubleValue(), 0.0);
  ColourSwatchButton copy;
  copy.copyColourFrom(plain);
  EXPECT_EQ(copy.getRGB255().g, 128.0f);

  GradientView strip(Rect(0, 0, 100, 10));
  strip.setColourWithHSV(HSV{0, 1, 1});  // red
  // Black at the left edge, the full colour at the right (pixel centres sit half a point in).
  const Rgb left = pixelAt(strip, Point(0, 5)), right = pixelAt(strip, Point(99, 5));
  EXPECT_LE(left.r + left.g + left.b, 2);
  EXPECT_GE(right.r, 252);
  EXPECT_EQ(right.g + right.b, 0);
  strip.setColourWithHSV(HSV{std::nanf(""), 7, 40});
  const kit::Color c = strip.colour();
  EXPECT_TRUE(c.red >= 0 && c.red <= 1 && c.green >= 0 && c.green <= 1 && c.blue >= 0 && c.blue <= 1);
}

TEST_F(SharedCellsTest, SegmentedControlReportsSelectionsInCodeFromVersionFive) {
  UISegmentedControlEx control({"One", "Two", "Three"}, Rect(0, 0, 300, 30));
  control.setSelectedSegmentIndex(1);  // nobody registered: nothing to send
  int calls = 0;
  control.addTarget(this, [&](kit::Control&, kit::ControlEvents) { ++calls; }, kit::ControlEventValueChanged);
  control.setSelectedSegmentIndex(2);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(control.selectedSegmentIndex(), 2);
  kit::setSystemVersion("4.3");
  control.setSelectedSegmentIndex(0);
  kit::setSystemVersion("5.0");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(control.selectedSegmentIndex(), 0);
  // A tap reports once.
  window.addSubview(&control);
  script.tap(Point(150, 15));
  EXPECT_EQ(control.selectedSegmentIndex(), 1);
  EXPECT_EQ(calls, 2);
}

TEST_F(SharedCellsTest, ContextCarriersAndControlCells) {
  UIAlertViewEx alert("Delete", "Delete the map?", [&](UIAlertViewEx& a, int index) {
    EXPECT_EQ(a.userContext().string(), "map-7");
    EXPECT_EQ(index, 1);
  }, "Cancel", {"Delete"});
  alert.setUserContext(kit::Value("map-7"));
  kit::Alert::clearShown();
  alert.show();
  ASSERT_EQ(kit::Alert::shown().size(), 1u);
  EXPECT_EQ(kit::Alert::shown()[0].buttons, (std::vector<std::string>{"Cancel", "Delete"}));
  alert.dismissWithClickedButtonIndex(1);
  alert.dismissWithClickedButtonIndex(5);  // no such button: nothing

  int pressed = -1;
  UIActionSheetEx sheet("Share", [&](UIActionSheetEx& s, int index) { pressed = index + s.userContext().intValue(); },
                        "Cancel", "Remove", {"Mail"});
  sheet.setUserContext(kit::Value(100));
  EXPECT_EQ(sheet.buttonTitles(), (std::vector<std::string>{"Remove", "Mail", "Cancel"}));
  EXPECT_EQ(sheet.destructiveButtonIndex(), 0);
  EXPECT_EQ(sheet.cancelButtonIndex(), 2);
  sheet.dismissWithClickedButtonIndex(2);
  EXPECT_EQ(pressed, 102);

  UIButtonEx button(Rect(0, 0, 50, 30));
  button.setUserContext(kit::Value("row 3"));
  EXPECT_EQ(button.userContext().string(), "row 3");

  ButtonCell none("Go", nullptr, nullptr);
  EXPECT_EQ(none.buttonHeight(), 0);
  none.setFrame(Rect(0, 0, 300, 44));
  none.layoutSubviews();
  EXPECT_EQ(none.theButton().frame().size.height, 0);
  TextFieldCell field(31);
  field.setFrame(Rect(0, 0, 300, 60));
  field.layoutSubviews();
  EXPECT_EQ(field.textField().frame(), Rect(8, 12, 284, 31));
  EXPECT_EQ(field.textField().font().pointSize(), 16);
  field.textField().insertText("two\nlines");
  EXPECT_EQ(field.textField().text(), "two lines");
}

TEST_F(SharedCellsTest, PictureOfEveryCellAndControl) {
  kit::View sheet(Rect(0, 0, 320, 610));
  sheet.setBackgroundColor(kit::Color::gray(0.94f));
  std::vector<std::unique_ptr<kit::View>> keep;
  kit::Float y = 0;
  auto place = [&](std::unique_ptr<kit::View> v, kit::Float height) {
    v->setFrame(Rect(0, y, 320, height));
    if (auto* cell = dynamic_cast<kit::TableViewCell*>(v.get())) cell->layoutSubviews();
    sheet.addSubview(v.get());
    keep.push_back(std::move(v));
    y += height + 4;
  };
  auto enhanced = std::make_unique<EnhancedCell>();
  enhanced->theTitleLabel().setText("Shape");
  enhanced->theLabel().setText("Oval");
  enhanced->theIcon().setImage(kit::imageNamed("gear-small-black.png"));
  place(std::move(enhanced), 44);
  auto pressed = std::make_unique<EnhancedCell>();
  pressed->theTitleLabel().setText("Pressed");
  pressed->theLabel().setText("Detail");
  pressed->onButtonTouchDown();
  place(std::move(pressed), 44);
  auto dual = std::make_unique<EnhancedCellDual>();
  dual->theLabel1().setText("Text");
  dual->theLabel2().setText("Pressed");
  dual->theButton2().setHighlighted(true);
  dual->onButton2TouchDown();
  place(std::move(dual), 44);
  auto colour = std::make_unique<NodeEditCellShapeColor>();
  colour->theLabel1().setText("Shape");
  colour->theLabel2().setText("Colour");
  colour->setColourWithRGB255(RGB255{230, 90, 40});
  place(std::move(colour), 44);
  auto unset = std::make_unique<NodeEditCellShapeColor>();
  unset->theLabel1().setText("Shape");
  unset->theLabel2().setText("Unset");
  unset->setColourWithRGB255(RGB255{0, 0, 254});
  place(std::move(unset), 44);
  auto progress = std::make_unique<NodeEditCellProgress>();
  progress->progressLabel().setText("40%");
  progress->progressSlider().setValue(40);
  progress->progressIcon().setImage(kit::imageNamed("percent-complete-50.png"));
  place(std::move(progress), 44);
  auto field = std::make_unique<TextFieldCell>(24);
  field->textField().setText("A text field");
  place(std::move(field), 48);
  auto text = std::make_unique<TextViewCell>(60);
  text->textView().setText("A text view holds several lines of text, wrapped at the cell's width.");
  place(std::move(text), 84);
  auto art = kit::ImageContext::create(kit::Size(40, 40));
  kit::fillLinearGradient(art->context(), Rect(0, 0, 40, 40), kit::Color(0.9f, 0.3f, 0.25f), kit::Color(0.6f, 0.1f, 0.1f),
                          Point(0, 0), Point(0, 40));
  auto button = std::make_unique<ButtonCell>("Delete Map", art->image(), art->image());
  place(std::move(button), 40);
  auto segments = std::make_unique<UISegmentedControlEx>(std::vector<std::string>{"Topic", "Siblings", "Branch"});
  segments->setSelectedSegmentIndex(1);
  place(std::move(segments), 30);
  auto strip = std::make_unique<GradientView>();
  strip->setColourWithHSV(HSV{0.6f, 0.8f, 1});
  place(std::move(strip), 20);
  for (int i = 0; i < 4; ++i) {
    auto swatch = std::make_unique<ColourSwatchButton>(Rect(10 + 50 * i, y, 44, 44));
    const RGB255 colours[] = {{255, 0, 0}, {0, 160, 60}, {std::nanf(""), 400, -3}, {0, 0, 254}};
    swatch->setCogForDefault(true);
    swatch->setColourWithRGB255(colours[i]);
    sheet.addSubview(swatch.get());
    keep.push_back(std::move(swatch));
  }
  auto rounded = std::make_unique<UIButtonEx>(Rect(220, y + 6, 90, 32), kit::Button::Type::RoundedRect);
  rounded->setTitle(std::string("Done"), kit::ControlStateNormal);
  sheet.addSubview(rounded.get());
  keep.push_back(std::move(rounded));

  kit::ImageRef image = kit::renderViewTree(sheet, 2);
  ASSERT_TRUE(image);
  EXPECT_TRUE(kit::writeTestPicture(image, "shared-cells.png"));
}
