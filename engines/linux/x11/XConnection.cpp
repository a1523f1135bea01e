#include "XConnection.hpp"

#include <sys/socket.h>

#include <condition_variable>
#include <optional>

#include "XReply.hpp"

namespace halcy {

namespace {

// Set on reader threads: an event handler must not make a new connection (it would have to wait
// for its own thread to end).
thread_local bool onReaderThread = false;

std::atomic<std::uint64_t> nextSerial{1};

std::string nameOf(const xcb_get_atom_name_reply_t& reply) {
  return std::string(xcb_get_atom_name_name(&reply),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(&reply)));
}

}  // namespace

// --- one connection ------------------------------------------------------------------------------

XLink::XLink(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root), serial_(nextSerial++) {}

XLink::~XLink() {
  stopReader();
  xcb_disconnect(connection_);
}

void XLink::startReader(std::function<void()> read) {
  std::lock_guard guard(readerLock_);
  reader_ = std::thread([read = std::move(read)] {
    onReaderThread = true;
    read();
  });
}

void XLink::stopReader() {
  std::lock_guard guard(readerLock_);
  if (!reader_.joinable()) return;
  // The reader leaves xcb_wait_for_event once the socket reads as closed.
  lossClaimed_ = true;
  ::shutdown(xcb_get_file_descriptor(connection_), SHUT_RDWR);
  if (reader_.get_id() == std::this_thread::get_id()) {
    reader_.detach();
  } else {
    reader_.join();
  }
}

xcb_atom_t XLink::atom(std::string_view name) {
  intern({name});
  std::lock_guard guard(atomsLock_);
  const auto found = atoms_.find(name);
  return found == atoms_.end() ? xcb_atom_t{XCB_ATOM_NONE} : found->second;
}

void XLink::intern(const std::vector<std::string_view>& names) {
  std::vector<std::string_view> missing;
  {
    std::lock_guard guard(atomsLock_);
    for (const std::string_view name : names) {
      if (atoms_.find(name) == atoms_.end()) missing.push_back(name);
    }
  }
  if (missing.empty()) return;
  std::vector<xcb_intern_atom_cookie_t> cookies;
  cookies.reserve(missing.size());
  for (const std::string_view name : missing) {
    cookies.push_back(
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()));
  }
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    auto reply = xReply(xcb_intern_atom_reply, connection_, cookies[i]);
    if (!reply) continue;
    std::lock_guard guard(atomsLock_);
    atoms_.emplace(std::string(missing[i]), reply->atom);
    names_.emplace(reply->atom, std::string(missing[i]));
  }
}

std::string XLink::knownName(xcb_atom_t atom) {
  std::lock_guard guard(atomsLock_);
  const auto found = names_.find(atom);
  return found == names_.end() ? std::string() : found->second;
}

std::string XLink::atomName(xcb_atom_t atom) {
  if (std::string known = knownName(atom); !known.empty()) return known;
  auto reply = xReply(xcb_get_atom_name_reply, connection_, xcb_get_atom_name(connection_, atom));
  if (!reply) return {};
  std::string name = nameOf(*reply);
  std::lock_guard guard(atomsLock_);
  atoms_.emplace(name, atom);
  names_.emplace(atom, name);
  return name;
}

// --- the shared connection -----------------------------------------------------------------------

struct XConnection::State {
  // A watcher with the lock its handlers run under: ending the subscription waits for a handler
  // that is running (recursive, so that a handler may end its own subscription).
  struct Entry {
    Watcher watcher;
    std::recursive_mutex running;
    bool alive = true;
  };
  using Entries = std::vector<std::shared_ptr<Entry>>;

  std::mutex lock;
  std::condition_variable settled;
  std::shared_ptr<XLink> current;
  bool connecting = false;
  std::optional<std::chrono::steady_clock::time_point> lastFailure;
  std::map<std::uint64_t, std::shared_ptr<Entry>> watchers;
  std::uint64_t nextWatcher = 1;
  std::map<std::uint64_t, std::uint32_t> rootMasks;
  std::uint64_t nextRootMask = 1;
  // Holders of keepConnected, and what wakes the thread that keeps the connection for them.
  int keepers = 0;
  bool closing = false;
  std::condition_variable keeperWake;

  // With `lock` held.
  bool needsKeeping() const { return keepers > 0 && (!current || current->broken()); }

  // With `lock` held.
  std::uint32_t rootMask() const {
    std::uint32_t mask = 0;
    for (const auto& [id, bits] : rootMasks) mask |= bits;
    return mask;
  }

