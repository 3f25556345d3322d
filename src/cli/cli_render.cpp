// The render command: read the input, build the map through a headless document controller and
// its canvas, lay it out when it carries no positions, and write the output.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <istream>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <utility>

#include "app/app_delegate.h"
#include "cli/cli.h"
#include "document/map_import.h"
#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_file_formats.h"
#include "kit/core/app_paths.h"
#include "kit/core/exit_cleanup.h"
#include "kit/core/files.h"
#include "kit/core/format.h"
#include "kit/core/replacement_file.h"
#include "kit/core/user_defaults.h"
#include "kit/io/plist.h"
#include "kit/typography/font.h"
#include "kit/ui/alert.h"
#include "model/app_services.h"
#include "model/asset_library.h"
#include "model/map_theme.h"
#include "model/node_view.h"

namespace cli {

namespace {

constexpr const char* kHomeVariable = "QUILLMERE_HOME";
constexpr const char* kTransparentKey = "export_options_transparent_background";
constexpr const char* kHTMLMapKey = "export_options_png_include_html_map";

// A failure with its one-line message.
struct Failure {
  std::string message;
};

constexpr const char* kHomePrefix = "quillmere-";
// A home whose run was killed outright is removed by a later run after this long.
constexpr std::time_t kStaleHomeAge = 6 * 60 * 60;

// Homes of earlier runs that were killed before they could remove them: named after a process
// that is gone, and untouched for hours (a process of another pid namespace may look gone).
void removeStaleHomes(const std::string& folder) {
  const std::optional<std::vector<std::string>> names = kit::FileManager::listDirectory(folder);
  if (!names) return;
  const std::time_t now = std::time(nullptr);
  for (const std::string& name : *names) {
    if (name.rfind(kHomePrefix, 0) != 0) continue;
    const std::string rest = name.substr(std::strlen(kHomePrefix));
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.size() != dash + 7 ||
        rest.find_first_not_of("0123456789") != dash)
      continue;
    const long pid = std::strtol(rest.c_str(), nullptr, 10);
    const std::string path = folder + "/" + name;
    struct stat st;
    if (pid <= 0 || ::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        now - st.st_mtime < kStaleHomeAge)
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    kit::FileManager::remove(path);
  }
}

// The application home for one run: a fresh temporary folder unless QUILLMERE_HOME names one,
// so that the command never writes into the user's own home. It carries the process id, so that
// a later run can tell when it was left behind.
class CommandHome {
 public:
  CommandHome() {
    const char* set = std::getenv(kHomeVariable);
    if (set && *set) {
      ok_ = true;
      return;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    removeStaleHomes(folder);
    std::optional<std::string> made = kit::ExitCleanup::createRegistered([&]() -> std::optional<std::string> {
      std::string pattern = folder + "/" + kHomePrefix + std::to_string(::getpid()) + "-XXXXXX";
      if (!mkdtemp(pattern.data())) return std::nullopt;
      return pattern;
    });
    if (!made) return;
    path_ = *made;
    setenv(kHomeVariable, path_.c_str(), 1);
    kit::UserDefaults::resetStandard();
    ok_ = true;
  }
  ~CommandHome() {
    if (path_.empty()) return;
    kit::UserDefaults::resetStandard();
    unsetenv(kHomeVariable);
    kit::FileManager::remove(path_);
    kit::ExitCleanup::forget(path_);
  }
  CommandHome(const CommandHome&) = delete;
  CommandHome& operator=(const CommandHome&) = delete;
  bool ok() const { return ok_; }
  // A home made for this run, removed afterwards.
  bool temporary() const { return !path_.empty(); }

 private:
  std::string path_;
  bool ok_ = false;
};

// A user setting held at a value for the run, then put back as the user's own settings had it
// (a home named by QUILLMERE_HOME keeps its settings). A temporary home goes with its settings:
// there the value is only registered for the run, and no settings file is written (each write
// waits for the disk).
class SettingForRun {
 public:
  SettingForRun(std::string key, kit::Value value, bool stored) : key_(std::move(key)), stored_(stored) {
    kit::UserDefaults& d = kit::UserDefaults::standard();
    if (!stored_) {
      d.registerDefaults(kit::Dictionary{{key_, std::move(value)}});
      return;
    }
    d.synchronize();
    if (std::optional<kit::Value> stored = kit::plist::readFile(d.path()); stored && stored->isDictionary())
      previous_ = (*stored)[key_];
    d.setObject(key_, std::move(value));
  }
  ~SettingForRun() {
    if (!stored_) return;
    kit::UserDefaults& d = kit::UserDefaults::standard();
    d.setObject(key_, previous_);
    d.synchronize();
  }
  SettingForRun(const SettingForRun&) = delete;
  SettingForRun& operator=(const SettingForRun&) = delete;

