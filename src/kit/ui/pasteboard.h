// The process-local pasteboard: a list of items, each a dictionary from a type identifier to its
// value (a string, data or a URL held as its text). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/value.h"

namespace kit {

// Standard type identifiers.
inline constexpr std::string_view kPasteboardTypeText = "public.text";
inline constexpr std::string_view kPasteboardTypePlainText = "public.plain-text";
inline constexpr std::string_view kPasteboardTypeUTF8PlainText = "public.utf8-plain-text";
inline constexpr std::string_view kPasteboardTypeURL = "public.url";
inline constexpr std::string_view kPasteboardTypePNG = "public.png";
inline constexpr std::string_view kPasteboardTypeJPEG = "public.jpeg";
inline constexpr std::string_view kPasteboardTypeGIF = "com.compuserve.gif";

class Pasteboard;

// What stands behind a pasteboard outside this process (a desktop clipboard). Without one the
// pasteboard lives in the process only. Outside contents are one item whose types are known at
// once and whose values are read only when asked for.
class PasteboardHost {
 public:
  // A value read: null when it could not be read; tooLarge when it was left unread for being
  // larger than the bytes allowed.
  struct Read {
    Value value;
    bool tooLarge = false;
  };

  virtual ~PasteboardHost() = default;
  // The process changed the contents; the host takes them over.
  virtual void publish(const Pasteboard& board) = 0;
  // Asked before every use: the types of the host's item when its contents changed outside the
  // process since the last publish or fetch, else nullopt.
  virtual std::optional<std::vector<std::string>> fetchChangedTypes(const Pasteboard& board) = 0;
  // The value of one of the types fetched last, at most maxBytes of it.
  virtual Read read(std::string_view type, std::size_t maxBytes) = 0;
};

class Pasteboard {
 public:
  using Item = Dictionary;

  // The system-wide pasteboard of this process.
  static Pasteboard& general();
  // A named pasteboard, made on first use when create is set; nullptr otherwise.
  static Pasteboard* named(std::string_view name, bool create);
  static void removeNamed(std::string_view name);

  Pasteboard(const Pasteboard&) = delete;
  Pasteboard& operator=(const Pasteboard&) = delete;

  const std::string& name() const { return name_; }
  // Grows with every change of the contents, from the host's side too.
  std::int64_t changeCount() const {
    sync();
    return changeCount_;
  }

  // Not owned; nullptr (the default) keeps the contents in the process.
  void setHost(PasteboardHost* host);
  PasteboardHost* host() const { return host_; }

  // Every value, read from the host where not read yet (one too large for the host stays null).
  const std::vector<Item>& items() const;
  std::size_t numberOfItems() const {
    sync();
    return items_.size();
  }
  // Replaces the whole contents; null values are left out of the items.
  void setItems(std::vector<Item> items);
  void clear() { setItems({}); }

  // The types of the first item, sorted.
  std::vector<std::string> pasteboardTypes() const;
  // True when the first item holds any of the types (exact match).
  bool containsPasteboardTypes(const std::vector<std::string_view>& types) const;
  bool containsPasteboardType(std::string_view type) const { return containsPasteboardTypes({type}); }
  // The first item's value of the type; null when absent or unreadable.
  const Value& valueForPasteboardType(std::string_view type) const;
  // The value as bytes: data as it is, text as its UTF-8 bytes; nullopt otherwise.
  std::optional<Data> dataForPasteboardType(std::string_view type) const;
  // The same, of at most maxBytes: a larger value gives nullopt and sets tooLarge, and is not
  // read further from the host.
  std::optional<Data> dataForPasteboardType(std::string_view type, std::size_t maxBytes, bool& tooLarge) const;
  // Replace the contents with one item holding this one type.
  void setValue(Value value, std::string_view forPasteboardType);
  void setData(Data data, std::string_view forPasteboardType);

  // Text: the first of UTF-8 plain text, plain text, text held as a string or as data; text that
  // is not valid UTF-8 is not text.
  std::optional<std::string> string() const;
  // One item of UTF-8 plain text.
  void setString(std::string_view text);
  // The URL's text.
  std::optional<std::string> url() const;
  void setURL(std::string_view url);

 private:
  explicit Pasteboard(std::string name) : name_(std::move(name)) {}
  // Takes in what the host changed.
  void sync() const;
  // Reads the type's value from the host when it is offered there and not read yet.
  void readFromHost(std::string_view type, std::size_t maxBytes, bool& tooLarge) const;
  static void dropNullValues(std::vector<Item>& items);

  std::string name_;
  PasteboardHost* host_ = nullptr;
  mutable std::vector<Item> items_;
  // Types of the host's item whose values are not read yet (null in the first item meanwhile).
  mutable std::vector<std::string> unread_;
  mutable std::int64_t changeCount_ = 0;
};

}  // namespace kit
