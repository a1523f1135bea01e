#include "LinuxClipboard.hpp"

#include <xcb/xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "Output.hpp"

namespace halcy {

namespace {

using namespace std::chrono_literals;

// An owner that takes longer than this to hand over one target is treated as not having it.
constexpr auto conversionPatience = 1000ms;
// How long a restore waits for the paste target to fetch the pasted text.
constexpr auto pastePatience = 500ms;
// The hint KDE's clipboard manager and its followers honour: do not record this content.
constexpr const char* transientMarker = "x-kde-passwordManagerHint";
// How long a clipboard manager may take to copy the contents when the engine exits.
constexpr auto handOverPatience = 2000ms;
// How long the paste target's application is still handed the pasted text after a restore.
constexpr auto overlayPatience = 2000ms;
constexpr auto eventPatience = 1000ms;
// Larger data is handed out incrementally (INCR), as ICCCM asks.
constexpr std::uint32_t largestChunk = 256 * 1024;
constexpr auto abandonedTransfer = std::chrono::seconds(30);
// Owner changes kept to recognise our own among quick successions.
constexpr std::size_t rememberedOwners = 16;

// Targets that describe the selection instead of holding its contents.
constexpr const char* metaTargets[] = {"TARGETS",      "MULTIPLE",         "TIMESTAMP",
                                       "DELETE",       "INSERT_SELECTION", "INSERT_PROPERTY",
                                       "SAVE_TARGETS", "SAVE_MULTIPLE"};

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

EngineFailure unreadable() {
  return EngineFailure(ErrorCode::failed, "The clipboard's owner did not hand over its contents.");
}

// ICCCM's STRING is Latin-1; characters beyond it become "?".
std::string latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t index = 0; index < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[index]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0x80) {
      out += static_cast<char>(lead);
    } else if (length == 2 && index + 1 < utf8.size()) {
      const unsigned code =
          ((lead & 0x1FU) << 6) | (static_cast<unsigned char>(utf8[index + 1]) & 0x3FU);
      out += code <= 0xFF ? static_cast<char>(code) : '?';
    } else {
      out += '?';
    }
    index += length;
  }
  return out;
}

}  // namespace

struct LinuxClipboard::Outgoing {
  xcb_window_t requestor;
  xcb_atom_t property;
  xcb_atom_t type;
  std::uint8_t format;
  std::string data;
  std::size_t offset = 0;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

std::unique_ptr<LinuxClipboard> LinuxClipboard::open() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (fixes == nullptr || fixes->present == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
      connection, xcb_xfixes_query_version(connection, 5, 0), nullptr));
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, -1, -1, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                    XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
  return std::unique_ptr<LinuxClipboard>(
      new LinuxClipboard(connection, window, fixes->first_event));
}

LinuxClipboard::LinuxClipboard(xcb_connection_t* connection, xcb_window_t window,
                               std::uint8_t fixesEvent)
    : connection_(connection), window_(window), fixesEvent_(fixesEvent) {
  clipboard_ = atom("CLIPBOARD");
  targets_ = atom("TARGETS");
  timestamp_ = atom("TIMESTAMP");
  incr_ = atom("INCR");
  multiple_ = atom("MULTIPLE");
  clock_ = atom("HALCY_CLOCK");
  stop_ = atom("HALCY_STOP");
  sync_ = atom("HALCY_SYNC");
  const std::uint32_t maximum = xcb_get_maximum_request_length(connection_) * 4;
  chunkBytes_ = std::min(largestChunk, maximum > 4096 ? maximum - 4096 : 1024);
  xcb_xfixes_select_selection_input(connection_, window_, clipboard_,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(connection_);
  events_ = std::thread([this] { run(); });
}

LinuxClipboard::~LinuxClipboard() {
  xcb_client_message_event_t wake{};
  wake.response_type = XCB_CLIENT_MESSAGE;
  wake.format = 32;
  wake.window = window_;
  wake.type = stop_;
  xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&wake));
  xcb_flush(connection_);
  if (events_.joinable()) events_.join();
  xcb_destroy_window(connection_, window_);
  xcb_disconnect(connection_);
}

xcb_atom_t LinuxClipboard::atom(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    if (auto found = atoms_.find(name); found != atoms_.end()) return found->second;
  }
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection_,
      xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
      nullptr));
  if (!reply) return XCB_NONE;
  std::lock_guard lock(mutex_);
  atoms_[name] = reply->atom;
  return reply->atom;
}