 private:
  std::string key_;
  bool stored_;
  kit::Value previous_;
};

// The process-wide drawing values go back to what they were: the command may run inside a
// longer-lived process (its tests do).
class DrawingValuesScope {
 public:
  DrawingValuesScope()
      : style_(AppServices::currentCanvasStyle()),
        rainbow_(AppServices::rainbowFlag()),
        shadow_(AppServices::dropShadowFlag()) {}
  ~DrawingValuesScope() {
    AppServices::setCurrentCanvasStyle(style_);
    AppServices::setRainbowFlag(rainbow_);
    AppServices::setDropShadowFlag(shadow_);
  }
  DrawingValuesScope(const DrawingValuesScope&) = delete;
  DrawingValuesScope& operator=(const DrawingValuesScope&) = delete;

 private:
  int style_;
  bool rainbow_, shadow_;
};

std::string displayName(const std::string& path) { return path == "-" ? std::string("standard input") : "'" + path + "'"; }

std::string sizeText(std::uint64_t n) {
  if (n >= (1u << 30) && n % (1u << 30) == 0) return std::to_string(n >> 30) + " GiB";
  if (n >= (1u << 20) && n % (1u << 20) == 0) return std::to_string(n >> 20) + " MiB";
  return std::to_string(n) + " bytes";
}

// Reads in chunks and stops past the limit, so an endless stream cannot take all memory.
std::string readLimited(std::istream& in, const RenderOptions& o) {
  std::string bytes;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    const auto n = static_cast<std::size_t>(in.gcount());
    if (bytes.size() + n > o.inputLimit)
      throw Failure{"cannot read " + displayName(o.input) + ": it is larger than " + sizeText(o.inputLimit)};
    bytes.append(chunk, n);
  }
  if (in.bad()) throw Failure{"cannot read " + displayName(o.input)};
  return bytes;
}

std::string readInput(const RenderOptions& o, std::istream& in) {
  const std::string& path = o.input;
  if (path == "-") return readLimited(in, o);
  if (kit::FileManager::isDirectory(path)) throw Failure{"cannot read '" + path + "': it is a folder"};
  if (!kit::FileManager::exists(path)) throw Failure{"cannot read '" + path + "': no such file"};
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > o.inputLimit)
    throw Failure{"cannot read '" + path + "': it is larger than " + sizeText(o.inputLimit)};
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw Failure{"cannot read '" + path + "': " + std::strerror(errno)};
  return readLimited(file, o);
}

using MapImport::InputKind;
using MapImport::inputKindFor;

// The records of an XML map or OPML document; a document with no topic is refused too.
MapFormats::ParsedMap parseXML(std::string_view xml, const std::string& what) {
  std::string why;
  std::optional<MapFormats::ParsedMap> map = MapImport::parseXML(xml, why);
  if (!map) throw Failure{"cannot read " + what + ": " + why};
  return std::move(*map);
}

MapFormats::ParsedMap parseOutline(std::string_view bytes, const std::string& what) {
  std::string why;
  std::optional<MapFormats::ParsedMap> map = MapImport::parseOutline(bytes, why);
  if (!map) throw Failure{"cannot read " + what + ": " + why};
  return std::move(*map);
}

// Topic images live in the map's asset folder in the application home. A run in a temporary
// home reads a copy of that folder, so that nothing in the user's own home is ever written.
void bringMapAssets(const std::string& applicationHome, const std::string& mapPath) {
  std::optional<AssetLibrary> library = AssetLibrary::assetLibraryForMap(PseudoMapViewController::mapIDForFile(mapPath));
  const std::string runHome = kit::AppPaths::home();
  const std::string to = library ? library->getAssetFolder() : std::string();
  if (applicationHome == runHome || to.rfind(runHome + "/", 0) != 0) return;
  const std::string from = applicationHome + to.substr(runHome.size());
  if (!kit::FileManager::isDirectory(from) || kit::FileManager::exists(to)) return;
  const std::size_t slash = to.find_last_of('/');
  if (kit::FileManager::createDirectories(to.substr(0, slash))) kit::FileManager::copy(from, to);
}

