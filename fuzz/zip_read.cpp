// Arbitrary bytes as a ZIP archive unpacked into a fresh folder. Whatever happens, nothing may
// land outside that folder: the folder beside it stays empty and no link is followed out.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_folder.h"
#include "kit/core/files.h"
#include "kit/io/zip.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& root = fuzzFolder();
  const std::string archive = root + "/in.zip";
  const std::string into = root + "/box/inner";
  if (!kit::FileManager::writeAtomically(archive, std::span<const std::uint8_t>(data, size))) return 0;
  (void)kit::unzipFile(archive, into);
  // Only the archive and the folder it was asked to fill.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    const std::string name = entry.path().filename().string();
    if (name != "in.zip" && name != "box") std::abort();
  }
  for (const auto& entry : fs::directory_iterator(root + "/box", ec))
    if (entry.path().filename() != "inner") std::abort();
  // Nothing extracted is a link (a link could lead a later entry out).
  for (auto it = fs::recursive_directory_iterator(into, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_symlink()) std::abort();
  fs::remove_all(root + "/box", ec);
  fs::remove(archive, ec);
  return 0;
}
