#include "LinuxClipboard.hpp"

#include <xcb/xfixes.h>

#include <algorithm>
#include <chrono>

#include "Output.hpp"
#include "XReply.hpp"

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

EngineFailure unreachable() {
  return EngineFailure(ErrorCode::failed, "The clipboard could not be reached.");
}

// An owner that did not answer, unless it is the X server that went away: then say so.
EngineFailure unreadable(const XLink& link) {
  if (link.broken()) return unreachable();
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

LinuxClipboard::LinuxClipboard(std::shared_ptr<XConnection> connection)
    : connection_(std::move(connection)) {
  // Made at once where there is a display, so that owner changes are counted from the start.
  watch_ = connection_->watch(
      {[this](XLink& link, const xcb_generic_event_t& event) { onEvent(link, event); },
       [this](const std::shared_ptr<XLink>& link) { setUp(link); },
       [this](XLink& link) { onLost(link); }});
}

LinuxClipboard::~LinuxClipboard() {
  watch_ = Subscription();
  std::lock_guard lock(mutex_);
  if (!session_) return;
  if (const auto link = session_->link.lock(); link && !link->broken()) {
    xcb_destroy_window(link->get(), session_->window);
    xcb_flush(link->get());
  }
}

// --- sessions ------------------------------------------------------------------------------------

LinuxClipboard::Use LinuxClipboard::open() {
  std::shared_ptr<XLink> link = connection_->link();
  std::shared_ptr<const Session> session = link ? setUp(link) : nullptr;
  if (!session) throw unreachable();
  return Use{std::move(link), std::move(session)};
}

std::shared_ptr<const LinuxClipboard::Session> LinuxClipboard::setUp(
    const std::shared_ptr<XLink>& link) {
  std::lock_guard setup(setupLock_);
  {
    std::lock_guard lock(mutex_);
    if (session_ && session_->serial == link->serial()) return session_;
  }
  xcb_connection_t* c = link->get();
  const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
  if (link->broken() || fixes == nullptr || fixes->present == 0) return nullptr;
  xReply(xcb_xfixes_query_version_reply, c, xcb_xfixes_query_version(c, 5, 0));
  link->intern(
      {"CLIPBOARD", "TARGETS", "TIMESTAMP", "INCR", "MULTIPLE", "HALCY_CLOCK", "HALCY_SYNC"});
  auto made = std::make_shared<Session>();
  made->link = link;
  made->serial = link->serial();
  made->window = xcb_generate_id(c);
  made->fixesEvent = fixes->first_event;
  made->idMask = xcb_get_setup(c)->resource_id_mask;
  const std::uint32_t maximum = xcb_get_maximum_request_length(c) * 4;
  made->chunkBytes = std::min(largestChunk, maximum > 4096 ? maximum - 4096 : 1024);
  made->clipboard = link->atom("CLIPBOARD");
  made->targets = link->atom("TARGETS");
  made->timestamp = link->atom("TIMESTAMP");
  made->incr = link->atom("INCR");
  made->multiple = link->atom("MULTIPLE");
  made->clock = link->atom("HALCY_CLOCK");
  made->sync = link->atom("HALCY_SYNC");
  const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, made->window, link->root(), -1, -1, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                    XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
  xcb_xfixes_select_selection_input(c, made->window, made->clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(c);
  std::lock_guard lock(mutex_);
  forgetSession();
  session_ = made;
  changed_.notify_all();
  return made;
}

void LinuxClipboard::forgetSession() {
  owning_ = false;
  served_ = Offer{};
  overlay_.reset();
  recentOwners_.clear();
  pastePending_ = false;
  pasteClient_.reset();
  conversions_.clear();
  newValues_.clear();
  outgoing_.clear();
}

// The server went away, and with it whatever it held: a change of the clipboard like any other.
void LinuxClipboard::onLost(XLink& link) {
  std::lock_guard lock(mutex_);
  if (!session_ || session_->serial != link.serial()) return;
  session_.reset();
  forgetSession();
  ++changeCount_;
  changed_.notify_all();
}

// --- events, on the connection's reader thread --------------------------------------------------

void LinuxClipboard::onEvent(XLink& link, const xcb_generic_event_t& event) {
  std::shared_ptr<const Session> session;
  {
    std::lock_guard lock(mutex_);
    session = session_;
  }
  if (!session || session->serial != link.serial()) return;
  const auto type = event.response_type & 0x7F;
  if (type == XCB_CLIENT_MESSAGE) {
    const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
    if (message.window != session->window || message.type != session->sync) return;
    std::lock_guard lock(mutex_);
    syncsSeen_ = std::max<std::uint64_t>(syncsSeen_, message.data.data32[0]);
    changed_.notify_all();
  } else if (type == session->fixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
    onOwnerChange(*session, event);
  } else if (type == XCB_SELECTION_REQUEST) {
    onRequest(link, *session, reinterpret_cast<const xcb_selection_request_event_t&>(event));
  } else if (type == XCB_SELECTION_CLEAR) {
    const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
    std::lock_guard lock(mutex_);
    // A clear from before the engine took the clipboard again is stale.
    if (clear.owner == session->window && clear.selection == session->clipboard &&
        clear.time >= ownedSince_) {
      owning_ = false;
      served_ = Offer{};
      overlay_.reset();
      changed_.notify_all();
    }
  } else if (type == XCB_SELECTION_NOTIFY) {
    const auto& answer = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
    if (answer.requestor != session->window) return;
    std::lock_guard lock(mutex_);
    conversions_[answer.target] = answer;
    changed_.notify_all();
  } else if (type == XCB_PROPERTY_NOTIFY) {
    onPropertyNotify(link, *session, reinterpret_cast<const xcb_property_notify_event_t&>(event));
  }
}

void LinuxClipboard::onOwnerChange(const Session& session, const xcb_generic_event_t& event) {
  const auto& change = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
  if (change.window != session.window || change.selection != session.clipboard) return;
  std::lock_guard lock(mutex_);
  ++changeCount_;
  recentOwners_.push_back({change.owner, change.selection_timestamp, changeCount_});
  if (recentOwners_.size() > rememberedOwners) recentOwners_.pop_front();
  changed_.notify_all();
}

void LinuxClipboard::onPropertyNotify(XLink& link, const Session& session,
                                      const xcb_property_notify_event_t& event) {
  std::unique_lock lock(mutex_);
  if (event.window == session.window) {
    if (event.atom == session.clock) {
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
    sendNextChunk(link, session, **transfer);
    if ((*transfer)->offset > (*transfer)->data.size()) outgoing_.erase(transfer);
    return;
  }
}

// An offset past the end marks the closing empty chunk as sent.
void LinuxClipboard::sendNextChunk(XLink& link, const Session& session, Outgoing& transfer) {
  const std::size_t unit = transfer.format / 8;
  const std::size_t left = transfer.data.size() - std::min(transfer.offset, transfer.data.size());
  const std::size_t bytes = std::min<std::size_t>(left, session.chunkBytes / unit * unit);
  xcb_change_property(link.get(), XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property,
                      transfer.type, transfer.format, static_cast<std::uint32_t>(bytes / unit),
                      transfer.data.data() + transfer.offset);
  transfer.offset += bytes == 0 ? 1 : bytes;
  xcb_flush(link.get());
}

void LinuxClipboard::onRequest(XLink& link, const Session& session,
                               const xcb_selection_request_event_t& request) {
  // Clients from before ICCCM name no property: the target doubles as one.
  const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = answer(link, session, request, property) ? property : XCB_NONE;
  xcb_send_event(link.get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  xcb_flush(link.get());
}

bool LinuxClipboard::answer(XLink& link, const Session& session,
                            const xcb_selection_request_event_t& request, xcb_atom_t property) {
  std::unique_lock lock(mutex_);
  if (request.selection != session.clipboard || !owning_ || request.target == session.multiple) {
    return false;
  }
  const xcb_window_t client = request.requestor & ~session.idMask;
  if (overlay_ && std::chrono::steady_clock::now() >= overlay_->until) overlay_.reset();
  const bool forPaste = overlay_ && overlay_->client == client;
  // The paste's request carries the keystroke's time, from before the restore took over.
  if (!forPaste && request.time != XCB_CURRENT_TIME && request.time < ownedSince_) return false;
  const Offer& offer = forPaste ? overlay_->offer : served_;
  if (request.target == session.targets) {
    std::vector<xcb_atom_t> list = {session.targets, session.timestamp};
    list.insert(list.end(), offer.targets.begin(), offer.targets.end());
    xcb_change_property(link.get(), XCB_PROP_MODE_REPLACE, request.requestor, property,
                        XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(list.size()), list.data());
    return true;
  }
  if (request.target == session.timestamp) {
    xcb_change_property(link.get(), XCB_PROP_MODE_REPLACE, request.requestor, property,
                        XCB_ATOM_INTEGER, 32, 1, &ownedSince_);
    return true;
  }
  const auto found = std::find(offer.targets.begin(), offer.targets.end(), request.target);
  if (found == offer.targets.end()) return false;
  const auto index = static_cast<std::size_t>(found - offer.targets.begin());
  const bool served =
      send(link, session, request, property, offer.entries[index], offer.types[index]);
  if (pastePending_ && (!pasteClient_ || client == *pasteClient_)) {
    pastePending_ = false;
    changed_.notify_all();
  }
  // The paste has what it came for; from now on its application sees the restored contents too.
  if (forPaste) {
    overlay_.reset();
    changed_.notify_all();
  }
  return served;
}

// With `mutex_` held.
bool LinuxClipboard::send(XLink& link, const Session& session,
                          const xcb_selection_request_event_t& request, xcb_atom_t property,
                          const Entry& entry, xcb_atom_t type) {
  xcb_connection_t* c = link.get();
  const std::uint8_t format = entry.format == 16 || entry.format == 32 ? entry.format : 8;
  if (entry.data.size() <= session.chunkBytes) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, type, format,
                        static_cast<std::uint32_t>(entry.data.size() / (format / 8)),
                        entry.data.data());
    return true;
  }
  auto transfer =
      std::make_unique<Outgoing>(Outgoing{request.requestor, property, type, format, entry.data});
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &events);
  const auto size = static_cast<std::uint32_t>(entry.data.size());
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, session.incr, 32, 1,
                      &size);
  // A requestor that went away mid-transfer never deletes the property again: drop its copy.
  const auto now = std::chrono::steady_clock::now();
  std::erase_if(outgoing_, [&](const auto& old) { return now - old->started > abandonedTransfer; });
  outgoing_.push_back(std::move(transfer));
  return true;
}

