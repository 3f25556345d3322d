// The render command: read the input, build the map through a headless document controller and
// its canvas, lay it out when it carries no positions, and write the output.
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <utility>

#include "app/app_delegate.h"
#include "cli/cli.h"
#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_file_formats.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/io/plist.h"
#include "kit/text/utf.h"
#include "kit/ui/alert.h"
#include "model/app_services.h"
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

// The application home for one run: a fresh temporary folder unless QUILLMERE_HOME names one,
// so that the command never writes into the user's own home.
class CommandHome {
 public:
  CommandHome() {
    const char* set = std::getenv(kHomeVariable);
    if (set && *set) {
      ok_ = true;
      return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillmere-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    path_ = pattern;
    setenv(kHomeVariable, path_.c_str(), 1);
    kit::UserDefaults::resetStandard();
    ok_ = true;
  }
  ~CommandHome() {
    if (path_.empty()) return;
    kit::UserDefaults::resetStandard();
    unsetenv(kHomeVariable);
    kit::FileManager::remove(path_);
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

// Alerts have no screen here: the last one becomes the command's message.
class AlertCapture {
 public:
  AlertCapture() {
    previous_ = kit::Alert::setPresenter([this](const kit::AlertRecord& r) { last_ = r.message; });
  }
  ~AlertCapture() { kit::Alert::setPresenter(std::move(previous_)); }
  AlertCapture(const AlertCapture&) = delete;
  AlertCapture& operator=(const AlertCapture&) = delete;
  const std::string& last() const { return last_; }

 private:
  kit::Alert::Presenter previous_;
  std::string last_;
};

enum class InputKind { MapFile, MapXML, Outline };

std::string displayName(const std::string& path) { return path == "-" ? std::string("standard input") : "'" + path + "'"; }

std::string readInput(const std::string& path, std::istream& in) {
  if (path == "-") {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw Failure{"cannot read standard input"};
    return bytes;
  }
  if (kit::FileManager::isDirectory(path)) throw Failure{"cannot read '" + path + "': it is a folder"};
  if (!kit::FileManager::exists(path)) throw Failure{"cannot read '" + path + "': no such file"};
  std::optional<std::string> bytes = kit::FileManager::readText(path);
  if (!bytes) throw Failure{"cannot read '" + path + "'"};
  return std::move(*bytes);
}

std::string_view withoutByteOrderMark(std::string_view s) {
  if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return s;
}

// By the extension where it tells; else by the content: property lists are map files, other
// XML is a map or OPML document, anything else an outline.
InputKind inputKindFor(const std::string& path, std::string_view bytes) {
  if (strings::pathHasExtensionNoCase(path, "qlm")) return InputKind::MapFile;
  if (strings::pathHasExtensionNoCase(path, "opml") || strings::pathHasExtensionNoCase(path, "xml"))
    return InputKind::MapXML;
  if (strings::pathHasExtensionNoCase(path, "txt") || strings::pathHasExtensionNoCase(path, "text"))
    return InputKind::Outline;
  std::string_view s = withoutByteOrderMark(bytes);
  if (s.substr(0, 6) == "bplist") return InputKind::MapFile;
  std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || s[first] != '<') return InputKind::Outline;
  return s.substr(0, 1024).find("<plist") != std::string_view::npos ? InputKind::MapFile : InputKind::MapXML;
}

// The records of an XML map or OPML document; a document with no topic is refused too.
MapFormats::ParsedMap parseXML(std::string_view xml, const std::string& what) {
  MapFormats::ParseResult parsed = MapFormats::parseMapXML(xml);
  if (!parsed.map) throw Failure{"cannot read " + what + ": " + parsed.error};
  if (parsed.map->topics.empty()) throw Failure{"cannot read " + what + ": it holds no topics"};
  return std::move(*parsed.map);
}

MapFormats::ParsedMap parseOutline(std::string_view bytes, const std::string& what) {
  if (bytes.find('\0') != std::string_view::npos || !kit::isValidUtf8(bytes))
    throw Failure{"cannot read " + what + ": it is not UTF-8 text"};
  std::string_view text = withoutByteOrderMark(bytes);
  if (text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos)
    throw Failure{"cannot read " + what + ": the outline is empty"};
  return parseXML(GlobalHelpers::buildOPMLFromText(text, false), what);
}

bool hasAllPositions(const MapFormats::ParsedMap& map) {
  return std::all_of(map.topics.begin(), map.topics.end(), [](const auto& t) { return t.position.has_value(); });
}

// The topics' own boxes; then, for a map without positions, the canvas's automatic layout with
// the central topic's branches balanced over its two sides, as imported maps are.
void layOut(BigView& canvas, bool automatic) {
  NodeView* root = canvas.rootNode();
  if (!root) return;
  root->recalcLayoutRecursively(true, false, false, false, false);
  if (automatic) {
    canvas.rearrangeAll(false, true, true);
    canvas.balanceMapAround(root, 1);
    canvas.rearrangeAll(false, true, true);
  }
  root->recalcBoundaries();
  canvas.requestRedraw();
}

// A map file: its settings, theme and topics, through the document controller.
void loadMapFile(PseudoMapViewController& doc, const RenderOptions& o, std::string_view bytes,
                 const AlertCapture& alerts) {
  const std::string what = displayName(o.input);
  std::optional<kit::Value> file = kit::plist::read(bytes);
  if (!file || !file->isDictionary() || !(*file)["MapData"].isString())
    throw Failure{"cannot read " + what + ": it is not a map file"};
  parseXML((*file)["MapData"].string(), what);

  std::string path = o.input;
  if (path == "-") {
    path = kit::AppPaths::temporary() + "/Map.qlm";
    if (!kit::FileManager::writeAtomically(path, bytes)) throw Failure{"cannot read standard input: no room for it"};
  }
  if (!doc.loadMapFromFile(path))
    throw Failure{"cannot read " + what + (alerts.last().empty() ? std::string() : ": " + alerts.last())};
  if (o.defaultTheme) {
    doc.setTheme(std::shared_ptr<MapTheme>(MapTheme::themeDefault()));
    if (NodeView* root = doc.bigView()->rootNode()) root->evaluateDisplayAttributes(true);
    // New sizes need new places when the map keeps itself organised.
    layOut(*doc.bigView(), false);
    if (doc.getKeepOrganised()) doc.bigView()->rearrangeAll(false);
  }
}

// A map from records: a new map with the default theme.
void buildMap(PseudoMapViewController& doc, const RenderOptions& o, MapFormats::ParsedMap map,
              const std::string& mapName) {
  doc.setMapID(mapName);
  doc.setMapName(mapName);
  doc.setMapSetting("KeepOrganised", true);
  doc.setTheme(std::shared_ptr<MapTheme>(MapTheme::themeDefault()));
  doc.setRainbow(o.rainbow);
  doc.setDropShadow(false);
  doc.setCanvasStyle(o.canvasStyle.value_or(0));
  BigView& canvas = *doc.bigView();
  NodeView* top = MapFormats::buildMap(canvas, std::move(map), MapFormats::LoadContext::Map);
  if (!top) throw Failure{"cannot read " + displayName(o.input) + ": it holds no topics"};
  // Several top-level lines gather under a topic without text: it takes the map's name.
  if (top->strName().empty() && !mapName.empty()) top->setStrName(mapName);
  // A Markdown outline keeps the input's order: the layout would sort each topic's children
  // by their places on the canvas.
  layOut(canvas, !hasAllPositions(map) && o.kind != OutputKind::Markdown);
}

std::string folderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void writeOutput(PseudoMapViewController& doc, const RenderOptions& o, bool storedSettings) {
  const std::string folder = folderOf(o.output);
  if (!kit::FileManager::isDirectory(folder) && !kit::FileManager::exists(folder + "/."))
    throw Failure{"cannot write '" + o.output + "': no such folder '" + folder + "'"};
  if (kit::FileManager::isDirectory(o.output)) throw Failure{"cannot write '" + o.output + "': it is a folder"};
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
      const float cap = o.maxArea.value_or(std::numeric_limits<float>::infinity());
      ok = canvas.saveScreenshotToFile(o.output, canvas.getAdjustedScreenshotRect(cap), o.watermark);
      break;
    }
    case OutputKind::MapFile:
      ok = doc.saveMapToFile(o.output);
      break;
    case OutputKind::Markdown: {
      const std::string text = root ? canvas.buildMarkdownOutlineFor(root) : std::string();
      ok = !text.empty() && kit::FileManager::writeAtomically(o.output, text);
      break;
    }
  }
  if (!ok) throw Failure{"cannot write '" + o.output + "'"};
}

}  // namespace

