// Fonts: the system font (DejaVu Sans) in regular, bold and italic, and the few named faces the
// maps use, with their metrics at 72 dpi.
#pragma once

#include <optional>
#include <string>

#include "kit/core/geometry.h"

namespace kit {

class Font {
 public:
  static Font systemFont(Float size);
  static Font boldSystemFont(Float size);
  static Font italicSystemFont(Float size);
  // The Helvetica names ("Helvetica", "Helvetica-Bold", "Helvetica-Oblique",
  // "Helvetica-BoldOblique") map onto the matching DejaVu Sans face; the DejaVu Sans names are
  // accepted as they are. Other names give nullopt.
  static std::optional<Font> fontWithName(const std::string& name, Float size);

  // A name fontWithName accepts and maps back to this face.
  const std::string& fontName() const { return name_; }
  const std::string& familyName() const;
  Float pointSize() const { return size_; }
  bool isBold() const { return bold_; }
  bool isItalic() const { return italic_; }
  Font withSize(Float size) const;

  // Metrics in points: ascender above the baseline (positive), descender below it (negative),
  // and the height of one line (ascender - descender).
  Float ascender() const;
  Float descender() const;
  Float lineHeight() const;

  friend bool operator==(const Font& a, const Font& b) {
    return a.size_ == b.size_ && a.bold_ == b.bold_ && a.italic_ == b.italic_ && a.name_ == b.name_;
  }

 private:
  Font(std::string name, Float size, bool bold, bool italic);
  std::string name_;
  Float size_;
  bool bold_, italic_;
};

// Starts reading the system's font configuration, and loading first's face, on another thread,
// so that they are ready, or nearly, when the calling thread first measures or draws text (which
// waits for them). Later calls do nothing.
void prepareFontsInBackground(const Font& first);

}  // namespace kit
