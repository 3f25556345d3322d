// The edit command: the window is a program of its own (src/cli/window), which this process
// becomes, so that the command loads GTK only to edit.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

#include "cli/cli.h"

namespace cli {

namespace {
constexpr const char* kEditProgram = "quillmere-edit";
}  // namespace

int edit(const EditOptions& options, std::ostream& err) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string program = ec ? std::string() : (self.parent_path() / kEditProgram).string();
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    err << "quillmere: this build has no window support (GTK 4 was not found when it was built)\n";
    return kExitFailure;
  }
  err.flush();
  std::vector<char*> argv{const_cast<char*>(kEditProgram), const_cast<char*>("--"),
                          const_cast<char*>(options.path.c_str()), nullptr};
  ::execv(program.c_str(), argv.data());
  err << "quillmere: cannot start " << oneLine(program) << ": " << std::strerror(errno) << "\n";
  return kExitFailure;
}

}  // namespace cli
