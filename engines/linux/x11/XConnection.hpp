#pragma once
// The one connection to the X server, shared by the whole adapter (XCB is thread-safe). It is made
// on first use; when it breaks (the server went away) it is dropped and made again on a later use,
// at most once per retry interval, and every watcher hears of both, so that it can select its
// input again. Each connection has one reader thread that waits for its events and hands every
// event to every watcher: XCB wakes a thread waiting for events whichever thread read them from
// the socket, which a poll on the socket would miss.

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Subscription.hpp"

namespace halcy {

// One connection as made. A user keeps it for one operation; a later `XConnection::link()` may
// answer a new one.
class XLink {
 public:
  XLink(xcb_connection_t* connection, xcb_window_t root);
  ~XLink();
  XLink(const XLink&) = delete;
  XLink& operator=(const XLink&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }
  // Tells this connection from every other one made before or after it.
  std::uint64_t serial() const { return serial_; }
  bool broken() const { return xcb_connection_has_error(connection_) != 0; }

  // Atoms are interned once per connection: a restarted server numbers them afresh.
  xcb_atom_t atom(std::string_view name);
  // Interns every name not interned yet in one round trip.
  void intern(const std::vector<std::string_view>& names);
  // The name of an atom interned here; empty for the others (no round trip).
  std::string knownName(xcb_atom_t atom);
  // The name of any atom, asking the server when it is not known; empty when the server does not
  // know it either.
  std::string atomName(xcb_atom_t atom);

 private:
  friend class XConnection;
  void startReader(std::function<void()> read);
  // Ends the reader thread and waits for it (unless called on it).
  void stopReader();
  // True the first time only: the loss of a connection is announced once.
  bool claimLoss() { return !lossClaimed_.exchange(true); }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  std::uint64_t serial_;
  std::atomic<bool> lossClaimed_{false};
  std::mutex atomsLock_;
  std::map<std::string, xcb_atom_t, std::less<>> atoms_;
  std::map<xcb_atom_t, std::string> names_;
  std::mutex readerLock_;
  std::thread reader_;
};

class XConnection {
 public:
  // A failed attempt to connect is not repeated sooner than this.
  static constexpr std::chrono::milliseconds retryInterval{250};
  // How long a caller waits for another thread's attempt to connect.
  static constexpr std::chrono::milliseconds connectPatience{2000};

  XConnection();
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  // The live connection, made when there is none or the last one broke; none without a display.
  // On a reader thread (inside an event handler) it never connects: it answers the current one.
  std::shared_ptr<XLink> link();

  // Event handlers run on the connection's reader thread, one event at a time: they must be quick
  // and never wait for another event. onConnect runs for the live connection at once (making one
  // when there is none) and for every new one, on the thread that made it; a new connection's
  // events may reach onEvent before onConnect has run for it, so handlers check the link they are
  // given. onLost runs once per connection that broke. Once the subscription has ended, none of the
  // watcher's handlers runs again.
  struct Watcher {
    std::function<void(XLink&, const xcb_generic_event_t&)> onEvent = {};
    std::function<void(const std::shared_ptr<XLink>&)> onConnect = {};
    std::function<void(XLink&)> onLost = {};
  };
  Subscription watch(Watcher watcher);

  // The root window's core event mask is one per client, and the adapter is one client: whoever
  // wants root events (property, structure changes) asks here, and the root gets the union of
  // every live request, on this connection and on every new one. Ending the subscription takes
  // its bits away.
  Subscription selectRootInput(std::uint32_t eventMask);

  // Connections are otherwise made again only on a later use; a watcher that must hear events
  // while nothing is asked of the engine (input watches) keeps one sought after a loss, every
  // retry interval, for as long as it holds this.
  Subscription keepConnected();

  struct State;

 private:
  void keep();

  std::shared_ptr<State> state_;
  std::thread keeper_;
};

}  // namespace halcy
