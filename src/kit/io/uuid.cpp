#include "kit/io/uuid.h"

#include <uuid/uuid.h>

namespace kit {

std::string newUUIDString() {
  uuid_t u;
  uuid_generate_random(u);
  char text[37];
  uuid_unparse_upper(u, text);
  return std::string(text, 36);
}

std::optional<UUIDBytes> parseUUID(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  char buf[37];
  text.copy(buf, 36);
  buf[36] = '\0';
  uuid_t u;
  if (uuid_parse(buf, u) != 0) return std::nullopt;
  UUIDBytes out;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = u[i];
  return out;
}

}  // namespace kit
