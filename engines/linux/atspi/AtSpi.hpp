#pragma once
// A client of the accessibility bus (AT-SPI over D-Bus through GDBus). Thread-safe: any thread may
// call, calls run concurrently, and every call carries its own timeout, so an application that
// stops answering costs its caller that timeout and nobody else anything. The connection is made on
// first use and made again on the next use after the bus went away.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AtSpiTypes.hpp"
#include "Subscription.hpp"

namespace halcy {

class AtSpi {
 public:
  using Timeout = std::chrono::milliseconds;
  // A field read waits this long for an application; a walk over many elements less.
  static constexpr Timeout fieldTimeout{350};
  static constexpr Timeout walkTimeout{100};

  AtSpi();
  ~AtSpi();
  AtSpi(const AtSpi&) = delete;
  AtSpi& operator=(const AtSpi&) = delete;

  // The bus answers (connecting when needed).
  bool reachable(Timeout timeout);
  // A connection to the bus is open (made when needed); nothing is asked of anybody.
  bool connected(Timeout timeout);

  // One element. Every read answers none (or an empty list) when the element, its application or
  // the bus does not answer in time or answers something else than expected.
  std::optional<std::uint32_t> role(const AtSpiRef& element, Timeout timeout);
  std::optional<std::string> roleName(const AtSpiRef& element, Timeout timeout);
  std::optional<std::string> name(const AtSpiRef& element, Timeout timeout);
  std::optional<std::string> description(const AtSpiRef& element, Timeout timeout);
  std::optional<AtSpiStates> states(const AtSpiRef& element, Timeout timeout);
  std::map<std::string, std::string> attributes(const AtSpiRef& element, Timeout timeout);
  std::vector<std::string> interfaces(const AtSpiRef& element, Timeout timeout);
  std::optional<AtSpiRect> extents(const AtSpiRef& element, Timeout timeout);
  std::optional<AtSpiRef> parent(const AtSpiRef& element, Timeout timeout);
  std::vector<AtSpiRef> children(const AtSpiRef& element, Timeout timeout);
  std::optional<std::int32_t> childCount(const AtSpiRef& element, Timeout timeout);
  std::optional<AtSpiRef> childAt(const AtSpiRef& element, std::int32_t index, Timeout timeout);
  // The deepest element of a window or application at a point in screen pixels.
  std::optional<AtSpiRef> elementAt(const AtSpiRef& element, std::int32_t x, std::int32_t y,
                                    Timeout timeout);
  // Every element the way down to it, the one below `element` first and the deepest last.
  std::vector<AtSpiRef> pathAt(const AtSpiRef& element, std::int32_t x, std::int32_t y,
                               Timeout timeout);

  // Text (org.a11y.atspi.Text): the whole text, its length in characters, the caret, selections.
  std::optional<std::string> text(const AtSpiRef& element, Timeout timeout);
  std::optional<std::string> textRange(const AtSpiRef& element, std::int32_t start,
                                       std::int32_t end, Timeout timeout);
  std::optional<std::int32_t> characterCount(const AtSpiRef& element, Timeout timeout);
  std::optional<std::int32_t> caretOffset(const AtSpiRef& element, Timeout timeout);
  std::vector<AtSpiTextRange> selections(const AtSpiRef& element, Timeout timeout);
  // org.a11y.atspi.Value's current value (sliders, progress bars, spin buttons).
  std::optional<double> currentValue(const AtSpiRef& element, Timeout timeout);
  // What a user reads as the element's value: its text when it has the Text interface, else its
  // numeric value written the shortest way ("3", "0.5").
  std::optional<std::string> value(const AtSpiRef& element, Timeout timeout);
  // A table's rows and columns (org.a11y.atspi.Table); none for an element that is no table.
  struct TableShape {
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    std::int32_t children = 0;
  };
  std::optional<TableShape> tableShape(const AtSpiRef& element, Timeout timeout);
  // Children of one element by index, asked all at once; none where there is no such child.
  std::vector<std::optional<AtSpiRef>> childrenAt(const AtSpiRef& element,
                                                  const std::vector<std::int32_t>& indexes,
                                                  Timeout timeout);
  // One attribute of a document (org.a11y.atspi.Document), such as its address "DocURL".
  std::optional<std::string> documentAttribute(const AtSpiRef& element, const std::string& name,
                                               Timeout timeout);
  // The element takes typed text (org.a11y.atspi.EditableText).
  bool editableText(const AtSpiRef& element, Timeout timeout);

  // The process behind an element's application.
  std::optional<std::int64_t> pid(const AtSpiRef& element, Timeout timeout);

