// Arbitrary bytes through both tar readers. Extraction goes into <root>/inside; anything that
// appears elsewhere under <root> is an escape and stops the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "helpers/compression.h"

namespace fs = std::filesystem;

namespace {

const std::string& root() { return fuzzFolder(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> archive(data, size);

  // Look for the first header's own name, and for a fixed one.
  if (size >= 100) {
    const auto* chars = reinterpret_cast<const char*>(data);
    std::string_view name(chars, 100);
    name = name.substr(0, name.find('\0'));
    const auto found = data::extractTarredFile(archive, name);
    if (found && found->empty()) std::abort();  // empty entries are never a match
  }
  (void)data::extractTarredFile(archive, "Document.xml");

  const std::string inside = root() + "/inside";
  std::error_code ec;
  fs::create_directories(inside, ec);
  const int written = data::extractTarredFilesTo(archive, inside);
  if (written < 0) std::abort();
  for (const auto& entry : fs::directory_iterator(root(), ec)) {
    if (entry.path().filename() != "inside") {
      std::fprintf(stderr, "tar entry escaped the target folder: %s\n", entry.path().c_str());
      std::abort();
    }
  }
  fs::remove_all(inside, ec);
  return 0;
}