std::string LinuxClipboard::atomName(xcb_atom_t value) {
  {
    std::lock_guard lock(mutex_);
    for (const auto& [name, known] : atoms_) {
      if (known == value) return name;
    }
  }
  Reply<xcb_get_atom_name_reply_t> reply(
      xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, value), nullptr));
  if (!reply) return {};
  std::string name(xcb_get_atom_name_name(reply.get()),
                   static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
  std::lock_guard lock(mutex_);
  atoms_[name] = value;
  return name;
}

// --- the event thread ---------------------------------------------------------------------------

void LinuxClipboard::run() {
  for (;;) {
    std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(xcb_wait_for_event(connection_));
    if (!event) break;
    const auto type = event->response_type & 0x7F;
    if (type == XCB_CLIENT_MESSAGE) {
      const auto& message = *reinterpret_cast<xcb_client_message_event_t*>(event.get());
      if (message.type == stop_) break;
      if (message.type == sync_) {
        std::lock_guard lock(mutex_);
        syncsSeen_ = std::max<std::uint64_t>(syncsSeen_, message.data.data32[0]);
        changed_.notify_all();
        continue;
      }
    }
    handle(event.get());
  }
  std::lock_guard lock(mutex_);
  broken_ = true;
  changed_.notify_all();
}

void LinuxClipboard::handle(xcb_generic_event_t* event) {
  const auto type = event->response_type & 0x7F;
  if (type == fixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
    onOwnerChange(event);
  } else if (type == XCB_SELECTION_REQUEST) {
    onRequest(*reinterpret_cast<xcb_selection_request_event_t*>(event));
  } else if (type == XCB_SELECTION_CLEAR) {
    const auto& clear = *reinterpret_cast<xcb_selection_clear_event_t*>(event);
    std::lock_guard lock(mutex_);
    // A clear from before the engine took the clipboard again is stale.
    if (clear.selection == clipboard_ && clear.time >= ownedSince_) {
      owning_ = false;
      served_ = Offer{};
      overlay_.reset();
      changed_.notify_all();
    }
  } else if (type == XCB_SELECTION_NOTIFY) {
    const auto& answer = *reinterpret_cast<xcb_selection_notify_event_t*>(event);
    std::lock_guard lock(mutex_);
    conversions_[answer.target] = answer;
    changed_.notify_all();
  } else if (type == XCB_PROPERTY_NOTIFY) {
    onPropertyNotify(*reinterpret_cast<xcb_property_notify_event_t*>(event));
  }
}

void LinuxClipboard::onOwnerChange(xcb_generic_event_t* event) {
  const auto& change = *reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
  if (change.selection != clipboard_) return;
  std::lock_guard lock(mutex_);
  ++changeCount_;
  recentOwners_.emplace_back(change.owner, change.selection_timestamp);
  if (recentOwners_.size() > rememberedOwners) recentOwners_.pop_front();
  changed_.notify_all();
}

void LinuxClipboard::onPropertyNotify(const xcb_property_notify_event_t& event) {
  std::unique_lock lock(mutex_);
  if (event.window == window_) {
    if (event.atom == clock_) {
      ++clockTicks_;
      clockTime_ = event.time;
    } else if (event.state == XCB_PROPERTY_NEW_VALUE) {
      ++newValues_[event.atom];
    }
    changed_.notify_all();
    return;
  }
  if (event.state != XCB_PROPERTY_DELETE) return;
  for (auto transfer = outgoing_.begin(); transfer != outgoing_.end(); ++transfer) {
    if ((*transfer)->requestor != event.window || (*transfer)->property != event.atom) continue;
    sendNextChunk(**transfer);
    if ((*transfer)->offset > (*transfer)->data.size()) outgoing_.erase(transfer);
    return;
  }
}

// An offset past the end marks the closing empty chunk as sent.
void LinuxClipboard::sendNextChunk(Outgoing& transfer) {
  const std::size_t unit = transfer.format / 8;
  const std::size_t left = transfer.data.size() - std::min(transfer.offset, transfer.data.size());
  const std::size_t bytes = std::min<std::size_t>(left, chunkBytes_ / unit * unit);
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property,
                      transfer.type, transfer.format, static_cast<std::uint32_t>(bytes / unit),
                      transfer.data.data() + transfer.offset);
  transfer.offset += bytes == 0 ? 1 : bytes;
  xcb_flush(connection_);
}

void LinuxClipboard::onRequest(const xcb_selection_request_event_t& request) {
  // Clients from before ICCCM name no property: the target doubles as one.
  const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = answer(request, property) ? property : XCB_NONE;
  xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  xcb_flush(connection_);
}

