#include "kit/gtk/clipboard.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <set>

namespace kit::gtk {

namespace {

constexpr std::string_view kTextMime = "text/plain;charset=utf-8";
constexpr std::string_view kPrivatePrefix = "application/x-";
constexpr gsize kChunk = 256 * 1024;

// Text types, the preferred first.
constexpr std::string_view kTextTypes[] = {kPasteboardTypeUTF8PlainText, kPasteboardTypePlainText, kPasteboardTypeText};

bool isTextType(std::string_view type) {
  for (std::string_view t : kTextTypes)
    if (t == type) return true;
  return false;
}

}  // namespace

std::string mimeTypeFor(std::string_view type) {
  if (isTextType(type)) return std::string(kTextMime);
  if (type == kPasteboardTypePNG) return "image/png";
  if (type == kPasteboardTypeJPEG) return "image/jpeg";
  if (type == kPasteboardTypeGIF) return "image/gif";
  return std::string(kPrivatePrefix) + std::string(type);
}

std::optional<std::string> pasteboardTypeFor(std::string_view mime) {
  if (mime == kTextMime) return std::string(kPasteboardTypeUTF8PlainText);
  if (mime == "image/png") return std::string(kPasteboardTypePNG);
  if (mime == "image/jpeg") return std::string(kPasteboardTypeJPEG);
  if (mime == "image/gif") return std::string(kPasteboardTypeGIF);
  if (mime.substr(0, kPrivatePrefix.size()) != kPrivatePrefix) return std::nullopt;
  // Private types are reverse domain names: "application/x-org.example.thing".
  std::string_view rest = mime.substr(kPrivatePrefix.size());
  if (rest.find('.') == std::string_view::npos || rest.find_first_of("/; \t") != std::string_view::npos)
    return std::nullopt;
  return std::string(rest);
}

struct ClipboardHost::Impl {
  GdkClipboard* clipboard = nullptr;
  gulong changedHandler = 0;
  std::uint64_t serial = 0;         // grows with every change of the clipboard by another application
  std::uint64_t fetchedSerial = 0;  // behind serial while a change is not fetched yet
  std::vector<std::pair<std::string, std::string>> offered;  // type and MIME type, as fetched
  std::size_t bytesRead = 0;                                  // of the contents fetched
};

namespace {

// One read of one type. The callbacks hold it too, so that a read given up on ends harmlessly.
struct PendingRead {
  enum class State { Reading, Done, Failed, TooLarge };
  State state = State::Reading;
  std::size_t limit = 0;
  std::string bytes;
  GInputStream* stream = nullptr;
  GCancellable* cancellable = g_cancellable_new();

