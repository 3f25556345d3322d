#include "kit/core/app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kit {

namespace {

std::string envValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string userHome() {
  std::string h = envValue("HOME");
  if (!h.empty()) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string ensured(std::string path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return path;
}

std::string trimmedTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

bool isDirectory(const std::string& p) {
  std::error_code ec;
  return std::filesystem::is_directory(p, ec);
}

}  // namespace

std::string AppPaths::home() {
  std::string h = envValue("QUILLMERE_HOME");
  if (!h.empty()) return trimmedTrailingSlash(h);
  // A relative XDG_DATA_HOME is ignored, as desktops ignore it.
  const std::string data = envValue("XDG_DATA_HOME");
  if (!data.empty() && data.front() == '/') {
    std::string base = trimmedTrailingSlash(data);
    if (base == "/") base.clear();
    return base + "/quillmere";
  }
  return userHome() + "/.local/share/quillmere";
}

std::string AppPaths::documents() { return ensured(home() + "/Documents"); }

std::string AppPaths::temporary() { return ensured(home() + "/tmp"); }

std::string AppPaths::preferencesPath() { return home() + "/Preferences"; }

std::string AppPaths::preferences() { return ensured(preferencesPath()); }

std::string AppPaths::resources() {
  std::string r = envValue("QUILL_RESOURCES");
  if (!r.empty()) return trimmedTrailingSlash(r);
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  // Installed: PREFIX/bin/quillmere reads PREFIX/share/quillmere.
  if (!ec) {
    const std::string installed = (exe.parent_path().parent_path() / "share" / "quillmere").string();
    if (isDirectory(installed)) return installed;
  }
#ifdef QUILL_SOURCE_DIR
  std::string source = std::string(QUILL_SOURCE_DIR) + "/resources";
  if (isDirectory(source)) return source;
#endif
  if (!ec) return (exe.parent_path() / "resources").string();
  return "resources";
}

std::string AppPaths::resource(std::string_view name) { return resources() + "/" + std::string(name); }

}  // namespace kit
