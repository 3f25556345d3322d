// Where a topic's link leads when it is followed, and the service that takes it there. Links
// come from map files and the clipboard, so they are checked here: only web and mail addresses
// and map files lead anywhere, and never through a shell.
#pragma once

#include <string>
#include <string_view>

struct LinkTarget {
  enum class Kind { None, Address, Map };
  Kind kind = Kind::None;
  // Address: an http, https, ftp or mailto URI for the desktop's handler, with every character
  // that may not stand in a URI escaped. Map: a map file's path as the link gives it (absolute,
  // or relative to the open map's folder).
  std::string value;

  // A bare e-mail address is a mail address and "www." a web one; a `file:` URI or a path
  // without a scheme leads to a map file (.qlm) and nowhere else; other schemes (javascript:,
  // data:, ...), addresses without a host and links holding control characters lead nowhere.
  static LinkTarget forLink(std::string_view link);
};

class LinkOpener {
 public:
  virtual ~LinkOpener() = default;
  virtual void openAddress(const std::string& uri) = 0;
  virtual void openMap(const std::string& path) = 0;
};
