// quillmere: see cli.h and `quillmere --help`.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "kit/core/exit_cleanup.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Interrupted, the command removes its temporary files and home before it ends. A window saves
  // its map instead, on its main loop.
  if (args.empty() || args[0] != "edit") kit::ExitCleanup::handleTerminationSignals();
  return cli::run(args, std::cin, std::cout, std::cerr);
}
