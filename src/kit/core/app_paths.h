// The application's folders. Everything the program stores lives below one home folder that
// lasts: $QUILLMERE_HOME, else $XDG_DATA_HOME/quillmere (when that is an absolute path), else
// ~/.local/share/quillmere. Tests point QUILLMERE_HOME at a temporary folder. The environment is
// read on every call.
#pragma once

#include <string>
#include <string_view>

namespace kit {

struct AppPaths {
  // The home folder (not created).
  static std::string home();
  // home/Documents, home/tmp, home/Preferences; created (with parents) when missing.
  static std::string documents();
  static std::string temporary();
  static std::string preferences();
  // home/Preferences, not created: for reading, which must not make the folder.
  static std::string preferencesPath();

  // Read-only resources: $QUILL_RESOURCES, else ../share/quillmere beside the executable's
  // folder (an installed program), else the source tree's resources/ (the build tree's
  // program), else a resources/ folder next to the executable.
  static std::string resources();
  // resources() + "/" + name.
  static std::string resource(std::string_view name);
};

}  // namespace kit