bool LinuxClipboard::answer(const xcb_selection_request_event_t& request, xcb_atom_t property) {
  std::unique_lock lock(mutex_);
  if (request.selection != clipboard_ || !owning_ || request.target == multiple_) return false;
  const xcb_window_t client = request.requestor & ~xcb_get_setup(connection_)->resource_id_mask;
  if (overlay_ && std::chrono::steady_clock::now() >= overlay_->until) overlay_.reset();
  const bool forPaste = overlay_ && overlay_->client == client;
  // The paste's request carries the keystroke's time, from before the restore took over.
  if (!forPaste && request.time != XCB_CURRENT_TIME && request.time < ownedSince_) return false;
  const Offer& offer = forPaste ? overlay_->offer : served_;
  if (request.target == targets_) {
    std::vector<xcb_atom_t> list = {targets_, timestamp_};
    list.insert(list.end(), offer.targets.begin(), offer.targets.end());
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                        XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(list.size()), list.data());
    return true;
  }
  if (request.target == timestamp_) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                        XCB_ATOM_INTEGER, 32, 1, &ownedSince_);
    return true;
  }
  const auto found = std::find(offer.targets.begin(), offer.targets.end(), request.target);
  if (found == offer.targets.end()) return false;
  const auto index = static_cast<std::size_t>(found - offer.targets.begin());
  const bool served = send(request, property, offer.entries[index], offer.types[index]);
  if (pastePending_ && (!pasteClient_ || client == *pasteClient_)) {
    pastePending_ = false;
    changed_.notify_all();
  }
  // The paste has what it came for; from now on its application sees the restored contents too.
  if (forPaste) overlay_.reset();
  return served;
}

// With `mutex_` held.
bool LinuxClipboard::send(const xcb_selection_request_event_t& request, xcb_atom_t property,
                          const Entry& entry, xcb_atom_t type) {
  const std::uint8_t format = entry.format == 16 || entry.format == 32 ? entry.format : 8;
  if (entry.data.size() <= chunkBytes_) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, type,
                        format, static_cast<std::uint32_t>(entry.data.size() / (format / 8)),
                        entry.data.data());
    return true;
  }
  auto transfer =
      std::make_unique<Outgoing>(Outgoing{request.requestor, property, type, format, entry.data});
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(connection_, request.requestor, XCB_CW_EVENT_MASK, &events);
  const auto size = static_cast<std::uint32_t>(entry.data.size());
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, incr_, 32, 1,
                      &size);
  // A requestor that went away mid-transfer never deletes the property again: drop its copy.
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(outgoing_, [&](const auto& old) { return now - old->started > abandonedTransfer; });
  outgoing_.push_back(std::move(transfer));
  return true;
}

// --- operations
// -----------------------------------------------------------------------------------

// The server's clock as the stamp of a property change on our own window: X wants real
// timestamps for selection ownership.
xcb_timestamp_t LinuxClipboard::serverTime() {
  std::unique_lock lock(mutex_);
  const std::uint64_t before = clockTicks_;
  xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, clock_, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  xcb_flush(connection_);
  if (!changed_.wait_for(lock, eventPatience, [&] { return clockTicks_ > before || broken_; }) ||
      broken_) {
    throw EngineFailure(ErrorCode::failed, "The clipboard could not be reached.");
  }
  return clockTime_;
}

void LinuxClipboard::own(const Entries& entries) {
  Offer offer{entries, {}, {}};
  for (const Entry& entry : entries) {
    offer.targets.push_back(atom(entry.target));
    offer.types.push_back(atom(entry.type));
  }
  const xcb_timestamp_t time = serverTime();
  std::unique_lock lock(mutex_);
  // The paste target may not have fetched the pasted text yet: its application keeps getting that
  // text for a while, everybody else gets the new contents at once.
  overlay_.reset();
  if (pastePending_ && pasteClient_ && owning_) {
    overlay_ = PasteOverlay{std::move(served_), *pasteClient_,
                            std::chrono::steady_clock::now() + overlayPatience};
  }
  pastePending_ = false;
  served_ = std::move(offer);
  owning_ = !entries.empty() || overlay_.has_value();
  ownedSince_ = time;
  const xcb_window_t owner = owning_ ? window_ : XCB_NONE;
  xcb_set_selection_owner(connection_, owner, clipboard_, time);
  xcb_flush(connection_);
  // The owner change is counted by its XFixes notice; wait for it so the count returned is current.
  const bool seen = changed_.wait_for(lock, eventPatience, [&] {
    return broken_ || std::find(recentOwners_.begin(), recentOwners_.end(),
                                std::pair{owner, time}) != recentOwners_.end();
  });
  if (!seen || broken_) {
    owning_ = false;
    throw EngineFailure(ErrorCode::failed, "The clipboard could not be written.");
  }
}

