#include "LinuxFields.hpp"

#include <algorithm>
#include <future>

#include "LinuxPermissions.hpp"
#include "LinuxRoles.hpp"
#include "Text.hpp"

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
// Elements of a level asked about in one round.
constexpr std::size_t stretch = 64;
constexpr std::string_view textInterface = "org.a11y.atspi.Text";

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

bool listed(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// Whether the walk must ask an element for its text: unless the cache says it has none, in which
// case its name stands in without asking.
bool LinuxFieldHost::wantsText(const Visit& visit) {
  return harvestedRole(visit.role.value_or(0)) && visit.hasText;
}

LinuxFieldHost::CachedTree::CachedTree(std::optional<std::vector<AtSpiCacheItem>> items)
    : tree_(std::move(items)) {}

std::optional<std::vector<AtSpiRef>> LinuxFieldHost::CachedTree::children(
    const AtSpiRef& element) const {
  return tree_.children(element);
}

std::vector<LinuxFieldHost::Visit> LinuxFieldHost::CachedTree::visits(
    const std::vector<AtSpiRef>& level) const {
  std::vector<Visit> visits;
  visits.reserve(level.size());
  for (const AtSpiRef& element : level) {
    Visit& visit = visits.emplace_back();
    visit.element = element;
    const AtSpiCacheItem* item = tree_.item(element);
    if (item == nullptr) continue;
    visit.cached = true;
    visit.role = item->role;
    visit.states = item->states;
    visit.name = item->name;
    visit.hasText = listed(item->interfaces, textInterface);
    visit.children = children(element);
  }
  return visits;
}

LinuxFieldHost::LinuxFieldHost(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<AtSpi> atspi)
    : display_(std::move(display)),
      apps_(*display_),
      atspiHandle_(std::move(atspi)),
      atspi_(*atspiHandle_),
      clipboard_(display_->connection()),
      paste_(display_->connection()) {
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

bool LinuxFieldHost::harvestedRole(std::uint32_t atspiRole) {
  // States only choose between a field and a text area, which are both harvested.
  LinuxRoles::RoleContext multiLine;
  multiLine.states = AtSpiStates{}.with(AtSpiState::multiLine);
  return harvested(LinuxRoles::axRole(atspiRole).role) ||
         harvested(LinuxRoles::axRole(atspiRole, multiLine).role);
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
  const AtSpi::ElementFacts facts = atspi_.elementFacts(element, fieldTimeout);
  const AtSpiStates states = facts.states.value_or(AtSpiStates{});
  const auto attribute = [&](const char* key) -> std::string {
    auto found = facts.attributes.find(key);
    return found == facts.attributes.end() ? std::string() : found->second;
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
  const auto has = [&](std::string_view name) {
    return std::find(facts.interfaces.begin(), facts.interfaces.end(), name) !=
           facts.interfaces.end();
  };
  const bool text = has("org.a11y.atspi.Text");
  described.valueSettable = states.has(AtSpiState::editable) && has("org.a11y.atspi.EditableText");
  if (!text) {
    if (!secure && has("org.a11y.atspi.Value")) {
      described.value = atspi_.contentFacts(element, AtSpi::Content::number, fieldTimeout).number;
    }
    return described;
  }
  const AtSpi::ContentFacts content = atspi_.contentFacts(
      element, secure ? AtSpi::Content::caret : AtSpi::Content::text, fieldTimeout);
  described.hasCaret = content.caret && *content.caret >= 0;
  if (secure) return described;
  described.value = content.text;
  if (described.hasCaret && described.value) {
    // An insertion point without a selection reads as an empty selection.
    described.selectedText =
        content.selection
            ? codePoints(*described.value, content.selection->start, content.selection->end)
            : std::string();
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
// user-perceived characters are in hand or the visit budget is spent. The order of visits is that
// of the walk; only the asking is done in bulk: the application's cache tells most of the tree in
// one call, and what it leaves out is asked for a stretch of a level at a time, so that a walk
// that stops early has not asked about the rest.
std::string LinuxFieldHost::harvest(const AtSpiRef& window, std::size_t maxChars) {
  const CachedTree cache(atspi_.cacheItems(window.bus, walkTimeout));
  TextRounds rounds;
  std::vector<std::string> texts;
  std::size_t total = 0;
  int budget = harvestBudget;
  std::vector<AtSpiRef> level = {window};
  while (!level.empty() && budget > 0 && total < maxChars) {
    if (level.size() > static_cast<std::size_t>(budget))
      level.resize(static_cast<std::size_t>(budget));
    std::vector<Visit> visits = cache.visits(level);
    std::vector<AtSpiRef> next;
    for (std::size_t index = 0; index < visits.size() && budget > 0 && total < maxChars; ++index) {
      if (index % stretch == 0) completeStretch(visits, index, rounds);
      Visit& visit = visits[index];
      if (harvestedRole(visit.role.value_or(0))) {
        if (!visit.textAsked) readTexts(visits, index, rounds);
        // A text that trims to nothing does not fall back to the name.
        std::string entry = trimmedText(visit.text ? *visit.text : visit.name.value_or(""));
        if (!entry.empty()) {
          total += Graphemes::count(entry, maxChars - total);
          texts.push_back(std::move(entry));
        }
      }
      if (visit.children) next.insert(next.end(), visit.children->begin(), visit.children->end());
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

// One round for a stretch of a level: what the cache did not tell (role and children), and the
// texts of the first text-bearing elements the cache already named.
void LinuxFieldHost::completeStretch(std::vector<Visit>& visits, std::size_t from,
                                     TextRounds& rounds) {
  std::vector<AtSpi::Question> questions;
  std::vector<std::size_t> asked;
  std::size_t texts = 0;
  for (std::size_t index = from; index < std::min(visits.size(), from + stretch); ++index) {
    Visit& visit = visits[index];
    AtSpi::Question question{visit.element};
    question.role = !visit.cached;
    question.children = !visit.children;
    if (visit.cached && texts < rounds.size() && wantsText(visit)) {
      question.text = visit.textAsked = true;
      ++texts;
    }
    if (question.role || question.children || question.text) {
      questions.push_back(std::move(question));
      asked.push_back(index);
    }
  }
  if (questions.empty()) return;
  if (texts > 0) rounds.asked();
  std::vector<AtSpi::Answer> answers = atspi_.ask(questions, walkTimeout);
  for (std::size_t i = 0; i < asked.size(); ++i) {
    Visit& visit = visits[asked[i]];
    AtSpi::Answer& answer = answers[i];
    if (questions[i].role) visit.role = answer.role;
    if (questions[i].children) visit.children = std::move(answer.children);
    if (questions[i].text) visit.text = std::move(answer.text);
  }
}

// The texts of the next text-bearing elements of a level from `from` on, in one round; an element
// the cache did not describe is asked its name too, in case it has no text.
void LinuxFieldHost::readTexts(std::vector<Visit>& visits, std::size_t from, TextRounds& rounds) {
  std::vector<AtSpi::Question> questions;
  std::vector<std::size_t> asked;
  for (std::size_t index = from; index < visits.size() && asked.size() < rounds.size(); ++index) {
    Visit& visit = visits[index];
    // Roles past the stretch asked so far are not known yet.
    if (!visit.cached && !visit.role) break;
    if (visit.textAsked || !harvestedRole(visit.role.value_or(0))) continue;
    visit.textAsked = true;
    if (!wantsText(visit)) continue;
    AtSpi::Question question{visit.element};
    question.text = true;
    question.name = !visit.cached;
    questions.push_back(std::move(question));
    asked.push_back(index);
  }
  if (questions.empty()) return;
  std::vector<AtSpi::Answer> answers = atspi_.ask(questions, walkTimeout);
  for (std::size_t i = 0; i < asked.size(); ++i) {
    Visit& visit = visits[asked[i]];
    visit.text = std::move(answers[i].text);
    if (questions[i].name) visit.name = std::move(answers[i].name);
  }
  rounds.asked();
}

FieldHost::HostFocus LinuxFieldHost::focus(std::int64_t surroundingChars,
                                           std::optional<std::int64_t> pid) {
  HostFocus focus;
  const std::optional<AtSpiRef> element = focusedElement(pid);
  std::optional<std::int64_t> target = pid;
  if (!pid) target = element ? atspi_.pid(*element, fieldTimeout) : frontPid();
  if (target) focus.app = app(*target);
  if (!element) return focus;
  const std::optional<AtSpiRef> window = windowOf(*element);
  // The walk and the element's own reads wait for the same application: while one waits for an
  // answer the application works on the other's questions.
  std::future<std::string> surrounding;
  if (window && surroundingChars > 0) {
    surrounding = std::async(std::launch::async, [this, &window, surroundingChars] {
      return harvest(*window, static_cast<std::size_t>(surroundingChars));
    });
  }
  focus.element = describe(*element);
  if (!window) return focus;
  focus.windowTitle = atspi_.name(*window, fieldTimeout);
  if (surrounding.valid()) focus.surroundingText = surrounding.get();
  return focus;
}

std::optional<std::string> LinuxFieldHost::value(const Element& element) {
  const auto& held = static_cast<const AtSpiElement&>(*element);
  if (held.secure) return std::nullopt;
  return atspi_.value(held.ref, fieldTimeout);
}

FieldHost::SavedClipboard LinuxFieldHost::saveClipboard() {
  auto [entries, count] = clipboard_.save();
  return {std::make_shared<SavedEntries>(std::move(entries)), count};
}

std::int64_t LinuxFieldHost::writeClipboard(const std::string& text, bool transient) {
  return clipboard_.write(text, transient);
}

std::int64_t LinuxFieldHost::clipboardChangeCount() {
  // A restore follows: let the paste target fetch the pasted text first.
  clipboard_.settlePaste();
  return clipboard_.changeCount();
}

void LinuxFieldHost::restoreClipboard(const Contents& contents) {
  clipboard_.restore(static_cast<const SavedEntries&>(*contents).entries);
}

void LinuxFieldHost::handOverClipboard() {
  clipboard_.handOver();
}

void LinuxFieldHost::paste() {
  const std::optional<xcb_window_t> focus = paste_.paste();
  clipboard_.notePastePosted(focus);
}

}  // namespace halcy