  PendingRead() = default;
  PendingRead(const PendingRead&) = delete;
  PendingRead& operator=(const PendingRead&) = delete;
  ~PendingRead() {
    if (stream) g_object_unref(stream);
    g_object_unref(cancellable);
  }
  void end(State s) {
    if (state == State::Reading) state = s;
  }
};
using ReadRef = std::shared_ptr<PendingRead>;

void chunkRead(GObject* stream, GAsyncResult* result, gpointer data);

void readChunk(std::unique_ptr<ReadRef> ref) {
  PendingRead& r = **ref;
  // One byte past the limit is enough to know it is passed.
  const gsize count = std::min<std::size_t>(kChunk, r.limit - r.bytes.size() + 1);
  g_input_stream_read_bytes_async(r.stream, count, G_PRIORITY_DEFAULT, r.cancellable, chunkRead, ref.release());
}

void chunkRead(GObject* stream, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ReadRef> ref(static_cast<ReadRef*>(data));
  PendingRead& r = **ref;
  GError* error = nullptr;
  GBytes* chunk = g_input_stream_read_bytes_finish(G_INPUT_STREAM(stream), result, &error);
  if (!chunk) {
    g_clear_error(&error);
    r.end(PendingRead::State::Failed);
    return;
  }
  gsize size = 0;
  const auto* p = static_cast<const char*>(g_bytes_get_data(chunk, &size));
  if (r.state == PendingRead::State::Reading) {
    if (size == 0) {
      r.end(PendingRead::State::Done);
    } else if (r.bytes.size() + size > r.limit) {
      r.end(PendingRead::State::TooLarge);  // the rest is not read
    } else {
      r.bytes.append(p, size);
      readChunk(std::move(ref));
    }
  }
  g_bytes_unref(chunk);
}

void streamOpened(GObject* clipboard, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ReadRef> ref(static_cast<ReadRef*>(data));
  PendingRead& r = **ref;
  GError* error = nullptr;
  r.stream = gdk_clipboard_read_finish(GDK_CLIPBOARD(clipboard), result, nullptr, &error);
  if (!r.stream) {
    g_clear_error(&error);
    r.end(PendingRead::State::Failed);
    return;
  }
  if (r.state == PendingRead::State::Reading) readChunk(std::move(ref));
}

void clipboardChanged(GdkClipboard* clipboard, gpointer data) {
  auto* impl = static_cast<ClipboardHost::Impl*>(data);
  // Our own publishing; its contents are the pasteboard's already.
  if (gdk_clipboard_is_local(clipboard)) return;
  ++impl->serial;
}

}  // namespace

ClipboardHost::ClipboardHost() : impl_(std::make_unique<Impl>()) {
  impl_->clipboard = gdk_display_get_clipboard(gdk_display_get_default());
  g_object_ref(impl_->clipboard);
  impl_->changedHandler = g_signal_connect(impl_->clipboard, "changed", G_CALLBACK(clipboardChanged), impl_.get());
  // What is on the clipboard already is the pasteboard's first contents.
  clipboardChanged(impl_->clipboard, impl_.get());
}

ClipboardHost::~ClipboardHost() {
  g_signal_handler_disconnect(impl_->clipboard, impl_->changedHandler);
  g_object_unref(impl_->clipboard);
}

void ClipboardHost::publish(const Pasteboard& board) {
  // The clipboard holds our contents from now on, whatever another application offered before.
  impl_->fetchedSerial = impl_->serial;
  impl_->offered.clear();
  const std::vector<Dictionary>& items = board.items();
  if (items.empty()) {
    gdk_clipboard_set_content(impl_->clipboard, nullptr);
    return;
  }
  const Dictionary& item = items.front();
  std::vector<GdkContentProvider*> providers;
  std::set<std::string> mimes;
  auto offer = [&](const std::string& type, const Value& value) {
    std::string mime = mimeTypeFor(type);
    GBytes* bytes = nullptr;
    if (value.isString()) {
      const std::string& s = value.string();
      if (isTextType(type) && !g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return;
      bytes = g_bytes_new(s.data(), s.size());
    } else if (value.isData()) {
      const Data& d = value.data();
      if (isTextType(type) && !g_utf8_validate(reinterpret_cast<const char*>(d.data()), static_cast<gssize>(d.size()), nullptr))
        return;
      bytes = g_bytes_new(d.data(), d.size());
    }
    if (!bytes || !mimes.insert(mime).second) {
      if (bytes) g_bytes_unref(bytes);
      return;
    }
    providers.push_back(gdk_content_provider_new_for_bytes(mime.c_str(), bytes));
    g_bytes_unref(bytes);
  };
  for (std::string_view t : kTextTypes)
    if (auto it = item.find(t); it != item.end()) offer(it->first, it->second);
  for (const auto& [type, value] : item)
    if (!isTextType(type)) offer(type, value);
  GdkContentProvider* provider = gdk_content_provider_new_union(providers.data(), providers.size());
  gdk_clipboard_set_content(impl_->clipboard, provider);
  g_object_unref(provider);
}

std::optional<std::vector<std::string>> ClipboardHost::fetchChangedTypes(const Pasteboard&) {
  if (impl_->fetchedSerial == impl_->serial) return std::nullopt;
  impl_->fetchedSerial = impl_->serial;
  impl_->offered.clear();
  impl_->bytesRead = 0;
  // The types only, from the formats GDK has already: nothing is read until a value is asked for.
  gsize n = 0;
  const char* const* mimes = gdk_content_formats_get_mime_types(gdk_clipboard_get_formats(impl_->clipboard), &n);
  std::vector<std::string> types;
  for (gsize i = 0; i < n; ++i) {
    std::optional<std::string> type = pasteboardTypeFor(mimes[i]);
    if (!type || std::find(types.begin(), types.end(), *type) != types.end()) continue;
    types.push_back(*type);
    impl_->offered.emplace_back(std::move(*type), mimes[i]);
  }
  return types;
}

PasteboardHost::Read ClipboardHost::read(std::string_view type, std::size_t maxBytes) {
  auto offer = std::find_if(impl_->offered.begin(), impl_->offered.end(), [&](const auto& o) { return o.first == type; });
  // Contents that have changed since they were fetched are not read: the next fetch replaces them.
  if (offer == impl_->offered.end() || impl_->fetchedSerial != impl_->serial) return {};
  const bool text = isTextType(offer->first);
  auto read = std::make_shared<PendingRead>();
  read->limit = std::min(maxBytes, kReadLimit - impl_->bytesRead);
  const char* wanted[] = {offer->second.c_str(), nullptr};
  gdk_clipboard_read_async(impl_->clipboard, wanted, G_PRIORITY_DEFAULT, read->cancellable, streamOpened,
                           new ReadRef(read));

  // GDK reads asynchronously: the main context runs until the read ends or the wait is over.
  // Input that arrives meanwhile is queued for kit's run loop, which does not run again inside.
  GSource* limit = g_timeout_source_new(static_cast<guint>(kReadWaitSeconds * 1000));
  g_source_set_callback(limit, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
  g_source_attach(limit, nullptr);
  const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(kReadWaitSeconds * 1e6);
  while (read->state == PendingRead::State::Reading && g_get_monotonic_time() < deadline)
    g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(limit);
  g_source_unref(limit);
  read->end(PendingRead::State::Failed);
  g_cancellable_cancel(read->cancellable);

  if (impl_->fetchedSerial != impl_->serial) return {};
  if (read->state == PendingRead::State::TooLarge) return {Value(), true};
  if (read->state != PendingRead::State::Done) return {};
  impl_->bytesRead += read->bytes.size();
  // Text that is not UTF-8 is not text: its bytes go as they are, so that a paste can say why.
  if (!text || !g_utf8_validate(read->bytes.data(), static_cast<gssize>(read->bytes.size()), nullptr))
    return {Value(Data(read->bytes.begin(), read->bytes.end())), false};
  return {Value(std::move(read->bytes)), false};
}

}  // namespace kit::gtk