std::int64_t LinuxClipboard::write(const std::string& text, bool transient) {
  std::lock_guard operation(operation_);
  own(textEntries(text, transient));
  std::lock_guard lock(mutex_);
  return changeCount_;
}

void LinuxClipboard::restore(const Entries& entries) {
  std::lock_guard operation(operation_);
  own(entries);
}

// Another client's owner change reaches us as an event a moment after it happened; a message sent
// to ourselves through the server comes after every such event, so once it is seen the count is
// current. Without this a restore could overwrite a copy the user made just before it.
std::int64_t LinuxClipboard::changeCount() {
  std::unique_lock lock(mutex_);
  const std::uint64_t marker = ++syncsSent_;
  xcb_client_message_event_t sync{};
  sync.response_type = XCB_CLIENT_MESSAGE;
  sync.format = 32;
  sync.window = window_;
  sync.type = sync_;
  sync.data.data32[0] = static_cast<std::uint32_t>(marker);
  xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&sync));
  xcb_flush(connection_);
  changed_.wait_for(lock, eventPatience, [&] { return broken_ || syncsSeen_ >= marker; });
  return changeCount_;
}

void LinuxClipboard::notePastePosted(std::optional<xcb_window_t> focus) {
  std::lock_guard lock(mutex_);
  if (!owning_) return;
  pastePending_ = true;
  // Windows of one client share the high bits of their ids: a request from any window of the
  // focused application is the paste's.
  pasteClient_.reset();
  if (focus && *focus != XCB_NONE && *focus != XCB_INPUT_FOCUS_POINTER_ROOT) {
    pasteClient_ = *focus & ~xcb_get_setup(connection_)->resource_id_mask;
  }
}

void LinuxClipboard::settlePaste() {
  std::unique_lock lock(mutex_);
  // Without knowing the paste target's application, the restore has to wait for a fetch.
  if (!pastePending_ || pasteClient_) return;
  changed_.wait_for(lock, pastePatience, [&] { return broken_ || !owning_ || !pastePending_; });
  pastePending_ = false;
}

// ICCCM's clipboard manager protocol: asked to SAVE_TARGETS, the manager copies what the engine
// serves and keeps serving it after the engine is gone. Without one the contents go with the
// engine.
void LinuxClipboard::handOver() {
  std::lock_guard operation(operation_);
  std::vector<xcb_atom_t> targets;
  {
    std::lock_guard lock(mutex_);
    if (!owning_ || served_.targets.empty()) return;
    // Text marked transient is not for keeping.
    for (const Entry& entry : served_.entries) {
      if (entry.target == transientMarker) return;
    }
    targets = served_.targets;
  }
  const xcb_atom_t manager = atom("CLIPBOARD_MANAGER");
  const xcb_atom_t saveTargets = atom("SAVE_TARGETS");
  const xcb_atom_t listed = atom("HALCY_SAVE_TARGETS");
  Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, manager), nullptr));
  if (!owner || owner->owner == XCB_NONE) return;
  std::unique_lock lock(mutex_);
  conversions_.erase(saveTargets);
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, listed, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(targets.size()), targets.data());
  xcb_convert_selection(connection_, window_, manager, saveTargets, listed, XCB_CURRENT_TIME);
  xcb_flush(connection_);
  // The event thread serves the manager's requests meanwhile.
  changed_.wait_for(lock, handOverPatience,
                    [&] { return broken_ || conversions_.count(saveTargets) > 0; });
}

LinuxClipboard::Entries LinuxClipboard::textEntries(const std::string& text, bool transient) {
  Entries entries = {{"UTF8_STRING", "UTF8_STRING", 8, text},
                     {"text/plain;charset=utf-8", "text/plain;charset=utf-8", 8, text},
                     {"text/plain", "text/plain", 8, text},
                     {"STRING", "STRING", 8, latin1(text)},
                     {"TEXT", "UTF8_STRING", 8, text}};
  // The hint KDE's clipboard manager and its followers honour: do not record this content.
  if (transient) {
    entries.push_back({transientMarker, transientMarker, 8, "secret"});
  }
  return entries;
}