// --- operations ----------------------------------------------------------------------------------

// The server's clock as the stamp of a property change on our own window: X wants real
// timestamps for selection ownership.
xcb_timestamp_t LinuxClipboard::serverTime(const Use& use) {
  const Session& session = *use.session;
  std::unique_lock lock(mutex_);
  const std::uint64_t before = clockTicks_;
  xcb_change_property(use.connection(), XCB_PROP_MODE_APPEND, session.window, session.clock,
                      XCB_ATOM_STRING, 8, 0, nullptr);
  xcb_flush(use.connection());
  if (!changed_.wait_for(lock, eventPatience, [&] { return clockTicks_ > before || gone(use); }) ||
      gone(use)) {
    throw unreachable();
  }
  return clockTime_;
}

void LinuxClipboard::own(const Use& use, const Entries& entries) {
  const Session& session = *use.session;
  Offer offer{entries, {}, {}};
  for (const Entry& entry : entries) {
    offer.targets.push_back(use.link->atom(entry.target));
    offer.types.push_back(use.link->atom(entry.type));
  }
  const xcb_timestamp_t time = serverTime(use);
  std::unique_lock lock(mutex_);
  if (gone(use)) throw unreachable();
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
  const xcb_window_t owner = owning_ ? session.window : XCB_NONE;
  const std::int64_t countBefore = changeCount_;
  xcb_set_selection_owner(use.connection(), owner, session.clipboard, time);
  xcb_flush(use.connection());
  // The owner change is counted by its XFixes notice; wait for it so the count returned is current.
  const bool seen = changed_.wait_for(lock, eventPatience, [&] {
    return gone(use) ||
           std::any_of(recentOwners_.begin(), recentOwners_.end(), [&](const OwnerChange& change) {
             return change.count > countBefore && change.owner == owner && change.time == time;
           });
  });
  if (gone(use)) throw unreachable();
  if (!seen) {
    owning_ = false;
    throw EngineFailure(ErrorCode::failed, "The clipboard could not be written.");
  }
}

