#include "kit/core/name_limit.h"

#include <unistd.h>

namespace kit {

std::string fitName(std::string_view stem, std::string_view ending, std::size_t limit) {
  std::size_t keep = limit > ending.size() ? limit - ending.size() : 0;
  if (keep < stem.size())
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;  // a continuation byte
  std::string name(stem.substr(0, keep));
  name += ending;
  return name;
}

std::size_t nameLimitIn(const std::string& folder) {
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : kNameLimit;
}

}  // namespace kit
