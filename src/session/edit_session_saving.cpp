// Saving an open map: never over a file another program changed, version snapshots in the
// application home, and a recovery copy when the map cannot be saved where it belongs.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "helpers/global_helpers_dates.h"
#include "helpers/global_helpers_files.h"
#include "kit/core/app_paths.h"
#include "kit/core/clock.h"
#include "kit/core/files.h"
#include "kit/core/name_limit.h"
#include "kit/core/replacement_file.h"
#include "kit/io/plist.h"
#include "kit/ui/alert.h"
#include "model/node_view.h"
#include "session/edit_session_impl.h"

using kit::folderOf;

namespace {

constexpr std::size_t kMostVersions = 100;

// The file's name, and that name without its extension.
std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stemOf(const std::string& path) {
  std::string name = fileNameOf(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// The local time as text, for file names.
std::string stamp(std::string_view format) {
  return GlobalHelpers::_createStringFromDate(kit::Clock::current().now(), format).value_or("0");
}

// Writes under folder/stem+tail+end, or, when that name is taken (errno EEXIST), under
// stem+tail+separator+2+end, and so on, each name shortened in its stem to fit. write makes a new
// file there, false with errno. The name last tried, and whether it was written.
std::pair<std::string, bool> writeUnderFreeName(const std::string& folder, std::string_view stem, const std::string& tail,
                                                const std::string& separator, const std::string& end,
                                                const std::function<bool(const std::string&)>& write) {
  std::string path;
  for (int n = 1; n < 10000; ++n) {
    path = folder + "/" + kit::fitName(stem, tail + (n > 1 ? separator + std::to_string(n) : std::string()) + end);
    errno = 0;
    if (write(path)) return {path, true};
    if (errno != EEXIST) break;
  }
  return {path, false};
}

// Why a file could not be written at target, from the errno of the failed write.
std::string whyNotWritten(const std::string& target, int err) {
  const std::string folder = folderOf(target);
  if (!kit::FileManager::exists(folder)) return "the folder '" + folder + "' does not exist";
  return err ? std::string(std::strerror(err)) : std::string("it could not be written");
}

// Makes the folder with its parents; nullopt when it is there, else why not.
std::optional<std::string> whyNoFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::error_code isError;
  if (std::filesystem::is_directory(folder, isError)) return std::nullopt;
  return ec ? ec.message() : std::string("it is not a folder");
}

}  // namespace

namespace edit_session {

std::optional<std::string> whyNotWritable(const std::string& path) {
  const std::string folder = folderOf(path);
  if (!kit::FileManager::isDirectory(folder)) return std::string("its folder does not exist");
  // The trial replacement below has no name of its own to test the file's with.
  if (const std::size_t limit = kit::nameLimitIn(folder); fileNameOf(path).size() > limit)
    return fmt::format("its name is longer than the {} bytes a file name may have there; choose a shorter name", limit);
  return kit::ReplacementFile::whyNot(path);
}

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, static_cast<std::int64_t>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

}  // namespace edit_session

using edit_session::FileIdentity;
using edit_session::identityOf;

double EditSession::Impl::now() const { return kit::Clock::current().monotonicSeconds(); }

bool EditSession::Impl::save() {
  if (doc.isModified()) changedSinceSnapshot = true;
  const std::optional<FileIdentity> current = identityOf(path);
  if (known && current != known) {
    // With its folder gone there is nowhere beside it either.
    if (!current && !kit::FileManager::exists(folderOf(path))) return write(path);
    return saveBeside(current ? "was changed by another program after this window read it"
                              : "was removed by another program after this window read it");
  }
  if (!known) {
    // A map file still to be made is made only where nothing is.
    if (write(path, true)) return true;
    return nameTaken && saveBeside("was made by another program while this window made its map");
  }
  return write(path);
}

bool EditSession::Impl::writeMap(const std::string& target, bool fresh) {
  if (!fresh) return doc.saveMapToFile(target);
  const std::string text = doc.bigView()->rootNode() ? kit::plist::writeXML(doc.mapFileDictionary()) : std::string();
  if (text.empty() || !kit::FileManager::writeNew(target, kit::bytesOf(text))) return false;
  doc.clearModified();
  return true;
}

bool EditSession::Impl::write(const std::string& target, bool fresh) {
  errno = 0;
  if (!writeMap(target, fresh)) {
    const int error = errno;
    nameTaken = fresh && error == EEXIST;
    saveError = "could not save the map to '" + target + "': " + whyNotWritten(target, error);
    errno = error;
    return false;
  }
  ++saves;
  savedWhileEditing = NodeView::currentEditingTopic() != nullptr;
  lastSave = now();
  known = identityOf(target);
  saveError.clear();
  reportedFailure = closeRefused = false;
  return true;
}

bool EditSession::Impl::saveBeside(const std::string& happened) {
  const std::string original = path;
  const auto [target, written] =
      writeUnderFreeName(folderOf(path), stemOf(path), " (conflict " + stamp("%Y-%m-%d %H%M%S"), " ", ").qlm",
                         [&](const std::string& name) { return write(name, true); });
  if (!written) return false;
  path = target;
  doc.setMapName(stemOf(path));
  kit::Alert::show("The map was saved as a new file",
                   "'" + fileNameOf(original) + "' " + happened + ", so it was not written over. This window's map "
                       "was saved beside it as '" + fileNameOf(path) + "', where this window saves from now on.");
  return true;
}

std::string EditSession::Impl::versionsFolder() { return kit::AppPaths::documents() + "/versions/" + doc.storageKey(); }

bool EditSession::Impl::takeSnapshot() {
  if (doc.isModified() && !save()) return false;
  const std::string folder = versionsFolder();
  auto fail = [&](const std::string& why) {
    snapshotError = "the application home cannot keep its version in '" + folder + "': " + why;
    return false;
  };
  if (std::optional<std::string> why = whyNoFolder(folder)) return fail(*why);
  std::string why;
  const std::optional<std::string> bytes = kit::readWhole(path, why);
  if (!bytes) return fail("the map file cannot be read: " + why);
  const auto [target, written] =
      writeUnderFreeName(folder, "", stamp("%Y%m%d-%H%M%S"), "-", ".qlm",
                         [&](const std::string& name) { return kit::FileManager::writeNew(name, kit::bytesOf(*bytes)); });
  if (!written) return fail(whyNotWritten(target, errno));
  GlobalHelpers::purgeOldFilesFrom(folder, static_cast<int>(kMostVersions));
  lastSnapshot = now();
  changedSinceSnapshot = false;
  return true;
}

std::string EditSession::Impl::recoveredFolder() { return kit::AppPaths::home() + "/Documents/recovered"; }

std::string EditSession::Impl::recover() {
  const std::string folder = recoveredFolder();
  std::optional<std::string> problem = whyNoFolder(folder);
  if (!problem) {
    const auto [target, written] =
        writeUnderFreeName(folder, stemOf(path), "-" + stamp("%Y%m%d-%H%M%S"), "-", ".qlm",
                           [&](const std::string& name) { return writeMap(name, true); });
    if (written) return saveError + "; the edits are in '" + target + "'";
    problem = whyNotWritten(target, errno);
  }
  return saveError + ", nor a recovery copy into '" + folder + "': " + *problem + "; the edits are lost";
}

void EditSession::Impl::reportSaveFailure() {
  if (saveError.empty() || reportedFailure) return;
  showSaveFailure("The edits are kept in this window, and saving is tried again.");
}

void EditSession::Impl::showSaveFailure(const std::string& outcome) {
  reportedFailure = true;
  std::string why = saveError;
  if (!why.empty() && why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 'a' + 'A');
  kit::Alert::show("The map could not be saved", why + ". " + outcome);
}
