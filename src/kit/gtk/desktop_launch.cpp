#include "kit/gtk/desktop_launch.h"

#include <gio/gio.h>

namespace kit::gtk {

bool openURIWithDesktop(const std::string& uri) {
  GError* error = nullptr;
  const bool ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error) g_error_free(error);
  return ok;
}

bool startDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  GError* error = nullptr;
  const bool ok = g_spawn_async(nullptr, args.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  if (error) g_error_free(error);
  return ok;
}

}  // namespace kit::gtk
