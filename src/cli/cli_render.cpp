// The render command: read the input, build the map through a headless document controller and
// its canvas, lay it out when it carries no positions, and write the output.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// A fresh folder "<folder>/quillmere-<pid>-XXXXXX", removed when the run ends or is interrupted.
// It carries the process id, so that a later run can tell when it was left behind.
std::optional<std::string> makeRunFolder(const std::string& folder) {
  return kit::ExitCleanup::createRegistered([&]() -> std::optional<std::string> {
    std::string pattern = folder + "/" + kHomePrefix + std::to_string(::getpid()) + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return std::nullopt;
    return pattern;
  });
}

void removeRunFolder(const std::string& path) {
  kit::FileManager::remove(path);
  kit::ExitCleanup::forget(path);
}

// The application home for one run: a fresh temporary folder unless QUILLMERE_HOME names one,
// so that the command never writes into the user's own home. In a named home, the standard
// folders the run had to make are taken away again when it leaves them empty.
class CommandHome {
 public:
  CommandHome() {
    const char* set = std::getenv(kHomeVariable);
    if (set && *set) {
      const std::string home = kit::AppPaths::home();
      for (const char* name : {"/Documents", "/tmp", "/Preferences"})
        if (!kit::FileManager::exists(home + name)) made_.push_back(home + name);
      ok_ = true;
      return;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    // Homes of earlier runs that were killed before they could remove them.
    kit::FileManager::removeLeftovers(folder, kHomePrefix, kStaleHomeAge, kit::FileType::Directory);
    std::optional<std::string> made = makeRunFolder(folder);
    if (!made) {
      why_ = "cannot make a temporary folder in '" + folder + "' for the application home: " + std::strerror(errno);
      return;
    }
    path_ = *made;
    setenv(kHomeVariable, path_.c_str(), 1);
    kit::UserDefaults::resetStandard();
    ok_ = true;
  }
  ~CommandHome() {
    for (const std::string& folder : made_) ::rmdir(folder.c_str());
    if (path_.empty()) return;
    kit::UserDefaults::resetStandard();
    unsetenv(kHomeVariable);
    removeRunFolder(path_);
  }
  CommandHome(const CommandHome&) = delete;
  CommandHome& operator=(const CommandHome&) = delete;
  bool ok() const { return ok_; }
  // Why there is no home, when there is none.
  const std::string& why() const { return why_; }

 private:
  std::string path_, why_;
  std::vector<std::string> made_;
  bool ok_ = false;
};

// A user setting held at a value for the run, in memory only: the stored settings are never
// written, so an interrupted run cannot leave its value behind.
class SettingForRun {
 public:
  SettingForRun(std::string key, kit::Value value) : key_(std::move(key)) {
    kit::UserDefaults::standard().setVolatile(key_, std::move(value));
  }
  ~SettingForRun() { kit::UserDefaults::standard().setVolatile(key_, std::nullopt); }
  SettingForRun(const SettingForRun&) = delete;
  SettingForRun& operator=(const SettingForRun&) = delete;

