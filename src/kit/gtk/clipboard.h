// kit's general pasteboard backed by the desktop clipboard. Publishing puts the first item on the
// clipboard: text as "text/plain;charset=utf-8", PNG, JPEG and GIF images under their MIME
// types, any other (private) type as "application/x-" followed by its name. Of contents another
// application puts there only the types are taken when they arrive (GDK has them already); a
// type's bytes are read when the pasteboard asks for its value, within one cap for all types.
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
  // Bytes read of one clipboard's contents at most, all types together; a type that would pass
  // it is left unread.
  static constexpr std::size_t kReadLimit = std::size_t(64) << 20;
  // How long one read waits for the clipboard's owner at most; an owner that does not finish in
  // time gives nothing (and is not asked for that type again).
  static constexpr double kReadWaitSeconds = 5.0;

  // The default display's clipboard. GTK must be initialised.
  ClipboardHost();
  ~ClipboardHost() override;
  ClipboardHost(const ClipboardHost&) = delete;
  ClipboardHost& operator=(const ClipboardHost&) = delete;

  void publish(const Pasteboard& board) override;
  std::optional<std::vector<std::string>> fetchChangedTypes(const Pasteboard& board) override;
  Read read(std::string_view type, std::size_t maxBytes) override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace kit::gtk
