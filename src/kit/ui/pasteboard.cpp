#include "kit/ui/pasteboard.h"

#include <map>
#include <memory>

#include "kit/text/utf.h"

namespace kit {

namespace {

std::map<std::string, std::unique_ptr<Pasteboard>, std::less<>>& namedBoards() {
  static std::map<std::string, std::unique_ptr<Pasteboard>, std::less<>> boards;
  return boards;
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
  auto changed = host_->fetchChanged(*this);
  if (!changed) return;
  dropNullValues(*changed);
  items_ = std::move(*changed);
  ++changeCount_;
}

void Pasteboard::setItems(std::vector<Item> items) {
  dropNullValues(items);
  items_ = std::move(items);
  ++changeCount_;
  if (host_) host_->publish(*this);
}

std::vector<std::string> Pasteboard::pasteboardTypes() const {
  std::vector<std::string> out;
  if (items().empty()) return out;
  for (const auto& [type, value] : items_.front()) out.push_back(type);
  return out;
}

bool Pasteboard::containsPasteboardTypes(const std::vector<std::string_view>& types) const {
  if (items().empty()) return false;
  const Item& first = items_.front();
  for (std::string_view t : types)
    if (first.find(t) != first.end()) return true;
  return false;
}

const Value& Pasteboard::valueForPasteboardType(std::string_view type) const {
  if (items().empty()) return Value::nullValue();
  auto it = items_.front().find(type);
  return it == items_.front().end() ? Value::nullValue() : it->second;
}

std::optional<Data> Pasteboard::dataForPasteboardType(std::string_view type) const {
  const Value& v = valueForPasteboardType(type);
  if (v.isData()) return v.data();
  if (v.isString()) return Data(v.string().begin(), v.string().end());
  return std::nullopt;
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
