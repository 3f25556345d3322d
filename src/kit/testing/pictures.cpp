#include "kit/testing/pictures.h"

#include <filesystem>
#include <system_error>

#include "kit/core/files.h"

namespace kit {

bool writeTestPicture(const ImageRef& image, const std::string& name) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !image) return false;
  const std::string folder = (self.parent_path() / "pictures").string();
  const auto png = image->pngData();
  return png && FileManager::createDirectories(folder) && FileManager::writeAtomically(folder + "/" + name, *png);
}

}  // namespace kit
