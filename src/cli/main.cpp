// quillmere: see cli.h and `quillmere --help`.
#include <cstdio>
#include <cstdlib>
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
  const int status = cli::run(args, std::cin, std::cout, std::cerr);
#ifndef __SANITIZE_ADDRESS__  // sanitizer builds keep their leak check at exit
  if (!args.empty() && args[0] == "render") {
    // A render has written and removed all it made: the libraries' and caches' teardown, which
    // the system does anyway, would be a good part of so short a run.
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(status);
  }
#endif
  return status;
}
