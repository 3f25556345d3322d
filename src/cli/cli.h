// The quillmere command: reads a map and writes it as an image, a PDF, a map file or a Markdown
// outline, through the same document controller and canvas that an interactive front end uses.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Exit statuses.
constexpr int kExitOK = 0;
constexpr int kExitFailure = 1;  // unreadable input, a file that could not be written
constexpr int kExitUsage = 2;    // a command line that does not make sense

// The largest input read: endless streams and huge files are refused.
constexpr std::uint64_t kInputLimit = std::uint64_t(1) << 30;

enum class OutputKind { PNG, JPEG, PDF, MapFile, Markdown };

struct RenderOptions {
  std::string input;  // "-" reads standard input
  std::string output;
  OutputKind kind = OutputKind::PNG;
  std::optional<float> maxArea;  // square points; none renders the whole map
  bool transparent = false;
  bool htmlMap = false;
  std::optional<std::string> watermark;
  bool defaultTheme = false;
  bool rainbow = false;
  std::optional<int> canvasStyle;
  std::uint64_t inputLimit = kInputLimit;  // no option sets it; the tests lower it
};

struct EditOptions {
  std::string path;  // the map file, made when it does not exist
};

// What the command line asks for.
struct Invocation {
  bool help = false;
  std::optional<RenderOptions> render;
  std::optional<EditOptions> edit;
  std::string error;  // set when the command line is wrong
};

// Parses the arguments after the program name.
Invocation parseArguments(const std::vector<std::string>& args);
// The help text.
std::string usage();
// The output kind for a path's extension (any case); nullopt for any other.
std::optional<OutputKind> outputKindFor(const std::string& path);

// The message with each line break, and the blanks about it, made one space.
std::string oneLine(std::string_view message);

// Runs the render command. Messages go to err as one line each; on failure no output file is
// left behind.
int render(const RenderOptions& options, std::istream& in, std::ostream& err);

// Runs the edit command: the map in a window until the window closes, saved then (status 0; 1
// with a message when the map cannot be opened or saved, or there is no display).
int edit(const EditOptions& options, std::ostream& err);

// The whole command: arguments after the program name; returns the exit status.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace cli
