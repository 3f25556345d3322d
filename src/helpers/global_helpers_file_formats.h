// Map file-format numbers: their extensions, descriptions, which can be imported, and the lists
// the export and import screens are built from.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace GlobalHelpers {

// 0 is unknown; 1 to 32 are supported. "?" is the extension of a number without one.
inline constexpr int kFileTypeUnknown = 0;
inline constexpr int kFileTypeQLM = 3;
inline constexpr int kFileTypeOPML = 4;
inline constexpr int kFileTypePNG = 12;
inline constexpr int kFileTypePDF = 18;
inline constexpr int kFileTypeQLMZ = 23;
inline constexpr int kFileTypeTXT = 24;
inline constexpr int kFileTypeHTML = 28;
inline constexpr int kFileTypeMarkdown = 31;

bool isSupportedFormat(int format);
bool canImportFormat(int format);

// The number of the name's extension (case ignored), 0 when none is known.
int getFileTypeFromName(std::string_view name);
int getUnambiguousFileTypeFromName(std::string_view name);
bool canImportFile(std::string_view name);

// Extension of the files kept for a map, and the one shown to users; "?" when there is none.
std::string getLocalExtensionForFileType(int format);
std::string getPublicExtensionForFileType(int format);
// The public extension appended to the name as a path extension (trailing slashes go); "" for a
// name that takes none (empty, or the root).
std::string getPublicFilenameFor(std::string_view name, int ofType);

// Localised description; empty for numbers without one.
std::string getMapFormatDescription(int format);

// The last path component without its extension; backslashes count as separators.
std::string getMapNameFromPath(std::string_view path);

std::vector<int> getSupportedFormats();
std::vector<int> getImportableFormats();
std::vector<int> getImportableFormatsIn(const std::vector<int>& formats);
std::vector<int> getImportableFormatsStartingWithQLMZ();
std::vector<int> getImportableFormatsStartingWithQLMZIn(const std::vector<int>& formats);

// Public extensions of the numbers, in order ("?" kept).
std::vector<std::string> getExtensionsForFormats(const std::vector<int>& formats);
std::vector<std::string> getExtensionsForSupportedFormats();
std::vector<std::string> getExtensionsForImportableFormats();
std::vector<std::string> getExtensionsForImportableFormatsIn(const std::vector<int>& formats);
std::vector<std::string> getExtensionsForImportableFormatsStartingWithQLMZ();
std::vector<std::string> getExtensionsForImportableFormatsStartingWithQLMZIn(
    const std::vector<int>& formats);

}  // namespace GlobalHelpers
