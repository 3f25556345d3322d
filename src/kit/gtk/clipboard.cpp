#include "kit/gtk/clipboard.h"

#include <gtk/gtk.h>

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
  GCancellable* cancellable = nullptr;
  std::uint64_t serial = 0;  // the batch of reads under way; publishing or a change starts anew
  std::uint64_t waited = 0;  // the batch a pasteboard read last waited for
  int pending = 0;
  Dictionary building;
  std::optional<Dictionary> ready;  // the outside contents not handed over yet

  // Drops the reads under way: their results no longer count.
  void cancelReads() {
    ++serial;
    pending = 0;
    building.clear();
    if (cancellable) {
      g_cancellable_cancel(cancellable);
      g_object_unref(cancellable);
      cancellable = nullptr;
    }
  }
};

namespace {

struct Read {
  std::weak_ptr<ClipboardHost::Impl> impl;
  std::uint64_t serial = 0;
  std::string type;
  GInputStream* stream = nullptr;
  GCancellable* cancellable = nullptr;
  std::string bytes;

  ~Read() {
    if (stream) g_object_unref(stream);
    if (cancellable) g_object_unref(cancellable);
  }
};

// One read is over: its bytes join the item when it succeeded and still counts.
void finish(Read* read, bool ok) {
  std::unique_ptr<Read> done(read);
  auto impl = read->impl.lock();
  if (!impl || read->serial != impl->serial) return;
  if (ok) {
    if (isTextType(read->type)) {
      // Text that is not UTF-8 is not text.
      if (g_utf8_validate(read->bytes.data(), static_cast<gssize>(read->bytes.size()), nullptr))
        impl->building.emplace(read->type, Value(std::move(read->bytes)));
    } else {
      impl->building.emplace(read->type, Value(Data(read->bytes.begin(), read->bytes.end())));
    }
  }
  if (--impl->pending == 0) impl->ready = std::move(impl->building);
}

void readChunk(Read* read);

void chunkRead(GObject* stream, GAsyncResult* result, gpointer data) {
  auto* read = static_cast<Read*>(data);
  GError* error = nullptr;
  GBytes* chunk = g_input_stream_read_bytes_finish(G_INPUT_STREAM(stream), result, &error);
  if (!chunk) {
    g_clear_error(&error);
    finish(read, false);
    return;
  }
  gsize size = 0;
  const auto* p = static_cast<const char*>(g_bytes_get_data(chunk, &size));
  if (size == 0) {
    g_bytes_unref(chunk);
    finish(read, true);
    return;
  }
  // Too large: refused whole, and the rest is not read.
  if (read->bytes.size() + size > ClipboardHost::kReadLimit) {
    g_bytes_unref(chunk);
    finish(read, false);
    return;
  }
  read->bytes.append(p, size);
  g_bytes_unref(chunk);
  readChunk(read);
}

void readChunk(Read* read) {
  g_input_stream_read_bytes_async(read->stream, kChunk, G_PRIORITY_DEFAULT, read->cancellable, chunkRead, read);
}

void streamOpened(GObject* clipboard, GAsyncResult* result, gpointer data) {
  auto* read = static_cast<Read*>(data);
  GError* error = nullptr;
  read->stream = gdk_clipboard_read_finish(GDK_CLIPBOARD(clipboard), result, nullptr, &error);
  if (!read->stream) {
    g_clear_error(&error);
    finish(read, false);
    return;
  }
  readChunk(read);
}

void clipboardChanged(GdkClipboard* clipboard, gpointer data) {
  auto* holder = static_cast<std::weak_ptr<ClipboardHost::Impl>*>(data);
  auto impl = holder->lock();
  if (!impl) return;
  // Our own publishing; its contents are the pasteboard's already.
  if (gdk_clipboard_is_local(clipboard)) return;
  impl->cancelReads();
  impl->cancellable = g_cancellable_new();
  GdkContentFormats* formats = gdk_clipboard_get_formats(clipboard);
  gsize n = 0;
  const char* const* mimes = gdk_content_formats_get_mime_types(formats, &n);
  std::set<std::string> types;
  std::vector<std::pair<std::string, std::string>> reads;  // type, MIME type
  for (gsize i = 0; i < n; ++i) {
    std::optional<std::string> type = pasteboardTypeFor(mimes[i]);
    if (type && types.insert(*type).second) reads.emplace_back(*type, mimes[i]);
  }
  if (reads.empty()) {
    impl->ready = Dictionary{};  // nothing we read: the pasteboard empties
    return;
  }
  impl->pending = static_cast<int>(reads.size());
  for (auto& [type, mime] : reads) {
    auto* read = new Read;
    read->impl = impl;
    read->serial = impl->serial;
    read->type = type;
    read->cancellable = G_CANCELLABLE(g_object_ref(impl->cancellable));
    const char* wanted[] = {mime.c_str(), nullptr};
    gdk_clipboard_read_async(clipboard, wanted, G_PRIORITY_DEFAULT, read->cancellable, streamOpened, read);
  }
}

}  // namespace

ClipboardHost::ClipboardHost() : impl_(std::make_shared<Impl>()) {
  impl_->clipboard = gdk_display_get_clipboard(gdk_display_get_default());
  g_object_ref(impl_->clipboard);
  auto* holder = new std::weak_ptr<Impl>(impl_);
  impl_->changedHandler = g_signal_connect_data(
      impl_->clipboard, "changed", G_CALLBACK(clipboardChanged), holder,
      [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<Impl>*>(data); }, GConnectFlags(0));
  // What is on the clipboard already is the pasteboard's first contents.
  clipboardChanged(impl_->clipboard, holder);
}

ClipboardHost::~ClipboardHost() {
  impl_->cancelReads();
  g_signal_handler_disconnect(impl_->clipboard, impl_->changedHandler);
  g_object_unref(impl_->clipboard);
}

void ClipboardHost::publish(const Pasteboard& board) {
  impl_->cancelReads();
  impl_->ready.reset();
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

std::optional<std::vector<Dictionary>> ClipboardHost::fetchChanged(const Pasteboard&) {
  if (impl_->pending > 0 && impl_->waited != impl_->serial) {
    // A paste just after another application copied: wait a little for the reads to finish, once
    // (an application that never answers must not slow every later read).
    impl_->waited = impl_->serial;
    GSource* limit = g_timeout_source_new(static_cast<guint>(kReadWaitSeconds * 1000));
    g_source_set_callback(limit, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(limit, nullptr);
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(kReadWaitSeconds * 1e6);
    while (impl_->pending > 0 && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(limit);
    g_source_unref(limit);
  }
  if (!impl_->ready) return std::nullopt;
  std::vector<Dictionary> items;
  if (!impl_->ready->empty()) items.push_back(std::move(*impl_->ready));
  impl_->ready.reset();
  return items;
}

}  // namespace kit::gtk
