#include "LinuxFields.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <deque>

#include "LinuxPermissions.hpp"
#include "LinuxRoles.hpp"

namespace halcy {

namespace {

constexpr AtSpi::Timeout fieldTimeout = AtSpi::fieldTimeout;
constexpr AtSpi::Timeout walkTimeout = AtSpi::walkTimeout;
constexpr int harvestBudget = 2500;
// Deeper than any real widget tree; stops a parent chain that loops.
constexpr int deepestWindowChain = 64;
constexpr std::string_view secureRole = "AXSecureTextField";
constexpr const char* applicationRootPath = "/org/a11y/atspi/accessible/root";
constexpr std::size_t rememberedWindows = 256;

struct AtSpiElement final : FieldElementRef {
  AtSpiElement(AtSpiRef ref, bool secure) : ref(std::move(ref)), secure(secure) {}
  AtSpiRef ref;
  // A password field's text is never read, not even when asked for its value later.
  bool secure;
};

struct SavedEntries final : ClipboardContentsRef {
  explicit SavedEntries(LinuxClipboard::Entries entries) : entries(std::move(entries)) {}
  LinuxClipboard::Entries entries;
};

LinuxRoles::AxRole axRoleOf(std::optional<std::uint32_t> role,
                            const LinuxRoles::RoleContext& context) {
  return LinuxRoles::axRole(role.value_or(0), context);
}

// AT-SPI counts text offsets in characters (code points).
std::string codePoints(const std::string& utf8, std::int32_t start, std::int32_t end) {
  std::size_t from = utf8.size();
  std::size_t to = utf8.size();
  std::int32_t index = 0;
  for (std::size_t byte = 0; byte <= utf8.size(); ++byte) {
    if (byte < utf8.size() && (static_cast<unsigned char>(utf8[byte]) & 0xC0U) == 0x80U) continue;
    if (index == start) from = byte;
    if (index == end) to = byte;
    ++index;
  }
  if (end < 0) to = utf8.size();
  if (from >= to) return {};
  return utf8.substr(from, to - from);
}

std::optional<std::string> orNone(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

}  // namespace

LinuxFieldHost::LinuxFieldHost(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<AtSpi> atspi)
    : display_(std::move(display)),
      apps_(*display_),
      atspiHandle_(std::move(atspi)),
      atspi_(*atspiHandle_),
      clipboard_(LinuxClipboard::open()) {
  focusEvents_ =
      atspi_.subscribe({"object:state-changed:focused"}, [this](const AtSpiEvent& event) {
        if (event.detail1 == 0 || event.source.empty()) return;
        std::lock_guard lock(focusMutex_);
        lastFocused_[event.source.bus] = event.source;
      });
}

bool LinuxFieldHost::harvested(std::string_view axRole) {
  return axRole == "AXStaticText" || axRole == "AXTextArea" || axRole == "AXTextField";
}

// Every Unicode white space (no-break spaces too) and line break, as the caller's platform trims.
std::string LinuxFieldHost::trimmed(std::string_view text) {
  const auto length = static_cast<std::int32_t>(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  std::int32_t start = 0;
  while (start < length) {
    std::int32_t next = start;
    UChar32 point = 0;
    U8_NEXT(bytes, next, length, point);
    if (point < 0 || !u_isUWhiteSpace(point)) break;
    start = next;
  }
  std::int32_t end = length;
  while (end > start) {
    std::int32_t previous = end;
    UChar32 point = 0;
    U8_PREV(bytes, 0, previous, point);
    if (point < 0 || !u_isUWhiteSpace(point)) break;
    end = previous;
  }
  return std::string(
      text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

LinuxClipboard& LinuxFieldHost::clipboard() {
  // Reporting success for a clipboard that was never touched would lose the caller's text.
  if (!clipboard_) throw EngineFailure(ErrorCode::failed, "The clipboard could not be reached.");
  return *clipboard_;
}

bool LinuxFieldHost::trusted() {
  // Once usable, accessibility stays so for the session; asking again costs two bus connections.
  if (trusted_) return true;
  trusted_ = LinuxPermissions::accessibilityUsable();
  // Connects now, so that focus events are heard from here on.
  if (trusted_) atspi_.reachable(fieldTimeout);
  return trusted_;
}

// The application in front: the one whose window is active, else the owner of the topmost
// ordinary window on screen.
std::optional<std::int64_t> LinuxFieldHost::frontPid() {
  if (auto active = display_->activePid()) return active;
  for (const LinuxWindow& window : display_->windows()) {
    if (window.layer == 0 && window.onScreen) {
      if (window.pid > 0) return window.pid;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> LinuxFieldHost::primeFront() {
  // Toolkits build their accessibility trees only once the session says assistive technology runs.
  LinuxPermissions::setAccessibilityEnabled();
  return frontPid();
}

std::optional<FrontApp> LinuxFieldHost::app(std::int64_t pid) {
  return apps_.app(pid);
}

// The element's window: the ancestor just below its application's root. Elements stay in their
// window, so the answer is kept.
std::optional<AtSpiRef> LinuxFieldHost::windowOf(const AtSpiRef& element) {
  {
    std::lock_guard lock(focusMutex_);
    if (auto known = windows_.find(element); known != windows_.end()) return known->second;
  }
  const AtSpiRef root{element.bus, applicationRootPath};
  std::optional<AtSpiRef> window;
  AtSpiRef current = element;
  for (int depth = 0; depth < deepestWindowChain && current != root; ++depth) {
    std::optional<AtSpiRef> parent = atspi_.parent(current, fieldTimeout);
    if (!parent || parent->empty()) break;
    if (*parent == root) {
      window = current;
      break;
    }
    current = *parent;
  }
  if (!window) return std::nullopt;
  std::lock_guard lock(focusMutex_);
  if (windows_.size() >= rememberedWindows) windows_.clear();
  windows_.emplace(element, *window);
  return window;
}

FieldHost::HostElement LinuxFieldHost::describe(const AtSpiRef& element) {
  HostElement described;
  const AtSpiNodeFacts facts = atspi_.nodeFacts({element}, fieldTimeout).front();
  const AtSpiStates states = facts.states.value_or(AtSpiStates{});
  const std::map<std::string, std::string> attributes = atspi_.attributes(element, fieldTimeout);
  const auto attribute = [&](const char* key) -> std::string {
    auto found = attributes.find(key);
    return found == attributes.end() ? std::string() : found->second;
  };
  LinuxRoles::RoleContext context{
      states, AtSpiRole::invalid,
      LinuxRoles::isSearchField(attribute("text-input-type"), attribute("xml-roles"))};
  // Only a menu's role depends on its parent.
  if (facts.role == static_cast<std::uint32_t>(AtSpiRole::menu)) {
    if (auto parent = atspi_.parent(element, fieldTimeout)) {
      context.parentRole = static_cast<AtSpiRole>(atspi_.role(*parent, fieldTimeout).value_or(0));
    }
  }
  const LinuxRoles::AxRole ax = axRoleOf(facts.role, context);
  const bool secure =
      facts.role == static_cast<std::uint32_t>(AtSpiRole::passwordText) || ax.role == secureRole;
  described.element = std::make_shared<AtSpiElement>(element, secure);
  described.role = orNone(ax.role);
  described.subrole = orNone(ax.subrole);
  described.placeholder = orNone(attribute("placeholder-text"));
  const std::vector<std::string> interfaces = atspi_.interfaces(element, fieldTimeout);
  const auto has = [&](std::string_view name) {
    return std::find(interfaces.begin(), interfaces.end(), name) != interfaces.end();
  };
  const bool text = has("org.a11y.atspi.Text");
  described.valueSettable = states.has(AtSpiState::editable) && has("org.a11y.atspi.EditableText");
  if (text) {
    const std::optional<std::int32_t> caret = atspi_.caretOffset(element, fieldTimeout);
    described.hasCaret = caret && *caret >= 0;
  }
  if (secure) return described;
  described.value = text ? atspi_.text(element, fieldTimeout) : atspi_.value(element, fieldTimeout);
  if (described.hasCaret && described.value) {
    // An insertion point without a selection reads as an empty selection.
    const std::vector<AtSpiTextRange> ranges = atspi_.selections(element, fieldTimeout);
    described.selectedText =
        ranges.empty() ? std::string()
                       : codePoints(*described.value, ranges.front().start, ranges.front().end);
  }
  return described;
}

// The focused element: the one that last reported gaining the focus, while it still has it; else
// a search of the desktop (or of the named application).
std::optional<AtSpiRef> LinuxFieldHost::focusedElement(std::optional<std::int64_t> pid) {
  std::optional<AtSpiRef> heard;
  std::optional<AtSpiRef> application;
  if (pid) {
    application = atspi_.application(*pid, fieldTimeout);
    if (!application) return std::nullopt;
  }
  {
    std::lock_guard lock(focusMutex_);
    if (!pid) {
      heard = latestFocused_;
    } else if (auto known = lastFocused_.find(application->bus); known != lastFocused_.end()) {
      heard = known->second;
    }
  }
  std::optional<AtSpiStates> heardStates;
  if (heard) heardStates = atspi_.states(*heard, fieldTimeout);
  const auto holds = [&](AtSpiState state) { return heardStates && heardStates->has(state); };
  if (holds(AtSpiState::focused) && !holds(AtSpiState::defunct)) return heard;
  std::optional<AtSpiRef> searched =
      pid ? atspi_.focused(*pid, fieldTimeout) : atspi_.focused(fieldTimeout);
  if (searched) {
    // Found by searching: later reads check it directly until a focus event says otherwise.
    std::lock_guard lock(focusMutex_);
    lastFocused_[searched->bus] = *searched;
    if (!pid) latestFocused_ = *searched;
    return searched;
  }
  if (!pid) return std::nullopt;
  // A window in the back keeps its focus widget but drops the focused state.
  if (holds(AtSpiState::showing) && !holds(AtSpiState::defunct)) return heard;
  return std::nullopt;
}

// Breadth first from the window, gathering the text of text-bearing elements until maxChars
// user-perceived characters are in hand or the visit budget is spent. Facts of a whole level are
// asked at once; the order of visits stays that of the walk.
std::string LinuxFieldHost::harvest(const AtSpiRef& window, std::size_t maxChars) {
  std::vector<std::string> texts;
  std::size_t total = 0;
  int budget = harvestBudget;
  std::vector<AtSpiRef> level = {window};
  while (!level.empty() && budget > 0 && total < maxChars) {
    if (level.size() > static_cast<std::size_t>(budget))
      level.resize(static_cast<std::size_t>(budget));
    const std::vector<AtSpiNodeFacts> facts = atspi_.nodeFacts(level, walkTimeout);
    std::vector<AtSpiRef> next;
    for (std::size_t index = 0; index < level.size() && budget > 0 && total < maxChars; ++index) {
      const AtSpiNodeFacts& node = facts[index];
      LinuxRoles::RoleContext context;
      context.states = node.states.value_or(AtSpiStates{});
      if (harvested(axRoleOf(node.role, context).role)) {
        std::optional<std::string> text = atspi_.text(level[index], walkTimeout);
        // A text that trims to nothing does not fall back to the name.
        std::string entry = trimmed(text ? *text : node.name.value_or(""));
        if (!entry.empty()) {
          total += Graphemes::count(entry, maxChars - total);
          texts.push_back(std::move(entry));
        }
      }
      next.insert(next.end(), node.children.begin(), node.children.end());
      --budget;
    }
    level = std::move(next);
  }
  std::string joined;
  for (std::size_t index = 0; index < texts.size(); ++index) {
    if (index > 0) joined += '\n';
    joined += texts[index];
  }
  return Graphemes::prefix(joined, maxChars);
}

FieldHost::HostFocus LinuxFieldHost::focus(std::int64_t surroundingChars,
                                           std::optional<std::int64_t> pid) {
  HostFocus focus;
  const std::optional<AtSpiRef> element = focusedElement(pid);
  std::optional<std::int64_t> target = pid;
  if (!pid) target = element ? atspi_.pid(*element, fieldTimeout) : frontPid();
  if (target) focus.app = app(*target);
  if (!element) return focus;
  focus.element = describe(*element);
  const std::optional<AtSpiRef> window = windowOf(*element);
  if (!window) return focus;
  if (surroundingChars > 0) {
    focus.surroundingText = harvest(*window, static_cast<std::size_t>(surroundingChars));
  }
  focus.windowTitle = atspi_.name(*window, fieldTimeout);
  return focus;
}

std::optional<std::string> LinuxFieldHost::value(const Element& element) {
  const auto& held = static_cast<const AtSpiElement&>(*element);
  if (held.secure) return std::nullopt;
  return atspi_.value(held.ref, fieldTimeout);
}

FieldHost::SavedClipboard LinuxFieldHost::saveClipboard() {
  auto [entries, count] = clipboard().save();
  return {std::make_shared<SavedEntries>(std::move(entries)), count};
}

std::int64_t LinuxFieldHost::writeClipboard(const std::string& text, bool transient) {
  return clipboard().write(text, transient);
}

std::int64_t LinuxFieldHost::clipboardChangeCount() {
  // A restore follows: let the paste target fetch the pasted text first.
  clipboard().settlePaste();
  return clipboard().changeCount();
}

void LinuxFieldHost::restoreClipboard(const Contents& contents) {
  clipboard().restore(static_cast<const SavedEntries&>(*contents).entries);
}

void LinuxFieldHost::handOverClipboard() {
  if (clipboard_) clipboard_->handOver();
}

void LinuxFieldHost::paste() {
  const std::optional<xcb_window_t> focus = paste_.paste();
  if (clipboard_) clipboard_->notePastePosted(focus);
}

}  // namespace halcy
