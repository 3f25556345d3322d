#include "helpers/global_helpers_file_formats.h"

#include <array>
#include <cstdint>

#include "helpers/strings.h"
#include "kit/core/localization.h"
#include "kit/core/user_defaults.h"

namespace GlobalHelpers {

namespace {

constexpr int kMaxFormat = 32;
constexpr std::uint32_t kImportableMask = 0x67d0e338;
constexpr const char* kNoExtension = "?";

struct FormatEntry {
  const char* local;
  const char* publicExt;
  const char* description;  // key of the strings table; empty when none
};

// Indexed by format number.
constexpr std::array<FormatEntry, kMaxFormat + 1> kFormats = {{
    {"?", "?", ""},                                      // 0
    {"mm_8", "?", ""},                                   // 1
    {"?", "?", ""},                                      // 2
    {"qlm", "qlm", "Quillmere (.qlm)"},                  // 3
    {"opml", "opml", "OPML (.opml)"},                    // 4
    {"xmmap", "xmmap", "Mindmanager (.xmmap)"},          // 5
    {"mm_9", "?", ""},                                   // 6
    {"mmap_6", "?", ""},                                 // 7
    {"xmind", "xmind", "DEzud (.xmind)"},                // 8
    {"nmind", "nmind", "Novamind 4 (.nmind)"},           // 9
    {"?", "?", ""},                                      // 10
    {"mmap_8", "?", ""},                                 // 11
    {"png", "png", "Image (.png)"},                      // 12, see getMapFormatDescription
    {"nm5", "nm5", "Novamind 5 (.nm5)"},                 // 13
    {"imm", "imm", "iMindmap 4 (.imm)"},                 // 14
    {"mvdx", "mvdx", "Mindview 3 / 4  (.mvdx)"},         // 15
    {"?", "?", ""},                                      // 16
    {"?", "?", ""},                                      // 17
    {"pdf", "pdf", "PDF (.pdf)"},                        // 18
    {"?", "?", ""},                                      // 19
    {"cdmz", "cdmz", "ConceptDraw 6 / 7 (.cdmz)"},       // 20
    {"?", "?", ""},                                      // 21
    {"mgopml", "mgopml", "MindGenius (.mgopml)"},        // 22
    {"qlmz", "qlmz", "Quillmere (.qlmz)"},               // 23
    {"txt", "txt", ""},                                  // 24
    {"imx", "imx", "iMindmap 5 (.imx)"},                 // 25
    {"mmap", "mmap", "Mindmanager (.mmap)"},             // 26
    {"csv", "csv", "Outlook Tasks (.csv)"},              // 27
    {"html", "html", ""},                                // 28
    {"mm", "mm", "Freemind (.mm)"},                      // 29
    {"mytx", "mytx", "MyThoughts (.mytx)"},              // 30
    {"markdown", "markdown", "Markdown (.markdown)"},    // 31
    {"?", "?", ""},                                      // 32
}};

// The order in which extensions are recognised.
constexpr std::array<std::pair<const char*, int>, 21> kRecognised = {{
    {"qlm", 3},   {"qlmz", 23}, {"mm", 29},   {"opml", 4},    {"markdown", 31}, {"xmmap", 5},
    {"mmap", 26}, {"xmind", 8}, {"nmind", 9}, {"imm", 14},    {"imx", 25},      {"mvdx", 15},
    {"nm5", 13},  {"cdmz", 20}, {"mgopml", 22}, {"mytx", 30}, {"csv", 27},      {"png", 12},
    {"html", 28}, {"pdf", 18},  {"txt", 24},
}};

// The last component of a "/"-separated path; trailing separators are not part of it.
std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return path;
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The component without the text after its last point (a leading point does not count).
std::string_view deletingPathExtension(std::string_view component) {
  const auto dot = component.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == component.size()) return component;
  return component.substr(0, dot);
}

}  // namespace

bool isSupportedFormat(int format) { return format >= 1 && format <= kMaxFormat; }

bool canImportFormat(int format) {
  return format >= 0 && format <= 30 && ((kImportableMask >> format) & 1u) != 0;
}