  static void applyRootMask(XLink& link, std::uint32_t mask) {
    xcb_change_window_attributes(link.get(), link.root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(link.get());
  }

  // With `lock` held.
  Entries entries() const {
    Entries all;
    all.reserve(watchers.size());
    for (const auto& [id, entry] : watchers) all.push_back(entry);
    return all;
  }

  template <typename Call>
  static void each(const Entries& entries, Call call) {
    for (const auto& entry : entries) {
      std::lock_guard running(entry->running);
      if (entry->alive) call(entry->watcher);
    }
  }

  std::shared_ptr<XLink> link() {
    std::shared_ptr<XLink> retired;
    bool attempt = false;
    {
      std::unique_lock guard(lock);
      if (current && (!current->broken() || onReaderThread)) return current;
      if (onReaderThread) return nullptr;
      if (connecting) {
        settled.wait_for(guard, connectPatience, [&] { return !connecting; });
        return current && !current->broken() ? current : nullptr;
      }
      retired = std::move(current);
      const auto now = std::chrono::steady_clock::now();
      attempt = !lastFailure || now - *lastFailure >= retryInterval;
      connecting = attempt;
    }
    if (retired) retire(*retired);
    if (!attempt) return nullptr;
    std::shared_ptr<XLink> made = connect();
    Entries greet;
    {
      std::lock_guard guard(lock);
      connecting = false;
      if (made) {
        current = made;
        lastFailure.reset();
        greet = entries();
        if (const std::uint32_t mask = rootMask(); mask != 0) applyRootMask(*made, mask);
      } else {
        lastFailure = std::chrono::steady_clock::now();
      }
    }
    settled.notify_all();
    each(greet, [&](const Watcher& watcher) {
      if (watcher.onConnect) watcher.onConnect(made);
    });
    return made;
  }

  // A broken connection: its watchers hear of it, and its reader has ended.
  void retire(XLink& link) {
    announceLoss(link);
    link.stopReader();
  }

  void announceLoss(XLink& link) {
    if (!link.claimLoss()) return;
    Entries all;
    {
      std::lock_guard guard(lock);
      all = entries();
      keeperWake.notify_all();
    }
    each(all, [&](const Watcher& watcher) {
      if (watcher.onLost) watcher.onLost(link);
    });
  }

  std::shared_ptr<XLink> connect() {
    int screenNumber = 0;
    xcb_connection_t* raw = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(raw) != 0) {
      xcb_disconnect(raw);
      return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(raw));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) {
      xcb_disconnect(raw);
      return nullptr;
    }
    auto made = std::make_shared<XLink>(raw, screens.data->root);
    XLink* link = made.get();
    // The reader never owns its link: whoever drops the link waits for the reader first.
    made->startReader([this, link] { read(*link); });
    return made;
  }

  void read(XLink& link) {
    while (auto event = XReply<xcb_generic_event_t>(xcb_wait_for_event(link.get()))) {
      Entries all;
      {
        std::lock_guard guard(lock);
        all = entries();
      }
      each(all, [&](const Watcher& watcher) {
        if (watcher.onEvent) watcher.onEvent(link, *event);
      });
    }
    announceLoss(link);
  }
};

XConnection::XConnection() : state_(std::make_shared<State>()) {}

XConnection::~XConnection() {
  {
    std::lock_guard guard(state_->lock);
    state_->closing = true;
    state_->keeperWake.notify_all();
  }
  if (keeper_.joinable()) keeper_.join();
  std::shared_ptr<XLink> last;
  {
    std::lock_guard guard(state_->lock);
    last = std::move(state_->current);
  }
  // Readers use the state: none may outlive it.
  if (last) last->stopReader();
}

std::shared_ptr<XLink> XConnection::link() {
  return state_->link();
}

Subscription XConnection::watch(Watcher watcher) {
  auto entry = std::make_shared<State::Entry>();
  entry->watcher = std::move(watcher);
  std::uint64_t id = 0;
  std::shared_ptr<XLink> live;
  {
    std::lock_guard guard(state_->lock);
    id = state_->nextWatcher++;
    state_->watchers.emplace(id, entry);
    if (state_->current && !state_->current->broken()) live = state_->current;
  }
  // A new connection greets every watcher itself; a live one greets the newcomer here.
  if (!live) {
    state_->link();
  } else {
    State::each(State::Entries{entry}, [&](const Watcher& w) {
      if (w.onConnect) w.onConnect(live);
    });
  }
  std::weak_ptr<State> weak = state_;
  return Subscription([weak, id, entry] {
    if (auto state = weak.lock()) {
      std::lock_guard guard(state->lock);
      state->watchers.erase(id);
    }
    std::lock_guard running(entry->running);
    entry->alive = false;
  });
}

Subscription XConnection::selectRootInput(std::uint32_t eventMask) {
  std::uint64_t id = 0;
  {
    std::lock_guard guard(state_->lock);
    id = state_->nextRootMask++;
    state_->rootMasks.emplace(id, eventMask);
  }
  // Applied by the connection made here, or to the live one.
  if (auto live = state_->link()) {
    std::lock_guard guard(state_->lock);
    State::applyRootMask(*live, state_->rootMask());
  }
  std::weak_ptr<State> weak = state_;
  return Subscription([weak, id] {
    auto state = weak.lock();
    if (!state) return;
    std::lock_guard guard(state->lock);
    state->rootMasks.erase(id);
    if (state->current && !state->current->broken()) {
      State::applyRootMask(*state->current, state->rootMask());
    }
  });
}

Subscription XConnection::keepConnected() {
  {
    std::lock_guard guard(state_->lock);
    ++state_->keepers;
    state_->keeperWake.notify_all();
    if (!keeper_.joinable()) keeper_ = std::thread([this] { keep(); });
  }
  std::weak_ptr<State> weak = state_;
  return Subscription([weak] {
    if (auto state = weak.lock()) {
      std::lock_guard guard(state->lock);
      --state->keepers;
    }
  });
}

void XConnection::keep() {
  std::unique_lock guard(state_->lock);
  while (!state_->closing) {
    if (!state_->needsKeeping()) {
      state_->keeperWake.wait(guard);
      continue;
    }
    guard.unlock();
    state_->link();
    guard.lock();
    state_->keeperWake.wait_for(guard, retryInterval, [&] { return state_->closing; });
  }
}

}  // namespace halcy