// An empty restore right after a paste keeps the clipboard only to hand the paste target its text;
// once that is done (or no longer awaited) the clipboard goes back to having no owner.
void LinuxClipboard::letGoAfterPaste(const Use& use) {
  std::unique_lock lock(mutex_);
  if (!owning_ || !served_.entries.empty()) return;
  changed_.wait_for(lock, overlayPatience, [&] { return gone(use) || !owning_ || !overlay_; });
  if (gone(use) || !owning_ || !served_.entries.empty()) return;
  overlay_.reset();
  owning_ = false;
  // Stamped with the time the engine took it: should anybody have taken it since, this is void.
  xcb_set_selection_owner(use.connection(), XCB_NONE, use.session->clipboard, ownedSince_);
  xcb_flush(use.connection());
}

std::int64_t LinuxClipboard::write(const std::string& text, bool transient) {
  std::lock_guard operation(operation_);
  const Use current = open();
  own(current, textEntries(text, transient));
  std::lock_guard lock(mutex_);
  return changeCount_;
}

void LinuxClipboard::restore(const Entries& entries) {
  std::lock_guard operation(operation_);
  const Use current = open();
  own(current, entries);
  if (entries.empty()) letGoAfterPaste(current);
}

std::int64_t LinuxClipboard::changeCount() {
  return currentCount(open());
}

