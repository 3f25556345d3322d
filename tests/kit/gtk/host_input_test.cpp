// The desktop host's translations, without a display.
#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include "kit/core/run_loop.h"
#include "kit/gtk/clipboard.h"
#include "kit/gtk/input_mapping.h"
#include "kit/gtk/main_loop.h"
#include "kit/testing/app_home.h"

using namespace kit;
using namespace kit::gtk;

TEST(HostKeys, ShortcutsReadTheLowerCaseCharacterAndModifiersAloneAreNoKeys) {
  // Ctrl+Shift+Z arrives as "Z": the shortcut reads "z" with both modifiers.
  auto redo = keyInputFor(GDK_KEY_Z, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  ASSERT_TRUE(redo);
  EXPECT_EQ(redo->key, Key::Other);
  EXPECT_EQ(redo->character, "z");
  EXPECT_EQ(redo->modifiers, unsigned(kControl | kShift));
  EXPECT_EQ(keyInputFor(GDK_KEY_y, GDK_CONTROL_MASK)->character, "y");
  EXPECT_EQ(keyInputFor(GDK_KEY_odiaeresis, GDK_ALT_MASK | GDK_SUPER_MASK)->character, "\xC3\xB6");
  EXPECT_EQ(keyInputFor(GDK_KEY_odiaeresis, GDK_ALT_MASK | GDK_SUPER_MASK)->modifiers, unsigned(kAlt | kSuper));
  EXPECT_EQ(keyInputFor(GDK_KEY_F2, 0)->character, "");

  // A modifier alone is no key for kit.
  EXPECT_FALSE(keyInputFor(GDK_KEY_Control_L, GDK_CONTROL_MASK));
  EXPECT_FALSE(keyInputFor(GDK_KEY_Shift_R, 0));
}

TEST(HostScrolling, WheelStepsAndTouchpadPixels) {
  // Down and right move the content offset down and right.
  EXPECT_EQ(scrollPoints(0, 1, true), Point(0, kWheelStepPoints));
  EXPECT_EQ(scrollPoints(-2, 0, true), Point(-2 * kWheelStepPoints, 0));
  EXPECT_EQ(scrollPoints(3.5, -7, false), Point(3.5f, -7));
  EXPECT_EQ(scrollPoints(NAN, INFINITY, true), Point(0, 0));
  // Up zooms in, down out, by the same step.
  EXPECT_FLOAT_EQ(wheelZoomFactor(-1), 1.1f);
  EXPECT_FLOAT_EQ(wheelZoomFactor(1), 1 / 1.1f);
  EXPECT_FLOAT_EQ(wheelZoomFactor(-2), 1.21f);
  EXPECT_FLOAT_EQ(wheelZoomFactor(NAN), 1);
}

TEST(HostTouches, IdsStayWithTheirSequenceAndNeverCollide) {
  TouchIds ids;
  int a = 0, b = 0;
  EXPECT_EQ(ids.begin(nullptr), TouchIds::kMouse);
  const int first = ids.begin(&a);
  const int second = ids.begin(&b);
  EXPECT_NE(first, second);
  EXPECT_NE(first, TouchIds::kMouse);
  EXPECT_EQ(ids.begin(&a), first);  // a repeated touch-down keeps its touch
  EXPECT_EQ(ids.find(&b), second);
  ids.end(&a);
  EXPECT_FALSE(ids.find(&a));
  // A new sequence at a reused address is a new touch, unlike any still down.
  const int again = ids.begin(&a);
  EXPECT_NE(again, first);
  EXPECT_NE(again, second);
  EXPECT_EQ(ids.down().size(), 3u);
}

TEST(HostText, PreeditCaretInUTF16Units) {
  // "aé😀b": the emoji takes two UTF-16 units.
  const std::string s = "a\xC3\xA9\xF0\x9F\x98\x80" "b";
  EXPECT_EQ(utf16Offset(s, 0), 0u);
  EXPECT_EQ(utf16Offset(s, 2), 2u);
  EXPECT_EQ(utf16Offset(s, 3), 4u);
  EXPECT_EQ(utf16Offset(s, 4), 5u);
  EXPECT_EQ(utf16Offset(s, 99), 5u);
}

TEST(HostClipboard, OnlyOurOwnTypesAreRead) {
  EXPECT_EQ(pasteboardTypeFor(mimeTypeFor("org.example.topic")), "org.example.topic");
  // Other applications' own types and other text encodings are not ours to read.
  EXPECT_FALSE(pasteboardTypeFor("application/x-gtk-text-buffer-rich-text"));
  EXPECT_FALSE(pasteboardTypeFor("application/x-a.b/c"));
  EXPECT_FALSE(pasteboardTypeFor("text/plain"));
  EXPECT_FALSE(pasteboardTypeFor("text/html"));
}

TEST(HostRunLoop, GLibWaitsUntilTheNextPassIsDue) {
  ManualClockScope clock;
  RunLoop& loop = RunLoop::main();
  EXPECT_EQ(MainLoop::waitMilliseconds(), -1);
  int target = 0;
  loop.performAfterDelay(&target, "later", {}, 0.0101, [] {});
  EXPECT_EQ(MainLoop::waitMilliseconds(), 11);  // rounded up: never woken before it is due
  clock.clock().advanceTo(clock.now() + 0.0101);
  EXPECT_EQ(MainLoop::waitMilliseconds(), 0);
  clock.runOnce();
  EXPECT_EQ(MainLoop::waitMilliseconds(), -1);
  loop.post([] {});
  EXPECT_EQ(MainLoop::waitMilliseconds(), 0);
  clock.runOnce();
}