 private:
  std::string key_;
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

// Reads in chunks and stops past the limit, so an endless stream cannot take all memory.
std::string readLimited(std::istream& in, const RenderOptions& o) {
  std::string bytes;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    const auto n = static_cast<std::size_t>(in.gcount());
    if (bytes.size() + n > o.inputLimit)
      throw Failure{"cannot read " + displayName(o.input) + ": it is larger than " + kit::sizeText(o.inputLimit)};
    bytes.append(chunk, n);
  }
  if (in.bad()) throw Failure{"cannot read " + displayName(o.input)};
  return bytes;
}

static_assert(kInputLimit == kit::kReadLimit, "the window and the command read the same inputs");

std::string readInput(const RenderOptions& o, std::istream& in) {
  if (o.input == "-") return readLimited(in, o);
  std::string why;
  std::optional<std::string> bytes = kit::readWhole(o.input, why, kit::ReadSource::AnyFile, o.inputLimit);
  if (!bytes) throw Failure{"cannot read '" + o.input + "': " + why};
  return std::move(*bytes);
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

  // Read once: a pipe cannot be read again. Standard input is a map named Map in the home (a
  // name only: nothing is made there).
  const std::string path = o.input == "-" ? kit::AppPaths::home() + "/tmp/Map.qlm" : o.input;
  bringMapAssets(applicationHome, path);
  const bool loaded = doc.loadMapFromData(path, bytes);
  if (!loaded) throw Failure{"cannot read " + what + ": " + (alerts.last().empty() ? std::string("it is not a map file") : alerts.last())};
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

// The whole points a picture of the rectangle covers (what its pixels and page come to).
double coveredArea(const kit::Rect& r) {
  return std::ceil(double(r.width()) - 1e-3) * std::ceil(double(r.height()) - 1e-3);
}

// The rectangle to render for at most area square points: the canvas's cut, made smaller while
// its sides, rounded up to whole points, would cover more.
kit::Rect cutFor(BigView& canvas, float area) {
  kit::Rect cut = canvas.getAdjustedScreenshotRect(area);
  if (!std::isfinite(area)) return cut;
  float asked = area;
  for (int i = 0; i < 16 && coveredArea(cut) > double(area); ++i) {
    asked = static_cast<float>(asked * (double(area) / coveredArea(cut)) * 0.999);
    cut = canvas.getAdjustedScreenshotRect(asked);
  }
  return cut;
}

// A --max-area too small for one point a side, with the least area that gives this map one.
void checkCut(BigView& canvas, const RenderOptions& o, const kit::Rect& cut) {
  if (!o.maxArea || (cut.width() >= 1 && cut.height() >= 1)) return;
  const kit::Rect whole = canvas.getAdjustedScreenshotRect(std::numeric_limits<float>::infinity());
  const double ratio = whole.height() > 0 ? double(whole.width()) / whole.height() : 1.0;
  float least = static_cast<float>(std::ceil(std::max(ratio, 1.0 / ratio)));
  for (int i = 0; i < 64; ++i, least += 1) {
    const kit::Rect r = cutFor(canvas, least);
    if (r.width() >= 1 && r.height() >= 1) break;
  }
  throw Failure{kit::format("cannot write '%@': --max-area %g leaves less than one point on a side of this map; it needs at least %g",
                            o.output, double(*o.maxArea), double(least))};
}

// The files the output makes, each refused, with the reason, when it cannot be written.
std::vector<std::string> writableTargets(const RenderOptions& o) {
  const std::string folder = kit::folderOf(o.output);
  if (!kit::FileManager::isDirectory(folder) && !kit::FileManager::exists(folder + "/."))
    throw Failure{"cannot write '" + o.output + "': no such folder '" + folder + "'"};
  std::vector<std::string> targets{o.output};
  if (o.htmlMap) targets.push_back(o.output.substr(0, o.output.size() - 4) + ".html");
  for (const std::string& t : targets)
    if (std::optional<std::string> why = kit::ReplacementFile::whyNot(t)) throw Failure{"cannot write '" + t + "': " + *why};
  return targets;
}

void writeOutput(PseudoMapViewController& doc, const RenderOptions& o) {
  kit::ReplacementFile::takeFailure();
  BigView& canvas = *doc.bigView();
  NodeView* root = canvas.rootNode();
  bool ok = false;
  switch (o.kind) {
    case OutputKind::PNG:
    case OutputKind::JPEG:
    case OutputKind::PDF: {
      // The export reads these from the settings: they hold what this command line says.
      SettingForRun transparent(kTransparentKey, kit::Value(o.transparent));
      SettingForRun htmlMap(kHTMLMapKey, o.htmlMap ? kit::Value(true) : kit::Value());
      // The page shows its image by the map's name: the image's own file name, as it stands (a
      // backslash is part of a name here, not a folder).
      if (o.htmlMap) {
        const std::string file = o.output.substr(o.output.find_last_of('/') + 1);
        doc.setMapName(file.substr(0, file.size() - 4));
      }
      const kit::Rect cut = cutFor(canvas, o.maxArea.value_or(std::numeric_limits<float>::infinity()));
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
    // Why the writing failed (the disk is full, say); else why the output cannot be written now.
    const std::string why = kit::ReplacementFile::takeFailure();
    if (why.empty()) writableTargets(o);
    throw Failure{"cannot write '" + o.output + "'" + (why.empty() ? std::string() : ": " + why)};
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
    if (!home.ok()) throw Failure{home.why()};
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
    writeOutput(*doc, o);
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
