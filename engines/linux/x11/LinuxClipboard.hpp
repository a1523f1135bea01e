#pragma once
// The X11 CLIPBOARD through a hidden window of the engine's own: copies every target of whoever
// owns it, owns it with text or with a saved copy, serves those targets for as long as the engine
// owns them, and counts every owner change (XFixes), whoever made it. It lives on the adapter's
// shared connection; when that connection is made anew (the server restarted), the window is made
// again there, and what the engine owned went with the old server.

#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "XConnection.hpp"

namespace halcy {

class LinuxClipboard {
 public:
  // One target as its owner handed it out: the property type and format come back on restore.
  struct Entry {
    std::string target;
    std::string type;
    std::uint8_t format = 8;
    std::string data;
    bool operator==(const Entry&) const = default;
  };
  using Entries = std::vector<Entry>;

  explicit LinuxClipboard(std::shared_ptr<XConnection> connection);
  ~LinuxClipboard();
  LinuxClipboard(const LinuxClipboard&) = delete;
  LinuxClipboard& operator=(const LinuxClipboard&) = delete;

  // Every operation throws an EngineFailure "The clipboard could not be reached." without an X
  // display (or one without XFixes).

  // Every target of the current owner with its data, in the owner's order, and the change count
  // read afterwards. Throws an EngineFailure when the owner does not answer at all.
  std::pair<Entries, std::int64_t> save();
  std::int64_t write(const std::string& text, bool transient);
  // Restoring nothing leaves the clipboard without an owner, once a pending paste was served.
  void restore(const Entries& entries);
  std::int64_t changeCount();

  // A paste keystroke went to the focused window while the engine owns the clipboard. A restore
  // before that window's application fetched the text goes ahead, but the application is still
  // handed the pasted text (for a bounded time) until it fetched it; a clipboard manager's fetch
  // does not count. Where the application is unknown, `settlePaste` waits for any fetch instead.
  void notePastePosted(std::optional<xcb_window_t> focus);
  void settlePaste();

  // At exit: hands what the engine serves to a clipboard manager, when one runs.
  void handOver();

  // The targets "clipboard.write" offers, in the order TARGETS lists them.
  static Entries textEntries(const std::string& text, bool transient);

 private:
  struct Outgoing;
  // The engine's window on one connection, the atoms it uses there, and XFixes' event number.
  struct Session {
    std::weak_ptr<XLink> link;
    std::uint64_t serial = 0;  // the connection's
    xcb_window_t window = XCB_NONE;
    std::uint8_t fixesEvent = 0;
    std::uint32_t idMask = 0;  // the bits of a resource id below its client's
    std::uint32_t chunkBytes = 0;
    xcb_atom_t clipboard, targets, timestamp, incr, multiple, clock, sync;
  };
  // What one operation works with: the connection and the session on it.
  struct Use {
    std::shared_ptr<XLink> link;
    std::shared_ptr<const Session> session;
    xcb_connection_t* connection() const { return link->get(); }
  };
  // Served while the engine owns the clipboard.
  struct Offer {
    Entries entries;
    std::vector<xcb_atom_t> targets;
    std::vector<xcb_atom_t> types;
  };
  struct PasteOverlay {
    Offer offer;
    xcb_window_t client;
    std::chrono::steady_clock::time_point until;
  };

  Use open();
  std::shared_ptr<const Session> setUp(const std::shared_ptr<XLink>& link);
  // With `mutex_` held: the session of an operation is no longer the current one.
  bool gone(const Use& use) const { return session_ != use.session; }
  // With `mutex_` held: forgets what was owned, served and awaited on a connection.
  void forgetSession();

  void onEvent(XLink& link, const xcb_generic_event_t& event);
  void onLost(XLink& link);
  void onOwnerChange(const Session& session, const xcb_generic_event_t& event);
  void onRequest(XLink& link, const Session& session, const xcb_selection_request_event_t& request);
  bool answer(XLink& link, const Session& session, const xcb_selection_request_event_t& request,
              xcb_atom_t property);
  bool send(XLink& link, const Session& session, const xcb_selection_request_event_t& request,
            xcb_atom_t property, const Entry& entry, xcb_atom_t type);
  void onPropertyNotify(XLink& link, const Session& session,
                        const xcb_property_notify_event_t& event);
  void sendNextChunk(XLink& link, const Session& session, Outgoing& transfer);

  xcb_timestamp_t serverTime(const Use& use);
  void own(const Use& use, const Entries& entries);
  void letGoAfterPaste(const Use& use);
  std::int64_t currentCount(const Use& use);
  std::vector<std::optional<Entry>> convertAll(const Use& use,
                                               const std::vector<xcb_atom_t>& targets);
  static std::string valueOf(const xcb_get_property_reply_t& reply);
  std::optional<std::string> readIncrementally(const Use& use, xcb_atom_t property,
                                               std::uint64_t valuesBefore, xcb_atom_t& type,
                                               std::uint8_t& format);

  std::shared_ptr<XConnection> connection_;
  // Serializes making sessions: each takes round trips, made outside `mutex_`.
  std::mutex setupLock_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<const Session> session_;  // none until connected, and after the connection broke
  Offer served_;
  std::optional<PasteOverlay> overlay_;
  bool owning_ = false;
  xcb_timestamp_t ownedSince_ = 0;
  std::int64_t changeCount_ = 0;
  // Owner changes as XFixes told them, each with the count it brought: two owner changes of the
  // engine within one millisecond of the server's clock look the same otherwise.
  struct OwnerChange {
    xcb_window_t owner;
    xcb_timestamp_t time;
    std::int64_t count;
  };
  std::deque<OwnerChange> recentOwners_;
  // A paste went out and its target has not fetched the data yet; the target's client id bits.
  bool pastePending_ = false;
  std::optional<xcb_window_t> pasteClient_;
  std::uint64_t clockTicks_ = 0;
  xcb_timestamp_t clockTime_ = 0;
  // Answers to conversions by target, and new values of our own properties.
  std::map<xcb_atom_t, xcb_selection_notify_event_t> conversions_;
  std::map<xcb_atom_t, std::uint64_t> newValues_;
  std::vector<std::unique_ptr<Outgoing>> outgoing_;
  std::uint64_t syncsSent_ = 0;
  std::uint64_t syncsSeen_ = 0;

  std::mutex operation_;
  // Last: ended first, so that no handler runs while the members go.
  Subscription watch_;
};

}  // namespace halcy
