#include "helpers/rtf.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/core/format.h"
#include "kit/text/code_page.h"
#include "kit/text/utf.h"

namespace strings {
namespace {

bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Control words and parameters longer than this are cut; no real control word comes close.
constexpr std::size_t kMaxToken = 99;

class RtfReader {
 public:
  explicit RtfReader(std::string_view in) : in_(in) {}

  std::string run() {
    while (pos_ < in_.size()) {
      const auto c = static_cast<unsigned char>(in_[pos_++]);
      switch (state_) {
        case State::Text: text(c); break;
        case State::Escape: escape(c); break;
        case State::Word: word(c); break;
        case State::Number: number(c); break;
      }
    }
    flushPendingSurrogate();
    flushCodePageBytes();
    return kit::decodeText(out_);
  }

 private:
  enum class State { Text, Escape, Word, Number };

  bool skipping() const { return skipDepth_ != -1 && depth_ >= skipDepth_; }

  void openGroup() { ++depth_; }
  void closeGroup() {
    --depth_;
    if (depth_ < skipDepth_) skipDepth_ = -1;
  }

  void output(char c) {
    flushPendingSurrogate();
    flushCodePageBytes();
    out_ += c;
  }

  void text(unsigned char c) {
    if (c == '\\') {
      state_ = State::Escape;
    } else if (c == '{') {
      openGroup();
    } else if (c == '}') {
      closeGroup();
    } else if (!skipping() && c >= 0x20 && c <= 0x7E) {
      output(static_cast<char>(c));
    }
  }

  void escape(unsigned char c) {
    state_ = State::Text;
    if (isLetter(c)) {
      word_.assign(1, static_cast<char>(c));
      state_ = State::Word;
    } else if (c == '\'') {
      hexEscape();
    } else if (c == '*') {
      // Inside a skipped table the outer skip stands; a nested group must not end it early.
      if (skipDepth_ == -1) skipDepth_ = depth_;
    } else if (c == '\\' || c == '{' || c == '}') {
      if (!skipping()) output(static_cast<char>(c));
    }
  }

  // The byte that ends a control word or its parameter, when it is not a parameter itself.
  void delimiter(unsigned char c) {
    state_ = State::Text;
    if (c == '\\') {
      state_ = State::Escape;
    } else if (c == '{') {
      openGroup();
    } else if (c == '}') {
      closeGroup();
    }
  }

  void word(unsigned char c) {
    if (isLetter(c)) {
      if (word_.size() < kMaxToken) word_ += static_cast<char>(c);
      return;
    }
    if (skipDepth_ == -1) {
      if (word_ == "fonttbl" || word_ == "colortbl" || word_ == "stylesheet") {
        skipDepth_ = depth_;
      } else if (word_ == "par" || word_ == "pard" || word_ == "line") {
        output('\n');
      } else if (word_ == "tab") {
        output('\t');
      }
    }
    if (isDigit(c) || c == '-') {
      number_.assign(1, static_cast<char>(c));
      state_ = State::Number;
    } else {
      delimiter(c);
    }
  }

  void number(unsigned char c) {
    if (isDigit(c)) {
      if (number_.size() < kMaxToken) number_ += static_cast<char>(c);
      return;
    }
    if (word_ == "ansicpg") setCodePage();
    if (word_ != "u") {
      delimiter(c);
      return;
    }
    if (skipDepth_ == -1 || depth_ < skipDepth_) unicode(parameter16());
    // A blank ends the parameter; the substitute for readers without Unicode follows it (or
    // follows the digits directly). It is one character or one "\'hh" escape; braces and other
    // control words are not substitutes and are read normally.
    std::size_t at = pos_ - 1;
    if (c == ' ') at = pos_;
    state_ = State::Text;
    pos_ = at;
    if (pos_ >= in_.size()) return;
    const char s = in_[pos_];
    if (s == '\\') {
      if (pos_ + 1 < in_.size() && in_[pos_ + 1] == '\'') pos_ = std::min(in_.size(), pos_ + 4);
    } else if (s != '{' && s != '}') {
      ++pos_;
    }
  }