// A map file: its settings, theme and topics, through the document controller.
void loadMapFile(PseudoMapViewController& doc, const RenderOptions& o, std::string_view bytes,
                 const kit::AlertCapture& alerts, const std::string& applicationHome) {
  const std::string what = displayName(o.input);
  kit::plist::ReadFailure why;
  std::optional<kit::Value> file = kit::plist::read(bytes, why);
  if (why == kit::plist::ReadFailure::TooDeep) throw Failure{"cannot read " + what + ": it is nested too deeply"};
  if (!file || !file->isDictionary() || !(*file)["MapData"].isString())
    throw Failure{"cannot read " + what + ": it is not a map file"};
  parseXML((*file)["MapData"].string(), what);

  std::string path = o.input;
  if (path == "-") {
    path = kit::AppPaths::temporary() + "/Map.qlm";
    if (!kit::FileManager::writeAtomically(path, bytes)) throw Failure{"cannot read standard input: no room for it"};
  }
  bringMapAssets(applicationHome, path);
  if (!doc.loadMapFromFile(path))
    throw Failure{"cannot read " + what + (alerts.last().empty() ? std::string() : ": " + alerts.last())};
  if (o.defaultTheme) {
    doc.setTheme(std::shared_ptr<MapTheme>(MapTheme::themeDefault()));
    if (NodeView* root = doc.bigView()->rootNode()) root->evaluateDisplayAttributes(true);
    // New sizes need new places when the map keeps itself organised.
    MapImport::layOut(*doc.bigView(), false);
    if (doc.getKeepOrganised()) doc.bigView()->rearrangeAll(false);
  }
}

// A map from records: a new map with the default theme.
void buildMap(PseudoMapViewController& doc, const RenderOptions& o, MapFormats::ParsedMap map,
              const std::string& mapName) {
  if (!MapImport::buildNewMap(doc, std::move(map), mapName, o.rainbow, o.canvasStyle.value_or(0)))
    throw Failure{"cannot read " + displayName(o.input) + ": it holds no topics"};
}

std::string folderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why path cannot be written, found by making the file that would replace it; nullopt when it
// can be.
std::optional<std::string> whyNotWritable(const std::string& path) {
  if (kit::FileManager::isDirectory(path)) return std::string("it is a folder");
  if (!kit::ReplacementFile::create(path)) return std::string(std::strerror(errno));
  return std::nullopt;
}

// A --max-area too small for one point a side, with the least area that gives this map one.
void checkCut(BigView& canvas, const RenderOptions& o, const kit::Rect& cut) {
  if (!o.maxArea || (cut.width() >= 1 && cut.height() >= 1)) return;
  const kit::Rect whole = canvas.getAdjustedScreenshotRect(std::numeric_limits<float>::infinity());
  const double ratio = whole.height() > 0 ? double(whole.width()) / whole.height() : 1.0;
  float least = static_cast<float>(std::ceil(std::max(ratio, 1.0 / ratio)));
  for (int i = 0; i < 64; ++i, least += 1) {
    const kit::Rect r = canvas.getAdjustedScreenshotRect(least);
    if (r.width() >= 1 && r.height() >= 1) break;
  }
  throw Failure{kit::format("cannot write '%@': --max-area %g leaves less than one point on a side of this map; it needs at least %g",
                            o.output, double(*o.maxArea), double(least))};
}

// The files the output makes, each refused, with the reason, when it cannot be written.
std::vector<std::string> writableTargets(const RenderOptions& o) {
  const std::string folder = folderOf(o.output);
  if (!kit::FileManager::isDirectory(folder) && !kit::FileManager::exists(folder + "/."))
    throw Failure{"cannot write '" + o.output + "': no such folder '" + folder + "'"};
  std::vector<std::string> targets{o.output};
  if (o.htmlMap) targets.push_back(o.output.substr(0, o.output.size() - 4) + ".html");
  for (const std::string& t : targets)
    if (std::optional<std::string> why = whyNotWritable(t)) throw Failure{"cannot write '" + t + "': " + *why};
  return targets;
}

