// kit's general pasteboard backed by the desktop clipboard. Publishing puts the first item on the
// clipboard: text as "text/plain;charset=utf-8", PNG, JPEG and GIF images under their MIME
// types, any other (private) type as "application/x-" followed by its name. Contents another
// application puts there are read as they arrive (GDK reads asynchronously) into a cache that
// the next pasteboard read takes over; each type read is capped, so a huge paste never freezes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/ui/pasteboard.h"

namespace kit::gtk {

// The MIME type a pasteboard type is published under, and the pasteboard type a MIME type read
// from the clipboard stands for (nullopt: not one we read).
std::string mimeTypeFor(std::string_view pasteboardType);
std::optional<std::string> pasteboardTypeFor(std::string_view mimeType);

class ClipboardHost : public PasteboardHost {
 public:
  // Bytes read of one type at most; a larger one is left out.
  static constexpr std::size_t kReadLimit = std::size_t(64) << 20;
  // How long a pasteboard read waits for the clipboard reads still under way (once per change of
  // the clipboard).
  static constexpr double kReadWaitSeconds = 0.5;

  // The default display's clipboard. GTK must be initialised.
  ClipboardHost();
  ~ClipboardHost() override;
  ClipboardHost(const ClipboardHost&) = delete;
  ClipboardHost& operator=(const ClipboardHost&) = delete;

  void publish(const Pasteboard& board) override;
  std::optional<std::vector<Dictionary>> fetchChanged(const Pasteboard& board) override;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace kit::gtk