// Another client's owner change reaches us as an event a moment after it happened; a message sent
// to ourselves through the server comes after every such event, so once it is seen the count is
// current. Without this a restore could overwrite a copy the user made just before it.
std::int64_t LinuxClipboard::currentCount(const Use& use) {
  std::unique_lock lock(mutex_);
  const std::uint64_t marker = ++syncsSent_;
  xcb_client_message_event_t sync{};
  sync.response_type = XCB_CLIENT_MESSAGE;
  sync.format = 32;
  sync.window = use.session->window;
  sync.type = use.session->sync;
  sync.data.data32[0] = static_cast<std::uint32_t>(marker);
  xcb_send_event(use.connection(), 0, use.session->window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&sync));
  xcb_flush(use.connection());
  changed_.wait_for(lock, eventPatience, [&] { return gone(use) || syncsSeen_ >= marker; });
  return changeCount_;
}

void LinuxClipboard::notePastePosted(std::optional<xcb_window_t> focus) {
  std::lock_guard lock(mutex_);
  if (!session_ || !owning_) return;
  pastePending_ = true;
  // Windows of one client share the high bits of their ids: a request from any window of the
  // focused application is the paste's.
  pasteClient_.reset();
  if (focus && *focus != XCB_NONE && *focus != XCB_INPUT_FOCUS_POINTER_ROOT) {
    pasteClient_ = *focus & ~session_->idMask;
  }
}

void LinuxClipboard::settlePaste() {
  std::unique_lock lock(mutex_);
  // Without knowing the paste target's application, the restore has to wait for a fetch.
  if (!pastePending_ || pasteClient_) return;
  changed_.wait_for(lock, pastePatience, [&] { return !session_ || !owning_ || !pastePending_; });
  pastePending_ = false;
}

