// The command line: the render command, its options and the help text.
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <istream>
#include <ostream>

#include "cli/cli.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"

namespace cli {

namespace {

// A whole number, all of the text.
std::optional<int> parseInteger(const std::string& s) {
  int v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// A finite decimal number, all of the text, whatever the locale.
std::optional<double> parseNumber(const std::string& s) {
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// Why the program's resources (settings defaults, paper, icons) cannot be used; nullopt when they
// can. Without them a map would be drawn without its paper and icons, as if nothing were amiss.
std::optional<std::string> missingResources() {
  const std::string settings = kit::AppPaths::resource("Settings.plist");
  if (kit::FileManager::exists(settings)) return std::nullopt;
  const char* named = std::getenv("QUILL_RESOURCES");
  return "the resources were not found: '" + kit::AppPaths::resources() + "' holds no Settings.plist" +
         (named && *named ? " (QUILL_RESOURCES names it)" : "");
}

}  // namespace

std::string usage() {
  return "Usage: quillmere render INPUT -o OUTPUT [options]\n"
         "       quillmere edit FILE\n"
         "\n"
         "Reads a map file (.qlm), an OPML file or an indented plain-text outline (a tab or four\n"
         "spaces per level; INPUT \"-\" reads standard input), lays out maps that carry no topic\n"
         "positions, and writes OUTPUT by its extension: .png, .jpg, .pdf (topic links are\n"
         "clickable), .qlm, .markdown or .md.\n"
         "\n"
         "Options:\n"
         "  -o, --output OUTPUT   the file to write\n"
         "  --max-area AREA       render at most AREA square points, cut about the central topic\n"
         "                        (images and PDF; default: the whole map)\n"
         "  --transparent         leave the background unfilled (PNG, PDF)\n"
         "  --html-map            also write OUTPUT with the extension .html: a page whose image\n"
         "                        map links each topic's area to its link (PNG only)\n"
         "  --watermark TEXT      draw TEXT below the central topic (PNG and JPEG only)\n"
         "  --theme default       use the default theme, also for a map file with its own\n"
         "  --rainbow             colour each branch of the central topic differently\n"
         "  --canvas-style N      background: 1 black, 2 slate, 3 graph paper, 4 lined paper,\n"
         "                        5 and 6 the same on yellow paper, 7 light grey, 8 dark grey,\n"
         "                        9 pale yellow, any other number white\n"
         "  -h, --help            show this help\n"
         "\n"
         "edit opens FILE in a window (it needs a display): a map file (.qlm), made when it does\n"
         "not exist, or an OPML file or plain-text outline, which becomes a new map saved beside it\n"
         "as NAME.qlm. Closing the window saves the map; a map open in another window is\n"
         "refused, a file changed by another program is saved beside it as\n"
         "\"NAME (conflict DATE TIME).qlm\", and when a save fails a recovery copy goes into\n"
         "Documents/recovered in the application home. Keys: Ctrl+Z undo, Ctrl+Shift+Z or\n"
         "Ctrl+Y redo, F6 shake.\n"
         "\n"
         "Exit status: 0 on success, 1 when the input cannot be read or the output cannot be\n"
         "written, 2 for a wrong command line. Nothing is written on failure.\n";
}

std::optional<OutputKind> outputKindFor(const std::string& path) {
  if (strings::pathHasExtensionNoCase(path, "png")) return OutputKind::PNG;
  if (strings::pathHasExtensionNoCase(path, "jpg")) return OutputKind::JPEG;
  if (strings::pathHasExtensionNoCase(path, "pdf")) return OutputKind::PDF;
  if (strings::pathHasExtensionNoCase(path, "qlm")) return OutputKind::MapFile;
  if (strings::pathHasExtensionNoCase(path, "markdown") || strings::pathHasExtensionNoCase(path, "md"))
    return OutputKind::Markdown;
  return std::nullopt;
}

Invocation parseArguments(const std::vector<std::string>& args) {
  Invocation inv;
  auto fail = [&inv](std::string message) {
    inv.error = std::move(message);
    inv.render.reset();
    return inv;
  };
  if (args.empty()) return fail("no command given");
  for (const std::string& a : args)
    if (a == "-h" || a == "--help") {
      inv.help = true;
      return inv;
    }
  if (args[0] == "edit") {
    std::optional<std::string> path;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (!optionsEnded && a == "--") {
        optionsEnded = true;
      } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
        return fail("unknown option '" + a + "'");
      } else if (path) {
        return fail("more than one file given ('" + *path + "' and '" + a + "')");
      } else if (a.empty() || a == "-") {
        return fail("edit needs a map file, not standard input");
      } else {
        path = a;
      }
    }
    if (!path) return fail("edit needs a map file");
    inv.edit = EditOptions{*path};
    return inv;
  }
  if (args[0] != "render") return fail("unknown command '" + args[0] + "'");

