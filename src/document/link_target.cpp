#include "document/link_target.h"

#include <cctype>
#include <optional>

#include "helpers/strings.h"
#include "kit/text/escape.h"

namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool isURIChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (std::isalnum(u)) return true;
  return std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

// Characters that may not stand in a URI become %XX; escapes already written stay as they are.
std::string escaped(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (isURIChar(c) || (c == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2]))) {
      out += c;
    } else {
      const unsigned char u = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

// The scheme before the first ":", lower-cased, when the link starts with one.
std::optional<std::string> schemeOf(std::string_view link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string scheme;
  for (std::size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(link[i]);
    if (!(std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.')))) return std::nullopt;
    scheme += static_cast<char>(std::tolower(c));
  }
  return scheme;
}

LinkTarget address(std::string uri) { return LinkTarget{LinkTarget::Kind::Address, std::move(uri)}; }

LinkTarget mapFile(std::string_view path) {
  if (path.empty() || !strings::pathHasExtensionNoCase(path, "qlm")) return {};
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20) return {};  // an escaped control or NUL
  return LinkTarget{LinkTarget::Kind::Map, std::string(path)};
}

}  // namespace

LinkTarget LinkTarget::forLink(std::string_view link) {
  while (!link.empty() && link.front() == ' ') link.remove_prefix(1);
  while (!link.empty() && link.back() == ' ') link.remove_suffix(1);
  for (char c : link)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
  if (strings::isEmailAddress(link)) return address("mailto:" + std::string(link));
  if (strings::hasCaseInsensitivePrefix(link, "www.")) return forLink("http://" + std::string(link));

  const std::optional<std::string> scheme = schemeOf(link);
  if (!scheme) return mapFile(link);
  std::string_view rest = link.substr(scheme->size() + 1);
  if (*scheme == "http" || *scheme == "https" || *scheme == "ftp") {
    if (rest.substr(0, 2) != "//") return {};
    const std::string_view host = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
    if (host.empty()) return {};
    for (char c : host)
      if (!isURIChar(c) && c != '%') return {};
    return address(*scheme + ":" + escaped(rest));
  }
  if (*scheme == "mailto") {
    const std::size_t query = rest.find('?');
    if (!strings::isEmailAddress(rest.substr(0, query))) return {};
    return address("mailto:" + escaped(rest));
  }
  if (*scheme == "file") {
    if (rest.substr(0, 2) != "//") return {};
    rest.remove_prefix(2);
    if (strings::hasCaseInsensitivePrefix(rest, "localhost/")) rest.remove_prefix(9);
    if (rest.empty() || rest.front() != '/') return {};
    const std::optional<std::string> path = kit::percentUnescape(rest);
    return path ? mapFile(*path) : LinkTarget{};
  }
  return {};
}
