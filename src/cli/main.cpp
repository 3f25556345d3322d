// quillmere: see cli.h and `quillmere --help`.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "kit/core/exit_cleanup.h"

int main(int argc, char** argv) {
  // Interrupted, the command removes its temporary files and home before it ends.
  kit::ExitCleanup::handleTerminationSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  return cli::run(args, std::cin, std::cout, std::cerr);
}
