// The command's own code (all but main), built into its tests as well as into the program, so
// that the tests can run it in-process.
#include "cli/cli_edit.cpp"
#include "cli/cli_options.cpp"
#include "cli/cli_render.cpp"