  // The desktop: its applications, one of them by pid, its active window, the focus.
  std::vector<AtSpiRef> applications(Timeout timeout);
  std::optional<AtSpiRef> application(std::int64_t pid, Timeout timeout);
  std::optional<AtSpiRef> activeWindow(const AtSpiRef& application, Timeout timeout);
  // The focused element of the application that has the active window.
  std::optional<AtSpiRef> focused(Timeout timeout);
  // The focused element inside one application.
  std::optional<AtSpiRef> focused(std::int64_t pid, Timeout timeout);
  // Elements below root (root included) that have all of the given states, in tree order.
  std::vector<AtSpiRef> withStates(const AtSpiRef& root, AtSpiStates states, std::int32_t most,
                                   Timeout timeout);

  // Bulk reads for walks. The cache holds what the application already built (none when it does
  // not keep one); nodeFacts asks every element at once, each call with its own timeout.
  std::optional<std::vector<AtSpiCacheItem>> cacheItems(const std::string& bus, Timeout timeout);
  std::vector<AtSpiNodeFacts> nodeFacts(const std::vector<AtSpiRef>& elements, Timeout timeout);

  // A walk that already knows part of what it needs asks only for the rest: every question of
  // every element goes out before any answer is awaited, each with its own timeout.
  struct Question {
    AtSpiRef element;
    bool role = false;
    bool name = false;
    bool children = false;
    bool text = false;  // the whole text (org.a11y.atspi.Text)
    bool description = false;
    bool states = false;
    bool interfaces = false;
    bool attributes = false;
    bool extents = false;  // in screen pixels
    bool number = false;   // org.a11y.atspi.Value's current value
    bool parent = false;
  };
  struct Answer {
    std::optional<std::uint32_t> role;
    std::optional<std::string> name;
    std::optional<std::vector<AtSpiRef>> children;
    std::optional<std::string> text;
    std::optional<std::string> description;
    std::optional<AtSpiStates> states;
    std::optional<std::vector<std::string>> interfaces;
    std::optional<std::map<std::string, std::string>> attributes;
    std::optional<AtSpiRect> extents;
    std::optional<double> number;
    std::optional<AtSpiRef> parent;
  };
  std::vector<Answer> ask(const std::vector<Question>& questions, Timeout timeout);

  // A focused element's facts in two pipelined rounds. The first tells how it may be read...
  struct ElementFacts {
    std::optional<std::uint32_t> role;
    std::optional<AtSpiStates> states;
    std::map<std::string, std::string> attributes;
    std::vector<std::string> interfaces;
  };
  ElementFacts elementFacts(const AtSpiRef& element, Timeout timeout);
  // ...the second reads what the first allows: the caret alone (a password's text is never read),
  // the caret with the text and its first selection, or the numeric value of an element without
  // text.
  enum class Content { caret, text, number };
  struct ContentFacts {
    std::optional<std::int32_t> caret;
    std::optional<std::string> text;
    std::optional<AtSpiTextRange> selection;  // none when nothing is selected
    std::optional<std::string> number;        // written the shortest way ("3", "0.5")
  };
  ContentFacts contentFacts(const AtSpiRef& element, Content content, Timeout timeout);

  // Everything a description of an element needs but its text, in one pipelined round: what it
  // is, where, its parent, and the file or page it stands for (a link's first URI, a document's
  // address).
  struct Portrait {
    std::optional<std::uint32_t> role;
    std::optional<std::string> roleName;  // localized, as a screen reader says it
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<std::string> help;  // none from bridges older than the HelpText property
    std::optional<AtSpiStates> states;
    std::map<std::string, std::string> attributes;
    std::vector<std::string> interfaces;
    std::optional<AtSpiRect> extents;
    std::optional<AtSpiRef> parent;
    std::optional<std::string> linkUri;
    std::optional<std::string> documentUrl;
  };
  Portrait portrait(const AtSpiRef& element, Timeout timeout);
  // Several elements' portraits in the same round. Of elements asked `whole` false only what a
  // walk up for a file needs is read: interfaces, parent, and the link or document address.
  struct PortraitAsk {
    AtSpiRef element;
    bool whole = true;
  };
  std::vector<Portrait> portraits(const std::vector<PortraitAsk>& asks, Timeout timeout);
  // The selected children of a list, table or tree (org.a11y.atspi.Selection), at most `most`.
  std::vector<AtSpiRef> selectedChildren(const AtSpiRef& element, std::int32_t most,
                                         Timeout timeout);

  // Events. Handlers run on the default main context (the engine's main loop); the subscription
  // ends when the returned object is destroyed, and survives reconnections of the bus.
  using EventHandler = std::function<void(const AtSpiEvent&)>;
  Subscription subscribe(std::vector<std::string> eventTypes, EventHandler handler);

  // Where AT-SPI objects live: the registry's desktop root.
  static AtSpiRef desktop();

 private:
  struct Bus;
  std::shared_ptr<Bus> bus_;
};

}  // namespace halcy
