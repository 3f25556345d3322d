// Arbitrary bytes through the whole command, as `quillmere render - -o map.pdf` reads them (map
// file, map XML, OPML or text, told apart by content). Whatever PDF comes out, each link
// annotation in it is a URI action and nothing in it launches a program or runs a script.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "fuzz_folder.h"
#include "kit/core/files.h"
#include "kit/ui/alert.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
bool isDelimiter(char c) { return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos; }

// The PDF's tokens as a reader sees them: names ("/Name"), keywords and numbers, "<<", ">>",
// "[", "]", and "()" for every string. Comments and stream data are skipped.
std::vector<std::string> tokens(std::string_view pdf) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const std::size_t n = pdf.size();
  while (i < n) {
    const char c = pdf[i];
    if (isSpace(c)) {
      ++i;
    } else if (c == '%') {
      while (i < n && pdf[i] != '\n' && pdf[i] != '\r') ++i;
    } else if (c == '(') {
      int depth = 0;
      for (; i < n; ++i) {
        if (pdf[i] == '\\') ++i;
        else if (pdf[i] == '(') ++depth;
        else if (pdf[i] == ')' && --depth == 0) break;
      }
      ++i;
      out.emplace_back("()");
    } else if (c == '<' && i + 1 < n && pdf[i + 1] == '<') {
      out.emplace_back("<<");
      i += 2;
    } else if (c == '>' && i + 1 < n && pdf[i + 1] == '>') {
      out.emplace_back(">>");
      i += 2;
    } else if (c == '<') {
      i = pdf.find('>', i);
      i = i == std::string_view::npos ? n : i + 1;
      out.emplace_back("()");
    } else if (c == '/') {
      std::size_t start = i++;
      while (i < n && !isSpace(pdf[i]) && !isDelimiter(pdf[i])) ++i;
      out.emplace_back(pdf.substr(start, i - start));
    } else if (isDelimiter(c)) {
      out.emplace_back(1, c);
      ++i;
    } else {
      std::size_t start = i;
      while (i < n && !isSpace(pdf[i]) && !isDelimiter(pdf[i])) ++i;
      out.emplace_back(pdf.substr(start, i - start));
      if (out.back() == "stream") {
        i = pdf.find("endstream", i);
        if (i == std::string_view::npos) i = n;
      }
    }
  }
  return out;
}

// Every /Link annotation holds "/A << ... /S /URI ... /URI (string) ... >>" and no other action
// type appears anywhere.
void checkLinks(std::string_view pdf) {
  const std::vector<std::string> t = tokens(pdf);
  for (const std::string& name : {"/Launch", "/JavaScript", "/JS", "/GoToR", "/GoToE", "/SubmitForm", "/ImportData",
                                  "/ResetForm", "/Named", "/Rendition", "/Sound", "/Movie", "/Hide", "/OpenAction",
                                  "/AA", "/EmbeddedFile", "/RichMedia"})
    for (const std::string& token : t)
      if (token == name) std::abort();
  std::size_t objStart = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == "obj") objStart = i;
    if (t[i] != "endobj") continue;
    bool link = false, uriAction = false, uriString = false, otherAction = false;
    for (std::size_t k = objStart; k + 1 < i; ++k) {
      if (t[k] == "/Subtype" && t[k + 1] == "/Link") link = true;
      if (t[k] == "/S" && t[k + 1] == "/URI") uriAction = true;
      else if (t[k] == "/S" && t[k + 1] != "/URI") otherAction = true;
      if (t[k] == "/URI" && t[k + 1] == "()") uriString = true;
    }
    if (link && (!uriAction || !uriString || otherAction)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // One application home for every run rather than a fresh one each time.
  const std::string home = fuzzFolder() + "/home";
  if (!kit::FileManager::createDirectories(home)) std::abort();
  setenv("QUILLMERE_HOME", home.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string output = fuzzFolder() + "/map.pdf";
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  const int status = cli::run({"render", "-", "-o", output}, in, out, err);
  if (status == cli::kExitOK) {
    std::optional<std::string> pdf = kit::FileManager::readText(output);
    if (!pdf) std::abort();
    checkLinks(*pdf);
  } else if (status != cli::kExitFailure || kit::FileManager::exists(output)) {
    std::abort();  // bad input fails plainly and leaves no file
  }
  kit::FileManager::remove(output);
  kit::Alert::clearShown();
  return 0;
}
