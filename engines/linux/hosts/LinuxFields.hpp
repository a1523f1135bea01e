#pragma once
// The field host on an X11 desktop: the focused element through AT-SPI, the clipboard through the
// engine's own selection window, the paste keystroke through XTEST.

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "AtSpi.hpp"
#include "AtSpiCachedTree.hpp"
#include "Fields.hpp"
#include "LinuxApps.hpp"
#include "LinuxClipboard.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxPaste.hpp"

namespace halcy {

class LinuxFieldHost final : public FieldHost {
 public:
  LinuxFieldHost(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<AtSpi> atspi);

  bool trusted() override;
  std::optional<std::int64_t> primeFront() override;
  HostFocus focus(std::int64_t surroundingChars, std::optional<std::int64_t> pid) override;
  std::optional<FrontApp> app(std::int64_t pid) override;
  std::optional<std::string> value(const Element& element) override;
  SavedClipboard saveClipboard() override;
  std::int64_t writeClipboard(const std::string& text, bool transient) override;
  std::int64_t clipboardChangeCount() override;
  void restoreClipboard(const Contents& contents) override;
  void paste() override;

  // Before the engine exits: the clipboard it serves (often the user's own, restored) goes to a
  // clipboard manager instead of vanishing with the engine.
  void handOverClipboard();

  // The roles whose text the surrounding-text walk gathers; a secure field is never among them.
  static bool harvested(std::string_view axRole);
  // The AT-SPI roles whose text the walk gathers, whatever the element's states.
  static bool harvestedRole(std::uint32_t atspiRole);

  // One element of the surrounding-text walk, as far as it is known.
  struct Visit {
    AtSpiRef element;
    bool cached = false;  // described by the application's cache
    std::optional<std::uint32_t> role;
    std::optional<AtSpiStates> states;
    std::optional<std::string> name;
    bool hasText = true;  // has the Text interface; an element the cache did not describe is asked
    std::optional<std::vector<AtSpiRef>> children;
    bool textAsked = false;
    std::optional<std::string> text;
  };
  // What an application's cache tells of its elements; children only where it holds all of them.
  class CachedTree {
   public:
    explicit CachedTree(std::optional<std::vector<AtSpiCacheItem>> items);
    std::vector<Visit> visits(const std::vector<AtSpiRef>& level) const;
    // An element's children in order; none when the cache does not hold every one of them.
    std::optional<std::vector<AtSpiRef>> children(const AtSpiRef& element) const;

   private:
    AtSpiCachedTree tree_;
  };

 private:
  static bool wantsText(const Visit& visit);
  // How many texts the walk asks in its next round: few at first, as a short surrounding text
  // needs only the first ones, then more each time, so that a long one takes few rounds.
  class TextRounds {
   public:
    std::size_t size() const { return size_; }
    void asked() { size_ = std::min<std::size_t>(size_ * 2, most); }

   private:
    static constexpr std::size_t most = 64;
    std::size_t size_ = 8;
  };

  std::optional<std::int64_t> frontPid();
  std::optional<AtSpiRef> focusedElement(std::optional<std::int64_t> pid);
  HostElement describe(const AtSpiRef& element);
  std::optional<AtSpiRef> windowOf(const AtSpiRef& element);
  std::string harvest(const AtSpiRef& window, std::size_t maxChars);
  void completeStretch(std::vector<Visit>& visits, std::size_t from, TextRounds& rounds);
  void readTexts(std::vector<Visit>& visits, std::size_t from, TextRounds& rounds);

  std::shared_ptr<LinuxDisplay> display_;
  LinuxApps apps_;
  std::shared_ptr<AtSpi> atspiHandle_;
  AtSpi& atspi_;
  // A toolkit drops the focused state when its window goes to the back; the last element each
  // application reported focused is where its focus still sits. The latest one across all
  // applications saves a search of the desktop while it still has the focus.
  std::mutex focusMutex_;
  std::map<std::string, AtSpiRef> lastFocused_;
  std::optional<AtSpiRef> latestFocused_;
  std::map<AtSpiRef, AtSpiRef> windows_;
  Subscription focusEvents_;
  LinuxClipboard clipboard_;
  LinuxPaste paste_;
  std::atomic<bool> trusted_{false};
};

}  // namespace halcy
