#include "LinuxPointer.hpp"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

#include "GLibHandles.hpp"
#include "LinuxButtons.hpp"
#include "LinuxKeyCodes.hpp"
#include "LinuxPermissions.hpp"
#include "LinuxRoles.hpp"
#include "PointerRules.hpp"

namespace halcy {

// The time of one "pointer.element": every accessibility call made for it shares it, so an
// application that stopped answering costs one timeout, not one per call.
class QueryBudget {
 public:
  using Clock = std::chrono::steady_clock;
  explicit QueryBudget(AtSpi::Timeout timeout) : end_(Clock::now() + timeout) {}
  AtSpi::Timeout left() const {
    return std::max(std::chrono::duration_cast<AtSpi::Timeout>(end_ - Clock::now()),
                    AtSpi::Timeout{1});
  }
  bool spent() const { return Clock::now() >= end_; }

 private:
  Clock::time_point end_;
};

// An element under the pointer: an accessible object, or the window itself when its application
// shows no accessible object there. What it is read as is kept, as the controller asks twice.
struct LinuxElement final : PointerElementRef {
  std::shared_ptr<QueryBudget> budget;
  std::optional<AtSpiRef> ref;
  std::optional<LinuxWindow> window;
  std::optional<AtSpi::Portrait> portrait;
  bool whole = false;  // the portrait holds what a description needs, not only the walk's part
  std::shared_ptr<LinuxElement> parent;
  bool parentAsked = false;
};

namespace {

constexpr AtSpi::Timeout queryTimeout = AtSpi::fieldTimeout;
// Elements looked at below a selected item for its file, as many as the caller's platform does.
constexpr std::size_t fileSearchNodes = 12;

LinuxElement& elementOf(const PointerHost::Element& element) {
  return static_cast<LinuxElement&>(*element);
}

// What the walk up for a file needs is in every portrait; a description needs a whole one.
const AtSpi::Portrait& portraitOf(AtSpi& atspi, LinuxElement& element, bool whole = true) {
  if (!element.portrait || (whole && !element.whole)) {
    element.portrait =
        element.ref ? atspi.portrait(*element.ref, element.budget->left()) : AtSpi::Portrait{};
    element.whole = true;
  }
  return *element.portrait;
}

std::optional<std::string> nonEmpty(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  return text;
}

bool lists(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool covers(const XRect& rect, double x, double y) {
  return rect.x <= x && x <= rect.x + static_cast<double>(rect.width) && rect.y <= y &&
         y <= rect.y + static_cast<double>(rect.height);
}

bool covers(const AtSpiRect& rect, double x, double y) {
  return rect.width > 0 && rect.height > 0 && rect.x <= x && x <= rect.x + rect.width &&
         rect.y <= y && y <= rect.y + rect.height;
}

std::optional<ScreenRect> frameOf(const std::optional<AtSpiRect>& extents) {
  if (!extents || extents->width < 0 || extents->height < 0) return std::nullopt;
  return ScreenRect{static_cast<double>(extents->x), static_cast<double>(extents->y),
                    static_cast<double>(extents->width), static_cast<double>(extents->height)};
}

// A window whose application shows nothing there is described as the window manager knows it.
AXDescription windowDescription(const LinuxWindow& window) {
  AXDescription description;
  description.role = "AXWindow";
  description.subrole = "AXStandardWindow";
  description.title = nonEmpty(window.title);
  description.frame = ScreenRect{
      static_cast<double>(window.bounds.x), static_cast<double>(window.bounds.y),
      static_cast<double>(window.bounds.width), static_cast<double>(window.bounds.height)};
  return description;
}

}  // namespace

std::optional<std::string> localPath(const std::optional<std::string>& uri) {
  if (!uri || uri->rfind("file:", 0) != 0) return std::nullopt;
  gchar* host = nullptr;
  OwnedText path(g_filename_from_uri(uri->c_str(), &host, nullptr));
  OwnedText hostName(host);
  const bool here = hostName == nullptr || std::string_view(hostName.get()) == "localhost";
  if (!path || !here) return std::nullopt;
  return std::string(path.get());
}

namespace InputTranslation {

unsigned wants(const InputWatch& watch) {
  unsigned wants = 0;
  if (watch.pointer != PointerReport::none || watch.scroll) wants |= LinuxInput::buttons;
  if (watch.moves || watch.pointer == PointerReport::drags) wants |= LinuxInput::motion;
  if (watch.keys) wants |= LinuxInput::keys;
  return wants;
}

bool needsPlace(const LinuxInput::Event& event) {
  using Kind = LinuxInput::Event::Kind;
  if (event.kind == Kind::motion) return true;
  if (event.kind == Kind::buttonDown && LinuxButtons::isWheel(event.detail)) return true;
  return (event.kind == Kind::buttonDown || event.kind == Kind::buttonUp) &&
         LinuxButtons::pressName(event.detail).has_value();
}

std::optional<RawInput> translate(const LinuxInput::Event& event, bool secureInput,
                                  const std::function<PointerHost::Location()>& place) {
  using Kind = LinuxInput::Event::Kind;
  switch (event.kind) {
    case Kind::keyDown: {
      if (event.modifier || secureInput) return std::nullopt;
      auto code = LinuxKeyCodes::virtualKeyCode(event.detail);
      if (!code) return std::nullopt;
      return RawInput::key(*code, event.at);
    }
    case Kind::keyUp:
      return std::nullopt;
    case Kind::buttonDown:
    case Kind::buttonUp: {
      if (!needsPlace(event)) return std::nullopt;
      const PointerHost::Location at = place();
      if (auto notch = LinuxButtons::wheelNotch(event.detail)) {
        return RawInput::scroll(at.x, at.y, notch->dx * LinuxButtons::pointsPerNotch,
                                notch->dy * LinuxButtons::pointsPerNotch, event.at);
      }
      const PointerButton button = *LinuxButtons::pressName(event.detail) == "left"
                                       ? PointerButton::left
                                       : PointerButton::right;
      return event.kind == Kind::buttonDown ? RawInput::press(button, at.x, at.y, event.at)
                                            : RawInput::release(button, at.x, at.y, event.at);
    }
    case Kind::motion:
      break;
  }
  const bool dragging = (event.buttons & *LinuxButtons::buttonBit(1)) != 0;
  if (!dragging && event.buttons != 0) return std::nullopt;
  const PointerHost::Location at = place();
  return dragging ? RawInput::drag(at.x, at.y, event.at) : RawInput::move(at.x, at.y, event.at);
}

}  // namespace InputTranslation

LinuxPointer::LinuxPointer(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<LinuxInput> input,
                           std::shared_ptr<AtSpi> atspi, std::shared_ptr<LinuxSecureInput> secure)
    : display_(std::move(display)),
      input_(std::move(input)),
      atspi_(std::move(atspi)),
      secure_(std::move(secure)),
      apps_(*display_) {}

LinuxPointer::~LinuxPointer() {
  input_->stop(LinuxInput::Slot::pointer);
}

PointerHost::Location LinuxPointer::location() {
  auto pointer = input_->pointer();
  if (!pointer) return {};
  return {pointer->x, pointer->y};
}

std::int64_t LinuxPointer::buttons() {
  auto pointer = input_->pointer();
  return pointer ? static_cast<std::int64_t>(LinuxButtons::buttonsFromState(pointer->mask)) : 0;
}

bool LinuxPointer::secureInput() {
  return secure_->active();
}

// Accessibility is usable when it is switched on (which stays so for the session) and its bus is
// there.
bool LinuxPointer::trusted() {
  if (!accessibilityOn_) accessibilityOn_ = LinuxPermissions::accessibilityEnabled();
  return accessibilityOn_ && atspi_->connected(queryTimeout);
}

std::vector<WindowFact> LinuxPointer::windows() {
  std::vector<WindowFact> facts;
  for (const LinuxWindow& window : display_->windows()) {
    if (!window.onScreen) continue;
    facts.push_back(WindowFact{
        window.pid, window.title, window.layer, true,
        ScreenRect{static_cast<double>(window.bounds.x), static_cast<double>(window.bounds.y),
                   static_cast<double>(window.bounds.width),
                   static_cast<double>(window.bounds.height)}});
  }
  return facts;
}

std::optional<FrontApp> LinuxPointer::app(std::int64_t pid) {
  return apps_.app(pid);
}

// The window on top at the point decides, as the window manager stacks them, whatever its
// application shows to accessibility; that application's top-level element at the point is asked
// level by level down to the deepest element there.
std::optional<PointerHost::Hit> LinuxPointer::hit(double x, double y,
                                                  std::optional<std::int64_t> pid) {
  auto budget = std::make_shared<QueryBudget>(queryTimeout);
  std::optional<LinuxWindow> top;
  for (const LinuxWindow& window : display_->windows()) {
    if (!window.onScreen || (pid && window.pid != *pid) || !covers(window.bounds, x, y)) continue;
    top = window;
    break;
  }
  if (!top || top->pid <= 0) return std::nullopt;
  auto windowOnly = std::make_shared<LinuxElement>();
  windowOnly->budget = budget;
  windowOnly->window = top;
  for (const bool fresh : {false, true}) {
    const Frame frame = frameAt(*top, x, y, *budget, fresh);
    if (!frame.element) break;
    std::vector<AtSpiRef> path = atspi_->pathAt(*frame.element, static_cast<std::int32_t>(x),
                                                static_cast<std::int32_t>(y), budget->left());
    path.insert(path.begin(), *frame.element);
    std::shared_ptr<LinuxElement> deepest = lineage(path, budget);
    const bool inside = path.size() > 1 || (deepest->portrait && deepest->portrait->extents &&
                                            covers(*deepest->portrait->extents, x, y));
    if (inside) return Hit{top->pid, deepest};
    // A point on the window's frame lies outside its top-level element; or the remembered
    // top-level element is not the one there any more.
    if (!frame.remembered || budget->spent()) break;
  }
  return Hit{top->pid, windowOnly};
}

// The application's top-level element at the point. Windows of one application may overlap: the
// one the window manager has on top is the one named as the window is titled. An application with
// one window is remembered with it.
LinuxPointer::Frame LinuxPointer::frameAt(const LinuxWindow& window, double x, double y,
                                          const QueryBudget& budget, bool fresh) {
  std::optional<Known> known;
  if (!fresh) {
    std::lock_guard guard(applicationsLock_);
    if (auto found = applications_.find(window.pid); found != applications_.end()) {
      known = found->second;
    }
  }
  if (known && known->onlyFrame) return Frame{known->onlyFrame, true};
  std::vector<AtSpiRef> frames;
  for (const bool again : {false, true}) {
    // An application remembered from earlier that answers nothing at once has gone.
    if (!known || again) known = Known{atspi_->application(window.pid, budget.left()), {}};
    if (!known->application) break;
    frames = atspi_->children(*known->application, budget.left());
    if (!frames.empty() || budget.spent()) break;
  }
  if (frames.size() == 1) known->onlyFrame = frames.front();
  remember(window.pid, known);
  if (frames.size() <= 1) return Frame{known && known->onlyFrame ? known->onlyFrame : std::nullopt};
  std::optional<AtSpiRef> covering;
  std::vector<AtSpi::PortraitAsk> asks;
  for (const AtSpiRef& frame : frames) asks.push_back({frame, true});
  const std::vector<AtSpi::Portrait> facts = atspi_->portraits(asks, budget.left());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (!facts[i].extents || !covers(*facts[i].extents, x, y)) continue;
    if (window.title && facts[i].name == window.title) return Frame{frames[i]};
    if (!covering) covering = frames[i];
  }
  return Frame{covering};
}

void LinuxPointer::remember(std::int64_t pid, const std::optional<Known>& known) {
  std::lock_guard guard(applicationsLock_);
  if (applications_.size() >= rememberedApplications) applications_.clear();
  if (known && known->application) {
    applications_[pid] = *known;
  } else {
    applications_.erase(pid);
  }
}

// The deepest element of a path with what the answer needs of it and its nearest ancestors, read
// for all of them at once: the element and its parent are described, the two above are only asked
// for a file. The path down is the line of parents, where the parents say so.
std::shared_ptr<LinuxElement> LinuxPointer::lineage(const std::vector<AtSpiRef>& path,
                                                    const std::shared_ptr<QueryBudget>& budget) {
  constexpr std::size_t described = 2;
  const std::size_t first =
      path.size() > PointerRules::fileDepth ? path.size() - PointerRules::fileDepth : 0;
  std::vector<AtSpi::PortraitAsk> asks;
  for (std::size_t i = first; i < path.size(); ++i) {
    asks.push_back({path[i], path.size() - i <= described});
  }
  std::vector<AtSpi::Portrait> facts = atspi_->portraits(asks, budget->left());
  std::shared_ptr<LinuxElement> above;
  for (std::size_t i = 0; i < asks.size(); ++i) {
    auto element = std::make_shared<LinuxElement>();
    element->budget = budget;
    element->ref = asks[i].element;
    element->portrait = std::move(facts[i]);
    element->whole = asks[i].whole;
    if (above && element->portrait->parent == above->ref) {
      element->parent = above;
      element->parentAsked = true;
    }
    above = element;
  }
  return above;
}

AXDescription LinuxPointer::describe(const Element& handle) {
  LinuxElement& element = elementOf(handle);
  if (!element.ref) return element.window ? windowDescription(*element.window) : AXDescription{};
  const AtSpi::Portrait& facts = portraitOf(*atspi_, element);
  const auto role = static_cast<AtSpiRole>(facts.role.value_or(0));
  AtSpiRole parentRole = AtSpiRole::invalid;
  // Only a menu's role depends on its parent.
  if (role == AtSpiRole::menu) {
    if (Element above = parent(handle)) {
      parentRole = static_cast<AtSpiRole>(portraitOf(*atspi_, elementOf(above)).role.value_or(0));
    }
  }
  const LinuxRoles::AxRole ax = LinuxRoles::axRole(
      role,
      LinuxRoles::contextOf(facts.states.value_or(AtSpiStates{}), facts.attributes, parentRole));
  AXDescription description;
  description.role = nonEmpty(std::string(ax.role));
  description.subrole = nonEmpty(std::string(ax.subrole));
  description.roleDescription = nonEmpty(facts.roleName);
  description.title = nonEmpty(facts.name);
  description.description = nonEmpty(facts.description);
  description.help = nonEmpty(facts.help);
  description.frame = frameOf(facts.extents);
  // A password's text is never asked for, whatever role the toolkit maps it to.
  if (role == AtSpiRole::passwordText || description.isSecure()) return description;
  if (lists(facts.interfaces, "org.a11y.atspi.Text")) {
    description.value =
        atspi_->contentFacts(*element.ref, AtSpi::Content::text, element.budget->left()).text;
  } else if (lists(facts.interfaces, "org.a11y.atspi.Value")) {
    description.value =
        atspi_->contentFacts(*element.ref, AtSpi::Content::number, element.budget->left()).number;
  }
  return description;
}

// The walk up stays inside the application: above its own root lies the desktop.
PointerHost::Element LinuxPointer::parent(const Element& handle) {
  LinuxElement& element = elementOf(handle);
  if (element.parentAsked || !element.ref) return element.parent;
  element.parentAsked = true;
  const std::optional<AtSpiRef> above = portraitOf(*atspi_, element, false).parent;
  if (!above || above->bus != element.ref->bus) return nullptr;
  element.parent = std::make_shared<LinuxElement>();
  element.parent->budget = element.budget;
  element.parent->ref = above;
  return element.parent;
}

// A link's target or a document's address, when it is a local file. File managers and file
// choosers of GTK show names only, which tell no folder.
std::optional<std::string> LinuxPointer::file(const Element& handle) {
  LinuxElement& element = elementOf(handle);
  if (!element.ref) return std::nullopt;
  const AtSpi::Portrait& facts = portraitOf(*atspi_, element, false);
  if (auto path = localPath(facts.linkUri)) return path;
  return localPath(facts.documentUrl);
}

std::vector<std::string> LinuxPointer::selectedPaths(std::int64_t pid, std::size_t max) {
  const QueryBudget budget(queryTimeout);
  auto focused = atspi_->focused(pid, budget.left());
  if (!focused) return {};
  const auto most = static_cast<std::int32_t>(max);
  std::vector<AtSpiRef> selected = atspi_->selectedChildren(*focused, most, budget.left());
  // The focus may sit on a row of the list that holds the selection.
  if (selected.empty()) {
    if (auto list = atspi_->parent(*focused, budget.left())) {
      selected = atspi_->selectedChildren(*list, most, budget.left());
    }
  }
  std::vector<std::string> paths;
  for (const AtSpiRef& item : selected) {
    if (budget.spent()) break;
    const AtSpi::Portrait facts = atspi_->portraits({{item, false}}, budget.left()).front();
    auto path = localPath(facts.linkUri);
    if (!path) path = localPath(facts.documentUrl);
    if (!path) path = fileBelow(item, budget.left());
    if (path) paths.push_back(std::move(*path));
  }
  return paths;
}

// Breadth first below an item (the item itself not included), a few elements at most.
std::optional<std::string> LinuxPointer::fileBelow(const AtSpiRef& item, AtSpi::Timeout timeout) {
  const QueryBudget budget(timeout);
  std::deque<AtSpiRef> queue;
  for (AtSpiRef& child : atspi_->children(item, budget.left())) queue.push_back(std::move(child));
  for (std::size_t looked = 0; looked < fileSearchNodes && !queue.empty() && !budget.spent();
       ++looked) {
    const AtSpiRef next = queue.front();
    queue.pop_front();
    const AtSpi::Portrait facts = atspi_->portraits({{next, false}}, budget.left()).front();
    if (auto path = localPath(facts.linkUri)) return path;
    if (auto path = localPath(facts.documentUrl)) return path;
    for (AtSpiRef& child : atspi_->children(next, budget.left())) queue.push_back(std::move(child));
  }
  return std::nullopt;
}

void LinuxPointer::startInput(const InputWatch& watch, InputHandler handler) {
  input_->listen(LinuxInput::Slot::pointer, InputTranslation::wants(watch),
                 [this, handler = std::move(handler)](const LinuxInput::Event& event) {
                   const bool secure = event.kind == LinuxInput::Event::Kind::keyDown &&
                                       !event.modifier && secure_->active();
                   if (auto input = InputTranslation::translate(event, secure,
                                                                [this] { return location(); })) {
                     handler(*input);
                   }
                 });
}

void LinuxPointer::stopInput() {
  input_->stop(LinuxInput::Slot::pointer);
}

}  // namespace halcy
