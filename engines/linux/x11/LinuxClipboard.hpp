#pragma once
// The X11 CLIPBOARD through a hidden window of the engine's own: copies every target of whoever
// owns it, owns it with text or with a saved copy, serves those targets for as long as the engine
// owns them, and counts every owner change (XFixes), whoever made it.

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
#include <thread>
#include <vector>

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

  // None when there is no X display or it lacks XFixes.
  static std::unique_ptr<LinuxClipboard> open();
  ~LinuxClipboard();
  LinuxClipboard(const LinuxClipboard&) = delete;
  LinuxClipboard& operator=(const LinuxClipboard&) = delete;

  // Every target of the current owner with its data, in the owner's order, and the change count
  // read afterwards. Throws an EngineFailure when the owner does not answer at all.
  std::pair<Entries, std::int64_t> save();
  std::int64_t write(const std::string& text, bool transient);
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

  LinuxClipboard(xcb_connection_t* connection, xcb_window_t window, std::uint8_t fixesEvent);
  void run();
  void handle(xcb_generic_event_t* event);
  void onOwnerChange(xcb_generic_event_t* event);
  void onRequest(const xcb_selection_request_event_t& request);
  bool answer(const xcb_selection_request_event_t& request, xcb_atom_t property);
  bool send(const xcb_selection_request_event_t& request, xcb_atom_t property, const Entry& entry,
            xcb_atom_t type);
  void onPropertyNotify(const xcb_property_notify_event_t& event);
  void sendNextChunk(Outgoing& transfer);

  xcb_atom_t atom(const std::string& name);
  std::string atomName(xcb_atom_t atom);
  xcb_timestamp_t serverTime();
  void own(const Entries& entries);
  xcb_atom_t transferProperty(std::size_t index);
  std::vector<std::optional<Entry>> convertAll(const std::vector<xcb_atom_t>& targets);
  static std::string valueOf(const xcb_get_property_reply_t& reply);
  std::optional<std::string> readIncrementally(xcb_atom_t property, std::uint64_t valuesBefore,
                                               xcb_atom_t& type, std::uint8_t& format);

  xcb_connection_t* connection_;
  xcb_window_t window_;
  std::uint8_t fixesEvent_;
  xcb_atom_t clipboard_, targets_, timestamp_, incr_, multiple_, clock_, stop_, sync_;
  std::uint32_t chunkBytes_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, xcb_atom_t> atoms_;
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
  Offer served_;
  std::optional<PasteOverlay> overlay_;
  bool owning_ = false;
  xcb_timestamp_t ownedSince_ = 0;
  std::int64_t changeCount_ = 0;
  std::deque<std::pair<xcb_window_t, xcb_timestamp_t>> recentOwners_;
  // A paste went out and its target has not fetched the data yet; the target's client id bits.
  bool pastePending_ = false;
  std::optional<xcb_window_t> pasteClient_;
  std::uint64_t clockTicks_ = 0;
  xcb_timestamp_t clockTime_ = 0;
  // Answers to conversions by target, and new values of our own properties.
  std::map<xcb_atom_t, xcb_selection_notify_event_t> conversions_;
  std::map<xcb_atom_t, std::uint64_t> newValues_;
  std::vector<std::unique_ptr<Outgoing>> outgoing_;
  bool broken_ = false;
  std::uint64_t syncsSent_ = 0;
  std::uint64_t syncsSeen_ = 0;

  std::mutex operation_;
  std::thread events_;
};

}  // namespace halcy
