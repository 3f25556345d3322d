// The link annotations of a PDF as qpdf reads them, to check that no link text can leave its
// string and turn into another action.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kit::test {

struct PdfLink {
  std::string action;  // the action's /S, e.g. "/URI"
  std::string uri;     // the action's /URI, decoded
};

struct PdfLinks {
  bool read = false;            // qpdf read the file
  bool otherActions = false;    // a launch or script action, or a script, anywhere in the file
  std::vector<PdfLink> links;  // every /Link annotation, in object order
};

namespace detail {

// The JSON string starting at the quote at `at`, unescaped; qpdf marks text "u:" and bytes "b:".
inline std::string jsonString(const std::string& json, std::size_t at) {
  std::string s;
  for (std::size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] != '\\' || i + 1 >= json.size()) {
      s += json[i];
      continue;
    }
    char e = json[++i];
    switch (e) {
      case 'n': s += '\n'; break;
      case 't': s += '\t'; break;
      case 'r': s += '\r'; break;
      case 'b': s += '\b'; break;
      case 'f': s += '\f'; break;
      case 'u': {
        unsigned cp = std::stoul(json.substr(i + 1, 4), nullptr, 16);
        i += 4;
        if (cp < 0x80) {
          s += static_cast<char>(cp);
        } else if (cp < 0x800) {
          s += static_cast<char>(0xC0 | (cp >> 6));
          s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
          s += static_cast<char>(0xE0 | (cp >> 12));
          s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
          s += static_cast<char>(0x80 | (cp & 0x3F));
        }
        break;
      }
      default: s += e;
    }
  }
  if (s.rfind("u:", 0) == 0) return s.substr(2);
  if (s.rfind("b:", 0) == 0) {
    std::string bytes;
    for (std::size_t i = 2; i + 1 < s.size(); i += 2) bytes += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
    return bytes;
  }
  return s;
}

// The decoded value of `"key": "..."` in json[from, to), or "" when absent.
inline std::string jsonValue(const std::string& json, const std::string& key, std::size_t from, std::size_t to) {
  std::size_t at = json.find("\"" + key + "\": \"", from);
  if (at == std::string::npos || at >= to) return "";
  return jsonString(json, at + key.size() + 4);
}

}  // namespace detail

inline PdfLinks readPdfLinks(const std::string& file) {
  PdfLinks r;
  std::string json;
  FILE* p = popen(("qpdf --json=2 --json-key=qpdf '" + file + "' 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) json.append(buf, n);
  r.read = pclose(p) == 0 && !json.empty();
  // Names are whole JSON strings; the same words inside a link's text are not.
  for (const char* name : {"\"/Launch\"", "\"/JavaScript\"", "\"/JS\"", "\"/GoToR\"", "\"/SubmitForm\""})
    if (json.find(name) != std::string::npos) r.otherActions = true;
  // One object per "obj:" key; pretty-printed, so each dictionary entry is `"key": value`.
  for (std::size_t at = json.find("\"obj:"); at != std::string::npos;) {
    std::size_t next = json.find("\"obj:", at + 1);
    std::size_t end = next == std::string::npos ? json.size() : next;
    if (detail::jsonValue(json, "/Subtype", at, end) == "/Link")
      r.links.push_back({detail::jsonValue(json, "/S", at, end), detail::jsonValue(json, "/URI", at, end)});
    at = next;
  }
  return r;
}

}  // namespace kit::test