// ICCCM's clipboard manager protocol: asked to SAVE_TARGETS, the manager copies what the engine
// serves and keeps serving it after the engine is gone. Without one the contents go with the
// engine.
void LinuxClipboard::handOver() {
  std::lock_guard operation(operation_);
  std::optional<Use> current;
  try {
    current = open();
  } catch (const EngineFailure&) {
    return;
  }
  const Session& session = *current->session;
  xcb_connection_t* c = current->connection();
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
  const xcb_atom_t manager = current->link->atom("CLIPBOARD_MANAGER");
  const xcb_atom_t saveTargets = current->link->atom("SAVE_TARGETS");
  const xcb_atom_t listed = current->link->atom("HALCY_SAVE_TARGETS");
  auto owner = xReply(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, manager));
  if (!owner || owner->owner == XCB_NONE) return;
  std::unique_lock lock(mutex_);
  conversions_.erase(saveTargets);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, session.window, listed, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(targets.size()), targets.data());
  xcb_convert_selection(c, session.window, manager, saveTargets, listed, XCB_CURRENT_TIME);
  xcb_flush(c);
  // The reader thread serves the manager's requests meanwhile.
  changed_.wait_for(lock, handOverPatience,
                    [&] { return gone(*current) || conversions_.count(saveTargets) > 0; });
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
  const Use current = open();
  const Session& session = *current.session;
  xcb_connection_t* c = current.connection();
  auto owner =
      xReply(xcb_get_selection_owner_reply, c, xcb_get_selection_owner(c, session.clipboard));
  if (!owner) throw unreadable(*current.link);
  Entries entries;
  if (owner->owner == session.window) {
    std::lock_guard lock(mutex_);
    if (owning_) entries = served_.entries;
  } else if (owner->owner != XCB_NONE) {
    std::optional<Entry> listed = convertAll(current, {session.targets}).front();
    if (!listed) throw unreadable(*current.link);
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(listed->data.data());
    const std::size_t count = listed->format == 32 ? listed->data.size() / 4 : 0;
    std::vector<xcb_atom_t> wanted;
    for (std::size_t index = 0; index < count; ++index) {
      const xcb_atom_t target = atoms[index];
      if (target == XCB_NONE || std::find(wanted.begin(), wanted.end(), target) != wanted.end()) {
        continue;
      }
      const std::string name = current.link->atomName(target);
      if (std::find(std::begin(metaTargets), std::end(metaTargets), name) ==
          std::end(metaTargets)) {
        wanted.push_back(target);
      }
    }
    for (std::optional<Entry>& entry : convertAll(current, wanted)) {
      if (entry) entries.push_back(std::move(*entry));
    }
  }
  return {std::move(entries), currentCount(current)};
}

// Asks for every target at once, each into a property of its own: the owner answers them one after
// another without waiting for us in between.
std::vector<std::optional<LinuxClipboard::Entry>> LinuxClipboard::convertAll(
    const Use& use, const std::vector<xcb_atom_t>& targets) {
  const Session& session = *use.session;
  xcb_connection_t* c = use.connection();
  std::vector<xcb_atom_t> properties;
  for (std::size_t index = 0; index < targets.size(); ++index) {
    properties.push_back(use.link->atom("HALCY_CLIPBOARD_" + std::to_string(index)));
  }
  std::vector<std::optional<std::uint64_t>> valuesBefore(targets.size());
  {
    std::unique_lock lock(mutex_);
    conversions_.clear();
    for (std::size_t index = 0; index < targets.size(); ++index) {
      xcb_delete_property(c, session.window, properties[index]);
      xcb_convert_selection(c, session.window, session.clipboard, targets[index], properties[index],
                            XCB_CURRENT_TIME);
    }
    xcb_flush(c);
    changed_.wait_for(lock, conversionPatience,
                      [&] { return gone(use) || conversions_.size() >= targets.size(); });
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
    cookies.push_back(xcb_get_property(c, 1, session.window, properties[index],
                                       XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4));
  }
  std::vector<std::optional<Entry>> entries(targets.size());
  for (std::size_t index = 0; index < targets.size(); ++index) {
    auto reply = xReply(xcb_get_property_reply, c, cookies[index]);
    if (!reply || !valuesBefore[index]) continue;
    xcb_atom_t type = reply->type;
    std::uint8_t format = reply->format == 0 ? 8 : reply->format;
    std::optional<std::string> data = valueOf(*reply);
    if (type == session.incr) {
      data = readIncrementally(use, properties[index], *valuesBefore[index], type, format);
    }
    if (data) {
      entries[index] = Entry{use.link->atomName(targets[index]), use.link->atomName(type), format,
                             std::move(*data)};
    }
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
std::optional<std::string> LinuxClipboard::readIncrementally(const Use& use, xcb_atom_t property,
                                                             std::uint64_t valuesBefore,
                                                             xcb_atom_t& type,
                                                             std::uint8_t& format) {
  xcb_connection_t* c = use.connection();
  std::string data;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, conversionPatience,
                             [&] { return gone(use) || newValues_[property] > valuesBefore; }) ||
          gone(use)) {
        return std::nullopt;
      }
      valuesBefore = newValues_[property];
    }
    auto reply = xReply(xcb_get_property_reply, c,
                        xcb_get_property(c, 1, use.session->window, property,
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4));
    if (!reply) return std::nullopt;
    type = reply->type;
    format = reply->format == 0 ? 8 : reply->format;
    std::string chunk = valueOf(*reply);
    if (chunk.empty()) return data;
    data += chunk;
  }
}

}  // namespace halcy
