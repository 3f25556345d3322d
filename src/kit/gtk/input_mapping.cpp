#include "kit/gtk/input_mapping.h"

#include <gdk/gdk.h>

#include <cmath>

namespace kit::gtk {

namespace {
// Ctrl+wheel: one step zooms by this factor.
constexpr double kWheelZoomStep = 1.1;
}  // namespace

bool isShakeKey(unsigned keyval) { return keyval == GDK_KEY_F6; }

unsigned modifiersFor(unsigned gdkState) {
  unsigned m = 0;
  if (gdkState & GDK_SHIFT_MASK) m |= kShift;
  if (gdkState & GDK_CONTROL_MASK) m |= kControl;
  if (gdkState & GDK_ALT_MASK) m |= kAlt;
  if (gdkState & GDK_SUPER_MASK) m |= kSuper;
  return m;
}

std::optional<KeyInput> keyInputFor(unsigned keyval, unsigned gdkState) {
  KeyInput k;
  k.modifiers = modifiersFor(gdkState);
  switch (keyval) {
    case GDK_KEY_BackSpace: k.key = Key::Backspace; return k;
    case GDK_KEY_Delete: case GDK_KEY_KP_Delete: k.key = Key::Delete; return k;
    case GDK_KEY_Return: case GDK_KEY_KP_Enter: case GDK_KEY_ISO_Enter: k.key = Key::Return; return k;
    case GDK_KEY_Tab: case GDK_KEY_KP_Tab: case GDK_KEY_ISO_Left_Tab: k.key = Key::Tab; return k;
    case GDK_KEY_Escape: k.key = Key::Escape; return k;
    case GDK_KEY_Left: case GDK_KEY_KP_Left: k.key = Key::Left; return k;
    case GDK_KEY_Right: case GDK_KEY_KP_Right: k.key = Key::Right; return k;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: k.key = Key::Up; return k;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: k.key = Key::Down; return k;
    case GDK_KEY_Home: case GDK_KEY_KP_Home: k.key = Key::Home; return k;
    case GDK_KEY_End: case GDK_KEY_KP_End: k.key = Key::End; return k;
    default: break;
  }
  switch (keyval) {
    case GDK_KEY_Shift_L: case GDK_KEY_Shift_R: case GDK_KEY_Control_L: case GDK_KEY_Control_R:
    case GDK_KEY_Alt_L: case GDK_KEY_Alt_R: case GDK_KEY_Meta_L: case GDK_KEY_Meta_R:
    case GDK_KEY_Super_L: case GDK_KEY_Super_R: case GDK_KEY_Hyper_L: case GDK_KEY_Hyper_R:
    case GDK_KEY_Caps_Lock: case GDK_KEY_Shift_Lock: case GDK_KEY_Num_Lock: case GDK_KEY_ISO_Level3_Shift:
    case GDK_KEY_ISO_Level5_Shift: case GDK_KEY_Mode_switch: case GDK_KEY_VoidSymbol:
      return std::nullopt;
    default: break;
  }
  k.key = Key::Other;
  // Ctrl+Shift+Z reads "z": the shortcut's character, its shift in the modifiers.
  if (gunichar c = gdk_keyval_to_unicode(gdk_keyval_to_lower(keyval)); c >= 0x20 && c != 0x7f) {
    char buf[8];
    int n = g_unichar_to_utf8(c, buf);
    k.character.assign(buf, static_cast<std::size_t>(n));
  }
  return k;
}

Point scrollPoints(double dx, double dy, bool wheelUnits) {
  const double s = wheelUnits ? kWheelStepPoints : 1.0;
  auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
  return Point(static_cast<Float>(finite(dx) * s), static_cast<Float>(finite(dy) * s));
}

float wheelZoomFactor(double stepsY) {
  if (!std::isfinite(stepsY)) return 1;
  return static_cast<float>(std::pow(kWheelZoomStep, -stepsY));
}

std::size_t utf16Offset(std::string_view utf8, std::size_t characters) {
  std::size_t units = 0, i = 0;
  for (std::size_t n = 0; n < characters && i < utf8.size(); ++n) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

int TouchIds::begin(const void* sequence) {
  if (auto it = down_.find(sequence); it != down_.end()) return it->second;
  int id = sequence ? next_++ : kMouse;
  down_.emplace(sequence, id);
  return id;
}

std::optional<int> TouchIds::find(const void* sequence) const {
  auto it = down_.find(sequence);
  if (it == down_.end()) return std::nullopt;
  return it->second;
}

void TouchIds::end(const void* sequence) { down_.erase(sequence); }

}  // namespace kit::gtk