  RenderOptions o;
  std::optional<std::string> input, output;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string a = args[i];
    std::optional<std::string> inlineValue;
    if (!optionsEnded && a.rfind("--", 0) == 0 && a.size() > 2) {
      std::size_t eq = a.find('=');
      if (eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a = a.substr(0, eq);
      }
    }
    // The option's value: after "=", else the next argument.
    auto value = [&](std::string& into) {
      if (inlineValue) {
        into = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    auto flag = [&](bool& into) {
      if (inlineValue) return false;
      into = true;
      return true;
    };
    std::string v;
    if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
      if (input) return fail("more than one input given ('" + *input + "' and '" + a + "')");
      input = a;
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "-o" || a == "--output") {
      if (!value(v) || v.empty()) return fail(a + " needs a file name");
      if (output) return fail("more than one output given");
      output = v;
    } else if (a == "--max-area") {
      if (!value(v)) return fail("--max-area needs a number");
      std::optional<double> n = parseNumber(v);
      if (!n || *n <= 0 || *n > 3.4e38) return fail("--max-area needs a positive number of square points, not '" + v + "'");
      o.maxArea = static_cast<float>(*n);
    } else if (a == "--transparent") {
      if (!flag(o.transparent)) return fail("--transparent takes no value");
    } else if (a == "--html-map") {
      if (!flag(o.htmlMap)) return fail("--html-map takes no value");
    } else if (a == "--rainbow") {
      if (!flag(o.rainbow)) return fail("--rainbow takes no value");
    } else if (a == "--watermark") {
      if (!value(v)) return fail("--watermark needs a text");
      o.watermark = v;
    } else if (a == "--theme") {
      if (!value(v)) return fail("--theme needs a theme name");
      if (v != "default") return fail("unknown theme '" + v + "' (the only theme is 'default')");
      o.defaultTheme = true;
    } else if (a == "--canvas-style") {
      if (!value(v)) return fail("--canvas-style needs a number");
      std::optional<int> n = parseInteger(v);
      if (!n) return fail("--canvas-style needs a whole number, not '" + v + "'");
      o.canvasStyle = *n;
    } else {
      return fail("unknown option '" + a + "'");
    }
  }
  if (!input) return fail("no input given");
  if (!output) return fail("no output given (-o OUTPUT)");
  std::optional<OutputKind> kind = outputKindFor(*output);
  if (!kind)
    return fail("cannot write '" + *output + "': the extension must be .png, .jpg, .pdf, .qlm, .markdown or .md");
  if (o.htmlMap && *kind != OutputKind::PNG) return fail("--html-map needs a .png output");
  if (o.watermark && *kind != OutputKind::PNG && *kind != OutputKind::JPEG)
    return fail("--watermark needs a .png or .jpg output");
  o.input = *input;
  o.output = *output;
  o.kind = *kind;
  inv.render = std::move(o);
  return inv;
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  Invocation inv = parseArguments(args);
  if (inv.help) {
    out << usage();
    return kExitOK;
  }
  if (!inv.edit && !inv.render) {
    err << "quillmere: " << oneLine(inv.error) << " (see quillmere --help)\n";
    return kExitUsage;
  }
  if (std::optional<std::string> why = missingResources()) {
    err << "quillmere: " << oneLine(*why) << "\n";
    return kExitFailure;
  }
  if (inv.edit) return edit(*inv.edit, err);
  return render(*inv.render, in, err);
}

}  // namespace cli
