// Handing things to the desktop: an address to the handler the desktop has for its scheme (a
// browser, a mail program), and a program started on its own. Nothing goes through a shell.
#pragma once

#include <string>
#include <vector>

namespace kit::gtk {

// Opens the URI with the desktop's default handler for its scheme (GIO); false when none could.
bool openURIWithDesktop(const std::string& uri);

// Starts argv[0] with the arguments as given, detached (GLib reaps it); false when it did not.
bool startDetached(const std::vector<std::string>& argv);

}  // namespace kit::gtk