std::pair<LinuxClipboard::Entries, std::int64_t> LinuxClipboard::save() {
  std::lock_guard operation(operation_);
  Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
  if (!owner) throw unreadable();
  Entries entries;
  if (owner->owner == window_) {
    std::lock_guard lock(mutex_);
    if (owning_) entries = served_.entries;
  } else if (owner->owner != XCB_NONE) {
    std::optional<Entry> listed = convertAll({targets_}).front();
    if (!listed) throw unreadable();
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(listed->data.data());
    const std::size_t count = listed->format == 32 ? listed->data.size() / 4 : 0;
    std::vector<xcb_atom_t> wanted;
    for (std::size_t index = 0; index < count; ++index) {
      const xcb_atom_t target = atoms[index];
      if (target == XCB_NONE || std::find(wanted.begin(), wanted.end(), target) != wanted.end()) {
        continue;
      }
      const std::string name = atomName(target);
      if (std::find(std::begin(metaTargets), std::end(metaTargets), name) ==
          std::end(metaTargets)) {
        wanted.push_back(target);
      }
    }
    for (std::optional<Entry>& entry : convertAll(wanted)) {
      if (entry) entries.push_back(std::move(*entry));
    }
  }
  return {std::move(entries), changeCount()};
}

xcb_atom_t LinuxClipboard::transferProperty(std::size_t index) {
  return atom("HALCY_CLIPBOARD_" + std::to_string(index));
}

// Asks for every target at once, each into a property of its own: the owner answers them one after
// another without waiting for us in between.
std::vector<std::optional<LinuxClipboard::Entry>> LinuxClipboard::convertAll(
    const std::vector<xcb_atom_t>& targets) {
  std::vector<xcb_atom_t> properties;
  for (std::size_t index = 0; index < targets.size(); ++index) {
    properties.push_back(transferProperty(index));
  }
  std::vector<std::optional<std::uint64_t>> valuesBefore(targets.size());
  {
    std::unique_lock lock(mutex_);
    conversions_.clear();
    for (std::size_t index = 0; index < targets.size(); ++index) {
      xcb_delete_property(connection_, window_, properties[index]);
      xcb_convert_selection(connection_, window_, clipboard_, targets[index], properties[index],
                            XCB_CURRENT_TIME);
    }
    xcb_flush(connection_);
    changed_.wait_for(lock, conversionPatience,
                      [&] { return broken_ || conversions_.size() >= targets.size(); });
    for (std::size_t index = 0; index < targets.size(); ++index) {
      auto answer = conversions_.find(targets[index]);
      // Counted before the value is taken: taking an INCR header lets the owner send its first
      // chunk.
      if (answer != conversions_.end() && answer->second.property != XCB_NONE) {
        valuesBefore[index] = newValues_[properties[index]];
      }
    }
  }
  std::vector<xcb_get_property_cookie_t> cookies;
  for (std::size_t index = 0; index < targets.size(); ++index) {
    cookies.push_back(xcb_get_property(connection_, 1, window_, properties[index],
                                       XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4));
  }
  std::vector<std::optional<Entry>> entries(targets.size());
  for (std::size_t index = 0; index < targets.size(); ++index) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_, cookies[index], nullptr));
    if (!reply || !valuesBefore[index]) continue;
    xcb_atom_t type = reply->type;
    std::uint8_t format = reply->format == 0 ? 8 : reply->format;
    std::optional<std::string> data = valueOf(*reply);
    if (type == incr_) {
      data = readIncrementally(properties[index], *valuesBefore[index], type, format);
    }
    if (data)
      entries[index] = Entry{atomName(targets[index]), atomName(type), format, std::move(*data)};
  }
  return entries;
}

std::string LinuxClipboard::valueOf(const xcb_get_property_reply_t& reply) {
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(&reply));
  const auto length = static_cast<std::size_t>(xcb_get_property_value_length(&reply));
  return std::string(bytes, length);
}

// ICCCM's INCR: each chunk arrives as a new value of the property and is taken by deleting it; an
// empty chunk ends the transfer.
std::optional<std::string> LinuxClipboard::readIncrementally(xcb_atom_t property,
                                                             std::uint64_t valuesBefore,
                                                             xcb_atom_t& type,
                                                             std::uint8_t& format) {
  std::string data;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, conversionPatience,
                             [&] { return broken_ || newValues_[property] > valuesBefore; }) ||
          broken_) {
        return std::nullopt;
      }
      valuesBefore = newValues_[property];
    }
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 1, window_, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                               nullptr));
    if (!reply) return std::nullopt;
    type = reply->type;
    format = reply->format == 0 ? 8 : reply->format;
    std::string chunk = valueOf(*reply);
    if (chunk.empty()) return data;
    data += chunk;
  }
}

}  // namespace halcy
