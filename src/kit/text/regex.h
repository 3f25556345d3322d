// ICU regular expressions over UTF-8 text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

class Regex {
 public:
  enum Flags : unsigned { None = 0, CaseInsensitive = 1, MultiLine = 2, DotAll = 4 };

  // An invalid pattern gives a regex that matches nothing (isValid() false).
  explicit Regex(std::string_view pattern, unsigned flags = None);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  bool isValid() const { return impl_ != nullptr; }
  // YES when the whole text matches.
  bool matchesWhole(std::string_view text) const;
  // YES when some part of the text matches.
  bool search(std::string_view text) const;
  // The groups of the first match (index 0 the whole match; a group that took no part is "").
  std::optional<std::vector<std::string>> firstMatch(std::string_view text) const;
  // Every match replaced by the template ("$1" names a group, "\$" a dollar sign); the text
  // unchanged when the pattern or the template is invalid.
  std::string replaceAll(std::string_view text, std::string_view replacement) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kit