int getFileTypeFromName(std::string_view name) {
  // pathHasExtensionNoCase for each candidate, with the extension taken once.
  const std::string ext = strings::pathExtension(name);
  if (ext.empty()) return kFileTypeUnknown;
  for (const auto& [candidate, format] : kRecognised)
    if (strings::isEqualToStringNoCase(ext, candidate)) return format;
  return kFileTypeUnknown;
}

int getUnambiguousFileTypeFromName(std::string_view name) { return getFileTypeFromName(name); }

bool canImportFile(std::string_view name) { return canImportFormat(getFileTypeFromName(name)); }

std::string getLocalExtensionForFileType(int format) {
  return isSupportedFormat(format) ? kFormats[format].local : kNoExtension;
}

std::string getPublicExtensionForFileType(int format) {
  return isSupportedFormat(format) ? kFormats[format].publicExt : kNoExtension;
}

std::string getPublicFilenameFor(std::string_view name, int ofType) {
  return strings::stringByAppendingPathExtension(name, getPublicExtensionForFileType(ofType)).value_or(std::string());
}

std::string getMapFormatDescription(int format) {
  if (format < 3 || format > 31) return {};
  std::string_view key = kFormats[format].description;
  if (key.empty()) return {};
  // Presence, not truth: any stored value means the HTML map is written.
  if (format == kFileTypePNG &&
      !kit::UserDefaults::standard().objectForKey("export_options_png_include_html_map").isNull())
    key = "Image (.png) + HTML";
  return kit::localizedString(key);
}

std::string getMapNameFromPath(std::string_view path) {
  // Backslashes become separators before the extension is taken, so that a point in a
  // Windows folder name is never mistaken for the file's extension.
  std::string unified(path);
  for (char& c : unified)
    if (c == '\\') c = '/';
  return std::string(deletingPathExtension(lastPathComponent(unified)));
}

std::vector<int> getSupportedFormats() {
  std::vector<int> result;
  result.reserve(kMaxFormat);
  for (int f = 1; f <= kMaxFormat; ++f) result.push_back(f);
  return result;
}

std::vector<int> getImportableFormats() { return getImportableFormatsIn(getSupportedFormats()); }

std::vector<int> getImportableFormatsIn(const std::vector<int>& formats) {
  std::vector<int> result;
  for (int f : formats)
    if (canImportFormat(f)) result.push_back(f);
  return result;
}

std::vector<int> getImportableFormatsStartingWithQLMZ() {
  return getImportableFormatsStartingWithQLMZIn(getSupportedFormats());
}

std::vector<int> getImportableFormatsStartingWithQLMZIn(const std::vector<int>& formats) {
  // Each 23 goes to the front as it is met; the rest keep their order behind.
  std::vector<int> front;
  std::vector<int> rest;
  for (int f : formats) {
    if (!canImportFormat(f)) continue;
    (f == kFileTypeQLMZ ? front : rest).push_back(f);
  }
  front.insert(front.end(), rest.begin(), rest.end());
  return front;
}

std::vector<std::string> getExtensionsForFormats(const std::vector<int>& formats) {
  std::vector<std::string> result;
  result.reserve(formats.size());
  for (int f : formats) result.push_back(getPublicExtensionForFileType(f));
  return result;
}

std::vector<std::string> getExtensionsForSupportedFormats() {
  return getExtensionsForFormats(getSupportedFormats());
}

std::vector<std::string> getExtensionsForImportableFormats() {
  return getExtensionsForFormats(getImportableFormats());
}

std::vector<std::string> getExtensionsForImportableFormatsIn(const std::vector<int>& formats) {
  return getExtensionsForFormats(getImportableFormatsIn(formats));
}

std::vector<std::string> getExtensionsForImportableFormatsStartingWithQLMZ() {
  return getExtensionsForFormats(getImportableFormatsStartingWithQLMZ());
}

std::vector<std::string> getExtensionsForImportableFormatsStartingWithQLMZIn(
    const std::vector<int>& formats) {
  return getExtensionsForFormats(getImportableFormatsStartingWithQLMZIn(formats));
}

}  // namespace GlobalHelpers
