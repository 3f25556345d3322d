// Arbitrary bytes as a property list, the way a map file and the preferences are read. Whatever
// reads must write back as binary and read again to the same value, and write as XML; the
// preferences store must start from the same bytes without trouble.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/io/plist.h"

namespace {

// NaN is the one value that never equals itself.
bool holdsNaN(const kit::Value& v) {
  if (v.isArray()) {
    for (const kit::Value& e : v.array())
      if (holdsNaN(e)) return true;
  } else if (v.isDictionary()) {
    for (const auto& [key, e] : v.dictionary())
      if (holdsNaN(e)) return true;
  } else if (v.type() == kit::Value::Type::Real) {
    return std::isnan(v.doubleValue());
  }
  return false;
}

const std::string& preferencesFile() {
  static const std::string path = fuzzFolder() + "/quillmere.plist";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (std::optional<kit::Value> v = kit::plist::read(input)) {
    const kit::Data binary = kit::plist::writeBinary(*v);
    if (binary.empty()) std::abort();
    std::optional<kit::Value> again = kit::plist::read(binary);
    if (!again || (!holdsNaN(*v) && *again != *v)) std::abort();
    if (kit::plist::writeXML(*v).empty()) std::abort();
  }

  // The preferences: a damaged file starts an empty store.
  if (!kit::FileManager::writeAtomically(preferencesFile(), input)) return 0;
  {
    kit::UserDefaults prefs(preferencesFile());
    for (const auto& [key, value] : prefs.dictionaryRepresentation()) {
      (void)prefs.boolForKey(key);
      (void)prefs.integerForKey(key);
      (void)prefs.floatForKey(key);
      (void)prefs.stringForKey(key);
    }
  }
  return 0;
}