void writeOutput(PseudoMapViewController& doc, const RenderOptions& o, bool storedSettings) {
  BigView& canvas = *doc.bigView();
  NodeView* root = canvas.rootNode();
  bool ok = false;
  switch (o.kind) {
    case OutputKind::PNG:
    case OutputKind::JPEG:
    case OutputKind::PDF: {
      // The export reads these from the settings: they hold what this command line says.
      SettingForRun transparent(kTransparentKey, kit::Value(o.transparent), storedSettings);
      SettingForRun htmlMap(kHTMLMapKey, o.htmlMap ? kit::Value(true) : kit::Value(), storedSettings);
      // The page shows its image by the map's name: the image's own file name.
      if (o.htmlMap) doc.setMapName(GlobalHelpers::getMapNameFromPath(o.output));
      const kit::Rect cut = canvas.getAdjustedScreenshotRect(o.maxArea.value_or(std::numeric_limits<float>::infinity()));
      checkCut(canvas, o, cut);
      ok = canvas.saveScreenshotToFile(o.output, cut, o.watermark);
      break;
    }
    case OutputKind::MapFile:
      ok = doc.saveMapToFile(o.output);
      break;
    case OutputKind::Markdown: {
      const std::string text = root ? canvas.buildMarkdownOutlineFor(root) : std::string();
      if (root && text.empty())
        throw Failure{"cannot write '" + o.output + "': the outline would be larger than 1 GiB"};
      ok = !text.empty() && kit::FileManager::writeAtomically(o.output, text);
      break;
    }
  }
  if (!ok) {
    writableTargets(o);
    throw Failure{"cannot write '" + o.output + "'"};
  }
}

}  // namespace

std::string oneLine(std::string_view message) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  std::string line;
  for (std::size_t i = 0; i < message.size();) {
    if (message[i] != '\n' && message[i] != '\r') {
      line += message[i++];
      continue;
    }
    // A line break and the blanks about it become one space.
    while (!line.empty() && blank(line.back())) line.pop_back();
    while (i < message.size() && blank(message[i])) ++i;
    if (!line.empty() && i < message.size()) line += ' ';
  }
  return line;
}

int render(const RenderOptions& o, std::istream& in, std::ostream& err) {
  try {
    // Reading the font configuration is the longest step of a small render: it goes on while
    // the input is read and the document made (the central topic's default font first).
    kit::prepareFontsInBackground(kit::Font::systemFont(18));
    const std::string bytes = readInput(o, in);
    const std::string applicationHome = kit::AppPaths::home();  // where the maps' images are
    CommandHome home;
    if (!home.ok()) throw Failure{"cannot make a temporary folder for the application home"};
    DrawingValuesScope drawingValues;
    kit::AlertCapture alerts;
    AppDelegate app;
    app.rereadSettings();
    std::unique_ptr<PseudoMapViewController> doc = PseudoMapViewController::initForExport();

    const std::string what = displayName(o.input);
    const std::string mapName = o.input == "-" ? std::string() : GlobalHelpers::getMapNameFromPath(o.input);
    const InputKind kind = inputKindFor(o.input, bytes);
    switch (kind) {
      case InputKind::MapFile:
        loadMapFile(*doc, o, bytes, alerts, applicationHome);
        if (o.rainbow) doc->setRainbow(true);
        if (o.canvasStyle) doc->setCanvasStyle(*o.canvasStyle);
        writableTargets(o);
        break;
      case InputKind::MapXML:
      case InputKind::Outline: {
        MapFormats::ParsedMap map = kind == InputKind::MapXML ? parseXML(bytes, what) : parseOutline(bytes, what);
        // Checked once the input is known to be good, while the fonts may still be loading.
        writableTargets(o);
        buildMap(*doc, o, std::move(map), mapName);
        break;
      }
    }
    if (!doc->bigView()->rootNode()) throw Failure{"cannot read " + what + ": it holds no topics"};
    writeOutput(*doc, o, !home.temporary());
    return kExitOK;
  } catch (const Failure& f) {
    err << "quillmere: " << oneLine(f.message) << "\n";
  } catch (const std::bad_alloc&) {
    err << "quillmere: out of memory\n";
  } catch (const std::exception& e) {
    err << "quillmere: " << oneLine(e.what()) << "\n";
  }
  return kExitFailure;
}

}  // namespace cli
