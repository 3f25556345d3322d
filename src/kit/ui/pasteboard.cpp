#include "kit/ui/pasteboard.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>

#include "kit/text/utf.h"

namespace kit {

namespace {

std::map<std::string, std::unique_ptr<Pasteboard>, std::less<>>& namedBoards() {
  static std::map<std::string, std::unique_ptr<Pasteboard>, std::less<>> boards;
  return boards;
}

// Data as it is, text as its UTF-8 bytes.
std::optional<Data> bytesOf(const Value& v) {
  if (v.isData()) return v.data();
  if (v.isString()) return Data(v.string().begin(), v.string().end());
  return std::nullopt;
}

}  // namespace

Pasteboard& Pasteboard::general() {
  static Pasteboard* board = new Pasteboard("general");
  return *board;
}

Pasteboard* Pasteboard::named(std::string_view name, bool create) {
  auto& boards = namedBoards();
  auto it = boards.find(name);
  if (it != boards.end()) return it->second.get();
  if (!create) return nullptr;
  auto board = std::unique_ptr<Pasteboard>(new Pasteboard(std::string(name)));
  Pasteboard* raw = board.get();
  boards.emplace(std::string(name), std::move(board));
  return raw;
}

void Pasteboard::removeNamed(std::string_view name) {
  auto& boards = namedBoards();
  auto it = boards.find(name);
  if (it != boards.end()) boards.erase(it);
}

void Pasteboard::dropNullValues(std::vector<Item>& items) {
  for (Item& item : items) {
    for (auto it = item.begin(); it != item.end();) {
      if (it->second.isNull()) {
        it = item.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void Pasteboard::sync() const {
  if (!host_) return;
  auto types = host_->fetchChangedTypes(*this);
  if (!types) return;
  items_.clear();
  unread_.clear();
  if (!types->empty()) {
    Item item;
    for (std::string& type : *types)
      if (item.emplace(type, Value()).second) unread_.push_back(std::move(type));
    items_.push_back(std::move(item));
  }
  ++changeCount_;
}

void Pasteboard::readFromHost(std::string_view type, std::size_t maxBytes, bool& tooLarge) const {
  tooLarge = false;
  auto it = std::find(unread_.begin(), unread_.end(), type);
  if (it == unread_.end()) return;
  PasteboardHost::Read read = host_ ? host_->read(type, maxBytes) : PasteboardHost::Read{};
  if (read.tooLarge) {
    tooLarge = true;  // left unread: a read allowed more may take it
    return;
  }
  unread_.erase(it);
  auto value = items_.front().find(type);
  // A type that cannot be read is not on offer after all.
  if (read.value.isNull()) items_.front().erase(value);
  else value->second = std::move(read.value);
}

const std::vector<Pasteboard::Item>& Pasteboard::items() const {
  sync();
  bool tooLarge = false;
  for (const std::string& type : std::vector<std::string>(unread_)) readFromHost(type, SIZE_MAX, tooLarge);
  return items_;
}

void Pasteboard::setHost(PasteboardHost* host) {
  // Values not read yet belong to the host that offered them.
  if (!items_.empty())
    for (const std::string& type : unread_) items_.front().erase(type);
  unread_.clear();
  host_ = host;
}

void Pasteboard::setItems(std::vector<Item> items) {
  dropNullValues(items);
  unread_.clear();
  items_ = std::move(items);
  ++changeCount_;
  if (host_) host_->publish(*this);
}

std::vector<std::string> Pasteboard::pasteboardTypes() const {
  std::vector<std::string> out;
  sync();
  if (items_.empty()) return out;
  for (const auto& [type, value] : items_.front()) out.push_back(type);
  return out;
}

bool Pasteboard::containsPasteboardTypes(const std::vector<std::string_view>& types) const {
  sync();
  if (items_.empty()) return false;
  const Item& first = items_.front();
  for (std::string_view t : types)
    if (first.find(t) != first.end()) return true;
  return false;
}

const Value& Pasteboard::valueForPasteboardType(std::string_view type) const {
  sync();
  if (items_.empty()) return Value::nullValue();
  bool tooLarge = false;
  readFromHost(type, SIZE_MAX, tooLarge);
  auto it = items_.front().find(type);
  return it == items_.front().end() ? Value::nullValue() : it->second;
}

std::optional<Data> Pasteboard::dataForPasteboardType(std::string_view type) const {
  return bytesOf(valueForPasteboardType(type));
}

std::optional<Data> Pasteboard::dataForPasteboardType(std::string_view type, std::size_t maxBytes,
                                                      bool& tooLarge) const {
  sync();
  if (items_.empty()) return std::nullopt;
  readFromHost(type, maxBytes, tooLarge);
  if (tooLarge) return std::nullopt;
  // The value just read, without asking the host again: its contents may have changed meanwhile.
  auto it = items_.front().find(type);
  if (it == items_.front().end()) return std::nullopt;
  const Value& v = it->second;
  const std::size_t size = v.isData() ? v.data().size() : v.isString() ? v.string().size() : 0;
  if (size > maxBytes) {
    tooLarge = true;
    return std::nullopt;
  }
  return bytesOf(v);
}

void Pasteboard::setValue(Value value, std::string_view forPasteboardType) {
  Item item;
  item.emplace(std::string(forPasteboardType), std::move(value));
  setItems({std::move(item)});
}

void Pasteboard::setData(Data data, std::string_view forPasteboardType) {
  setValue(Value(std::move(data)), forPasteboardType);
}

std::optional<std::string> Pasteboard::string() const {
  for (std::string_view type : {kPasteboardTypeUTF8PlainText, kPasteboardTypePlainText, kPasteboardTypeText}) {
    const Value& v = valueForPasteboardType(type);
    if (v.isString()) {
      if (isValidUtf8(v.string())) return v.string();
    } else if (v.isData()) {
      std::string_view bytes(reinterpret_cast<const char*>(v.data().data()), v.data().size());
      if (isValidUtf8(bytes)) return std::string(bytes);
    }
  }
  return std::nullopt;
}

void Pasteboard::setString(std::string_view text) { setValue(Value(text), kPasteboardTypeUTF8PlainText); }

std::optional<std::string> Pasteboard::url() const {
  const Value& v = valueForPasteboardType(kPasteboardTypeURL);
  if (v.isString()) return v.string();
  return std::nullopt;
}

void Pasteboard::setURL(std::string_view url) { setValue(Value(url), kPasteboardTypeURL); }

}  // namespace kit