int render(const RenderOptions& o, std::istream& in, std::ostream& err) {
  try {
    const std::string bytes = readInput(o.input, in);
    CommandHome home;
    if (!home.ok()) throw Failure{"cannot make a temporary folder for the application home"};
    DrawingValuesScope drawingValues;
    AlertCapture alerts;
    AppDelegate app;
    app.applicationDidBecomeActive();
    std::unique_ptr<PseudoMapViewController> doc = PseudoMapViewController::initForExport();

    const std::string what = displayName(o.input);
    const std::string mapName = o.input == "-" ? std::string() : GlobalHelpers::getMapNameFromPath(o.input);
    switch (inputKindFor(o.input, bytes)) {
      case InputKind::MapFile:
        loadMapFile(*doc, o, bytes, alerts);
        if (o.rainbow) doc->setRainbow(true);
        if (o.canvasStyle) doc->setCanvasStyle(*o.canvasStyle);
        break;
      case InputKind::MapXML:
        buildMap(*doc, o, parseXML(bytes, what), mapName);
        break;
      case InputKind::Outline:
        buildMap(*doc, o, parseOutline(bytes, what), mapName);
        break;
    }
    if (!doc->bigView()->rootNode()) throw Failure{"cannot read " + what + ": it holds no topics"};
    writeOutput(*doc, o, !home.temporary());
    return kExitOK;
  } catch (const Failure& f) {
    err << "quillmere: " << f.message << "\n";
  } catch (const std::bad_alloc&) {
    err << "quillmere: out of memory\n";
  } catch (const std::exception& e) {
    err << "quillmere: " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace cli
