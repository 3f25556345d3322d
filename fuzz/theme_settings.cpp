// Arbitrary bytes as the settings and theme of a map file and as the application's preferences.
// The map itself is a fixed one, so that every input reaches the interpretation: the settings
// become the process-wide drawing values, the theme styles topics of every level, and the map is
// laid out and drawn.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_delegate.h"
#include "document/map_file.h"
#include "document/pseudo_map_view_controller.h"
#include "fuzz_folder.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image_context.h"
#include "kit/io/plist.h"
#include "kit/ui/alert.h"
#include "model/map_theme.h"

namespace {

// Topics of levels 0 to 7, a floating topic and a callout, none with a style of its own.
constexpr std::string_view kMap =
    "<QuillmereRelative version=\"1\">"
    "<topic level=\"0\" x=\"17280\" y=\"15360\" text=\"Centre\"/>"
    "<topic level=\"1\" text=\"One\"/><topic level=\"2\" text=\"Two\"/><topic level=\"3\" text=\"Three\"/>"
    "<topic level=\"4\" text=\"Four\"/><topic level=\"5\" text=\"Five\"/><topic level=\"6\" text=\"Six\"/>"
    "<topic level=\"7\" text=\"Seven\" percent=\"40\" due=\"1700000000\"/>"
    "<topic level=\"1\" text=\"Left\" x=\"16000\" y=\"15360\"/>"
    "<topic level=\"1\" text=\"Floating\" floating=\"1\" x=\"18000\" y=\"16000\"/>"
    "<topic level=\"2\" text=\"Callout\" callout=\"1\"/>"
    "</QuillmereRelative>";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QUILLMERE_HOME", fuzzFolder().c_str(), 1);
  if (!kit::FileManager::createDirectories(kit::AppPaths::preferences())) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<kit::Value> value = kit::plist::read(input);
  kit::Value file = value && value->isDictionary() ? *value : kit::Value(kit::Dictionary{});
  // A theme that is not under its key is read as the theme too.
  if (value && file[MapFile::kThemeKey].isNull()) file.set(MapFile::kThemeKey, *value);
  file.set(MapFile::kMapDataKey, kit::Value(std::string(kMap)));

  // The same bytes as the user's preferences.
  kit::UserDefaults::resetStandard();
  const std::string prefs = kit::AppPaths::preferences() + "/" + kit::UserDefaults::kFileName;
  if (!kit::FileManager::writeAtomically(prefs, input)) return 0;
  AppDelegate delegate;
  delegate.applicationDidBecomeActive();

  const std::string path = kit::AppPaths::documents() + "/fuzz.qlm";
  if (!kit::FileManager::createDirectories(kit::AppPaths::documents()) || !kit::plist::writeFile(path, file))
    return 0;
  {
    auto doc = PseudoMapViewController::initForExport();
    if (!doc->loadMapFromFile(path)) std::abort();  // the map is always readable
    MapTheme* theme = doc->getTheme();
    if (!theme) std::abort();
    for (int level = -1; level < 12; ++level) (void)theme->valuesForLevel(level);
    (void)theme->getColourSet();
    (void)doc->canvasColour();
    (void)doc->getInheritColour();
    if (auto image = kit::ImageContext::create(kit::Size(160, 120), false, 1)) {
      doc->bigView()->dumpToContext(image->context());
    }
  }
  kit::FileManager::remove(path);
  kit::Alert::clearShown();
  return 0;
}