  // The parameter as a 16-bit code unit (negative values wrap).
  char16_t parameter16() const {
    long v = 0;
    bool negative = false;
    for (const char ch : number_) {
      if (ch == '-') {
        negative = true;
        continue;
      }
      v = (v * 10 + (ch - '0')) % 65536;
    }
    if (negative) v = (65536 - v) % 65536;
    return static_cast<char16_t>(v);
  }

  // "\'hh": a byte of the document's code page. A character of a double-byte page comes as two
  // escapes in a row, so bytes are gathered and decoded together when anything else follows.
  // Control bytes are dropped, as they are in the text itself.
  void hexEscape() {
    const std::size_t at = pos_;
    pos_ += std::min<std::size_t>(2, in_.size() - pos_);
    if (pos_ - at < 2 || skipping()) return;
    const int high = hexDigit(in_[at]), low = hexDigit(in_[at + 1]);
    if (high < 0 || low < 0 || high * 16 + low < 0x20) return;
    flushPendingSurrogate();
    codePageBytes_.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }

  static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void flushCodePageBytes() {
    if (codePageBytes_.empty()) return;
    out_ += codePage_.decode(codePageBytes_);
    codePageBytes_.clear();
  }

  // "\ansicpgN" names the code page of the escapes that follow.
  void setCodePage() {
    long page = 0;
    for (const char ch : number_) {
      if (!isDigit(static_cast<unsigned char>(ch)) || page > 99999) return;
      page = page * 10 + (ch - '0');
    }
    if (page == codePage_.codePage()) return;
    flushCodePageBytes();
    codePage_ = kit::CodePageDecoder(static_cast<int>(page));
  }

  // Surrogate pairs arrive as two "\u" escapes; a half without its partner becomes U+FFFD.
  void unicode(char16_t u) {
    flushCodePageBytes();
    if (u >= 0xD800 && u <= 0xDBFF) {
      flushPendingSurrogate();
      pendingHigh_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      if (pendingHigh_) {
        kit::appendUtf8(out_, 0x10000 + ((char32_t(pendingHigh_) - 0xD800) << 10) + (char32_t(u) - 0xDC00));
        pendingHigh_ = 0;
      } else {
        kit::appendUtf8(out_, 0xFFFD);
      }
    } else {
      flushPendingSurrogate();
      if (u != 0) kit::appendUtf8(out_, u);
    }
  }

  void flushPendingSurrogate() {
    if (pendingHigh_) kit::appendUtf8(out_, 0xFFFD);
    pendingHigh_ = 0;
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  State state_ = State::Text;
  long depth_ = 0;
  long skipDepth_ = -1;
  std::string word_;
  std::string number_;
  std::string out_;
  char16_t pendingHigh_ = 0;
  std::vector<std::uint8_t> codePageBytes_;
  kit::CodePageDecoder codePage_{1252};  // the Western page unless the document names another
};

}  // namespace

std::string textFromRTF(std::string_view rtf) {
  if (rtf.empty()) return {};
  return RtfReader(rtf).run();
}

std::string rtfDocFromText(std::string_view text) { return rtfDocFromTextWithTextStyle(text, 0, 0); }

std::string rtfDocFromTextWithTextStyle(std::string_view text, int textStyle, float fontSize) {
  std::string out = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}";
  if (textStyle != 0 || fontSize != 0) {
    out += "\\f0";
    if (textStyle & 16) out += "\\ql";
    else if (textStyle & 64) out += "\\qc";
    else if (textStyle & 32) out += "\\qr";
    if (textStyle & 2) out += "\\b";
    if (textStyle & 4) out += "\\i";
    if (fontSize != 0) {
      // Truncated toward zero; sizes beyond int are clamped instead of overflowing.
      const double t = std::trunc(static_cast<double>(fontSize));
      const int size = std::isnan(t) ? 0 : t >= 2147483647.0 ? 2147483647 : t <= -2147483648.0 ? INT32_MIN
                                                                                               : static_cast<int>(t);
      out += kit::format("\\fs%d", size);
    }
    out += ' ';
  }
  for (const char16_t c : kit::utf8ToUtf16(text)) {
    if (c < 32) {
      if (c == '\n' || c == '\r') out += "\\par ";
    } else if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c <= 126) {
      out += static_cast<char>(c);
    } else {
      out += kit::format("\\u%u ?", static_cast<unsigned>(c));
    }
  }
  out += '}';
  return out;
}

}  // namespace strings
