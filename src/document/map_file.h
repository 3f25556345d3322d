// The native map file (the map id with the extension ".qlm" in the documents folder's "maps"):
// a property list holding the map XML under "MapData", the theme dictionary under "Theme" and
// the map's settings under their own keys. PseudoMapViewController's loadMap, saveMap and undo
// snapshots (map_file.cpp) read and write it.
#pragma once

#include <array>
#include <string_view>

namespace MapFile {

inline constexpr std::string_view kExtension = "qlm";
inline constexpr std::string_view kMapDataKey = "MapData";
inline constexpr std::string_view kThemeKey = "Theme";

// The per-map settings a map file carries. Absent keys take their defaults; keys the program
// does not know are kept as they were read.
inline constexpr std::array<std::string_view, 10> kSettingsKeys = {
    "KeepOrganised", "Rainbow", "CanvasStyle", "DropShadow", "InheritColour",
    "InheritShape", "ShowTaskBadge", "ShowCallouts", "ShowCompletedTasks", "ShowUnfocusedTopics"};

}  // namespace MapFile
