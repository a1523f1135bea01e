#include "LinuxOutlineWalk.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "AtSpiCachedTree.hpp"
#include "LinuxRoles.hpp"

namespace halcy {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// Elements described and measured in one round; questions sent before any answer is awaited.
constexpr std::size_t roundSize = 128;
constexpr std::size_t askedTogether = 64;
constexpr std::string_view textInterface = "org.a11y.atspi.Text";
constexpr std::string_view valueInterface = "org.a11y.atspi.Value";

// One element on the walk's queue and what is known of it.
struct Visit {
  AtSpiRef ref;
  AtSpiRole parentRole = AtSpiRole::invalid;
  std::optional<AtSpiRef> scrollArea;
  bool inWindow = true;
  std::optional<std::uint32_t> role;
  std::optional<AtSpiStates> states;
  LinuxNameSources sources;
  std::vector<std::string> interfaces;
  std::optional<std::vector<AtSpiRef>> children;
  std::optional<AtSpiRect> extents;
  bool full = false;  // states, name, description and interfaces are known
  // Worked out once the element is described.
  std::string axRole;
  bool candidate = false;
};

bool has(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

AtSpiRole roleOf(const Visit& visit) {
  return static_cast<AtSpiRole>(visit.role.value_or(0));
}

bool hidden(const Visit& visit) {
  return visit.states && !visit.states->has(AtSpiState::showing);
}

bool textEntry(AtSpiRole role) {
  return role == AtSpiRole::text || role == AtSpiRole::entry;
}

bool secure(const Visit& visit) {
  return roleOf(visit) == AtSpiRole::passwordText || visit.axRole == OutlineRules::secureRole;
}

std::string axRoleOf(const Visit& visit) {
  const auto attribute = [&](const char* key) -> std::string_view {
    const auto found = visit.sources.attributes.find(key);
    return found == visit.sources.attributes.end() ? std::string_view() : found->second;
  };
  const LinuxRoles::RoleContext context{
      visit.states.value_or(AtSpiStates{}), visit.parentRole,
      LinuxRoles::isSearchField(attribute("text-input-type"), attribute("xml-roles"))};
  return std::string(LinuxRoles::axRole(visit.role.value_or(0), context).role);
}

class Walk {
 public:
  Walk(AtSpi& atspi, LinuxDisplay& display, CacheTimes& cacheTimes, std::int64_t pid, Ms budget)
      : atspi_(atspi),
        display_(display),
        cacheTimes_(cacheTimes),
        pid_(pid),
        budget_(budget),
        deadline_(SteadyClock::now() + budget) {}

  OutlineWalk run() {
    OutlineWalk walk;
    if (pid_ < 1 || pid_ > std::numeric_limits<std::int32_t>::max() ||
        !atspi_.connected(AtSpi::walkTimeout)) {
      walk.refused = true;
      return walk;
    }
    const std::optional<AtSpiRef> app = atspi_.application(pid_, left());
    if (!app) return walk;
    readCache(app->bus);
    std::vector<Visit> queue = start(*app);
    walk.window = windowFrame_;
    visitAll(queue, walk.found);
    if (menuBar_ && !unresponsive_) listMenuBar(walk.found);
    return walk;
  }

 private:
  // What a query may wait: the walk's timeout, but never past the deadline.
  AtSpi::Timeout left() const {
    const auto rest = std::chrono::duration_cast<Ms>(deadline_ - SteadyClock::now());
    return std::clamp(rest, Ms{1}, AtSpi::walkTimeout);
  }
  bool expired() const { return SteadyClock::now() >= deadline_; }
  AtSpi::Timeout rest() const {
    return std::max(std::chrono::duration_cast<Ms>(deadline_ - SteadyClock::now()), Ms{1});
  }

  void readCache(const std::string& bus) {
    const std::optional<Ms> took = cacheTimes_.last(bus);
    if (took && *took >= budget_) return;
    const auto started = SteadyClock::now();
    // One bulk read: it may use the whole budget, as it replaces every structural query.
    auto items = atspi_.cacheItems(bus, rest());
    cacheTimes_.record(bus, std::chrono::duration_cast<Ms>(SteadyClock::now() - started));
    tree_ = std::make_unique<AtSpiCachedTree>(std::move(items));
  }

  // A round of questions, sent a bounded batch at a time, each batch waiting at most what is left
  // of the walk (`patient`: the walk's timeout, whatever the budget). An application that
  // answers none of a batch in time is taken as not answering.
  std::vector<AtSpi::Answer> ask(const std::vector<AtSpi::Question>& questions,
                                 bool patient = false) {
    std::vector<AtSpi::Answer> answers(questions.size());
    for (std::size_t first = 0; first < questions.size(); first += askedTogether) {
      if (!patient && expired()) break;
      const std::size_t last = std::min(questions.size(), first + askedTogether);
      // A container of thousands answers its children slower than any one fact: that answer may
      // take what is left of the budget, as a cache read does.
      const bool bulk = std::any_of(questions.begin() + static_cast<std::ptrdiff_t>(first),
                                    questions.begin() + static_cast<std::ptrdiff_t>(last),
                                    [](const AtSpi::Question& q) { return q.children; });
      const AtSpi::Timeout wait = patient ? AtSpi::walkTimeout : bulk ? rest() : left();
      const auto asked = SteadyClock::now();
      std::vector<AtSpi::Answer> batch = atspi_.ask(
          std::vector<AtSpi::Question>(questions.begin() + static_cast<std::ptrdiff_t>(first),
                                       questions.begin() + static_cast<std::ptrdiff_t>(last)),
          wait);
      const bool silent = std::all_of(batch.begin(), batch.end(), [](const AtSpi::Answer& a) {
        return !a.role && !a.name && !a.children && !a.states && !a.extents && !a.description;
      });
      if (silent && SteadyClock::now() - asked >= wait) unresponsive_ = true;
      std::move(batch.begin(), batch.end(), answers.begin() + static_cast<std::ptrdiff_t>(first));
    }
    return answers;
  }

  // Fills in what the cache tells of visits [from, to) and asks the rest: the role, states and
  // children of every element (and, `full`, what a candidate needs too). Children are asked of
  // hidden elements too: GTK hides a scrolled viewport whose list is shown.
  void describe(std::vector<Visit>& visits, std::size_t from, std::size_t to, bool full,
                bool patient = false) {
    std::vector<AtSpi::Question> questions;
    std::vector<std::size_t> asked;
    for (std::size_t i = from; i < to; ++i) {
      Visit& visit = visits[i];
      const AtSpiCacheItem* item = tree_ ? tree_->item(visit.ref) : nullptr;
      AtSpi::Question question{visit.ref};
      if (item != nullptr) {
        visit.role = item->role;
        visit.states = item->states;
        visit.sources.name = item->name;
        visit.sources.description = item->description;
        visit.interfaces = item->interfaces;
        visit.children = tree_->children(visit.ref);
        visit.full = true;
      } else {
        question.role = !visit.role;
        question.states = !visit.states;
        question.name = question.description = question.interfaces = full && !visit.full;
      }
      question.children = !visit.children && !secure(visit);
      if (question.role || question.states || question.name || question.children) {
        questions.push_back(std::move(question));
        asked.push_back(i);
      }
    }
    std::vector<AtSpi::Answer> answers = ask(questions, patient);
    for (std::size_t k = 0; k < asked.size(); ++k) {
      Visit& visit = visits[asked[k]];
      AtSpi::Answer& answer = answers[k];
      if (questions[k].role) visit.role = answer.role;
      if (questions[k].name) fill(visit, answer);
      if (questions[k].states) visit.states = answer.states;
      if (questions[k].children) visit.children = std::move(answer.children);
    }
  }

  static void fill(Visit& visit, AtSpi::Answer& answer) {
    visit.states = answer.states;
    visit.sources.name = answer.name.value_or("");
    visit.sources.description = answer.description.value_or("");
    visit.interfaces = std::move(answer.interfaces).value_or(std::vector<std::string>{});
    visit.full = true;
  }

  // Whether an element may be kept, so that its frame (and what names it) is worth asking. The
  // role alone decides whether it is considered at all; states, once known, may still hide it.
  bool worthMeasuring(Visit& visit) const {
    visit.axRole = axRoleOf(visit);
    if (secure(visit) || hidden(visit) || !OutlineRules::considers(visit.axRole)) return false;
    // Past the grid cap, further cells and rows would be dropped from any outline.
    const auto& grid = OutlineRules::grid();
    if (gridFound_ >= OutlineRules::gridLimit &&
        std::find(grid.begin(), grid.end(), visit.axRole) != grid.end()) {
      return false;
    }
    return true;
  }

  // An element with children inside the window: its frame tells whether they can be on it.
  bool mayPrune(const Visit& visit) const {
    return visit.inWindow && windowFrame_ && visit.ref != window_ && visit.children &&
           !visit.children->empty();
  }

  // Toolkits draw children inside their parent: below an element that lies wholly off the window
  // (past the margin) nothing can be on it, and nothing there is asked about.
  bool outsideWindow(const Visit& visit) const {
    const std::optional<ScreenRect> frame = OutlineRules::live(frameOf(visit.extents));
    return visit.inWindow && windowFrame_ && frame &&
           !OutlineRules::meetsWindow(*frame, *windowFrame_);
  }

  // Asks what the candidates among visits [from, to) still lack: their frames and states, then
  // what names the unnamed ones.
  void measure(std::vector<Visit>& visits, std::size_t from, std::size_t to, bool patient = false) {
    std::vector<std::size_t> candidates;
    std::vector<AtSpi::Question> questions;
    for (std::size_t i = from; i < to; ++i) {
      Visit& visit = visits[i];
      visit.candidate = worthMeasuring(visit);
      if (!visit.candidate && !mayPrune(visit)) continue;
      AtSpi::Question question{visit.ref};
      question.extents = true;
      if (!visit.candidate) {
        questions.push_back(std::move(question));
        candidates.push_back(i);
        continue;
      }
      question.name = !visit.full;
      questions.push_back(std::move(question));
      candidates.push_back(i);
    }
    std::vector<AtSpi::Answer> answers = ask(questions, patient);
    std::vector<AtSpi::Question> naming;
    std::vector<std::size_t> unnamed;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      Visit& visit = visits[candidates[k]];
      AtSpi::Answer& answer = answers[k];
      visit.extents = answer.extents;
      if (!visit.candidate) continue;
      if (questions[k].name) visit.sources.name = answer.name.value_or("");
      visit.axRole = axRoleOf(visit);
      if (!visit.sources.name.empty() || !visit.extents || hidden(visit)) continue;
      AtSpi::Question question{visit.ref};
      question.description = question.interfaces = !visit.full;
      // A field's placeholder is one of its attributes.
      question.attributes = textEntry(roleOf(visit));
      naming.push_back(std::move(question));
      unnamed.push_back(candidates[k]);
    }
    nameUnnamed(visits, naming, unnamed, patient);
  }

  // Description, then text or number, of candidates without a name.
  void nameUnnamed(std::vector<Visit>& visits, std::vector<AtSpi::Question>& naming,
                   const std::vector<std::size_t>& unnamed, bool patient) {
    std::vector<AtSpi::Answer> answers = ask(naming, patient);
    std::vector<AtSpi::Question> values;
    std::vector<std::size_t> valued;
    for (std::size_t k = 0; k < unnamed.size(); ++k) {
      Visit& visit = visits[unnamed[k]];
      if (naming[k].description) {
        visit.sources.description = answers[k].description.value_or("");
        visit.interfaces = std::move(answers[k].interfaces).value_or(std::vector<std::string>{});
      }
      if (answers[k].attributes) visit.sources.attributes = std::move(*answers[k].attributes);
      // A field's typed text never names it, so it is not even read.
      const auto& typed = OutlineRules::typed();
      if (!visit.sources.description.empty() ||
          std::find(typed.begin(), typed.end(), visit.axRole) != typed.end()) {
        continue;
      }
      AtSpi::Question question{visit.ref};
      question.text = has(visit.interfaces, textInterface);
      question.number = !question.text && has(visit.interfaces, valueInterface);
      if (!question.text && !question.number) continue;
      values.push_back(std::move(question));
      valued.push_back(unnamed[k]);
    }
    answers = ask(values, patient);
    for (std::size_t k = 0; k < valued.size(); ++k) {
      visits[valued[k]].sources.text = std::move(answers[k].text);
      visits[valued[k]].sources.number = answers[k].number;
    }
  }

  Visit visitOf(const AtSpiRef& ref, const Visit* parent, bool inWindow) {
    Visit visit;
    visit.ref = ref;
    visit.inWindow = inWindow;
    if (parent != nullptr) {
      visit.parentRole = roleOf(*parent);
      visit.scrollArea = roleOf(*parent) == AtSpiRole::scrollPane ? std::optional(parent->ref)
                                                                  : parent->scrollArea;
    }
    return visit;
  }

  // The window the walk starts from (the active one; else the application's topmost on screen;
  // else its first showing one), the menu bar inside it, and the menus open from that bar or
  // floating on their own.
  std::vector<Visit> start(const AtSpiRef& app) {
    std::vector<Visit> top = {visitOf(app, nullptr, true)};
    describe(top, 0, 1, false);
    std::vector<Visit> children;
    for (const AtSpiRef& child : top[0].children.value_or(std::vector<AtSpiRef>{})) {
      children.push_back(visitOf(child, &top[0], true));
    }
    describe(children, 0, children.size(), true);
    std::vector<Visit> queue;
    if (auto window = chooseWindow(children)) {
      Visit& chosen = children[*window];
      chosen.parentRole = AtSpiRole::invalid;
      std::vector<AtSpi::Question> question = {AtSpi::Question{chosen.ref}};
      question[0].extents = true;
      windowFrame_ = frameOf(ask(question)[0].extents);
      window_ = chosen.ref;
      queue.push_back(chosen);
      menuBar_ = cachedMenuBar(chosen.ref);
      if (menuBar_) addOpenMenus(*menuBar_, queue);
    }
    for (Visit& child : children) {
      const AtSpiRole role = roleOf(child);
      if ((role == AtSpiRole::popupMenu || role == AtSpiRole::menu) && !hidden(child)) {
        child.inWindow = false;
        queue.push_back(std::move(child));
      }
    }
    return queue;
  }

  std::optional<std::size_t> chooseWindow(const std::vector<Visit>& children) {
    const auto showing = [&](std::size_t i) { return children[i].states && !hidden(children[i]); };
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (children[i].states && children[i].states->has(AtSpiState::active)) return i;
    }
    // An application in the back has no active window: its topmost one on screen stands in.
    for (const LinuxWindow& window : display_.windows()) {
      if (window.pid != pid_ || !window.onScreen || !window.title) continue;
      for (std::size_t i = 0; i < children.size(); ++i) {
        if (showing(i) && children[i].sources.name == *window.title) return i;
      }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (showing(i)) return i;
    }
    return std::nullopt;
  }

  // The first menu bar inside the window, from the cache (without one, the walk finds it).
  std::optional<AtSpiRef> cachedMenuBar(const AtSpiRef& window) const {
    if (!tree_) return std::nullopt;
    std::vector<AtSpiRef> level = {window};
    for (std::int64_t seen = 0; !level.empty() && seen < OutlineRules::nodeBudget;) {
      std::vector<AtSpiRef> next;
      for (const AtSpiRef& ref : level) {
        ++seen;
        const AtSpiCacheItem* item = tree_->item(ref);
        if (item == nullptr) continue;
        if (static_cast<AtSpiRole>(item->role) == AtSpiRole::menuBar) return ref;
        if (auto children = tree_->children(ref)) {
          next.insert(next.end(), children->begin(), children->end());
        }
      }
      level = std::move(next);
    }
    return std::nullopt;
  }

  // The menus open from the menu bar: the items of each selected bar item (a toolkit shows an
  // open menu's items as the bar item's children).
  void addOpenMenus(const AtSpiRef& menuBar, std::vector<Visit>& queue) {
    std::vector<Visit> bar = {visitOf(menuBar, nullptr, true)};
    bar[0].role = static_cast<std::uint32_t>(AtSpiRole::menuBar);
    describe(bar, 0, 1, false);
    std::vector<Visit> items;
    for (const AtSpiRef& item : bar[0].children.value_or(std::vector<AtSpiRef>{})) {
      items.push_back(visitOf(item, &bar[0], false));
    }
    describe(items, 0, items.size(), true);
    for (const Visit& item : items) {
      if (!item.states || !item.states->has(AtSpiState::selected)) continue;
      for (const AtSpiRef& child : item.children.value_or(std::vector<AtSpiRef>{})) {
        queue.push_back(visitOf(child, &item, false));
      }
    }
  }

  void visitAll(std::vector<Visit>& queue, std::vector<OutlineFound>& found) {
    std::size_t next = 0;
    while (next < queue.size() && next < static_cast<std::size_t>(OutlineRules::nodeBudget) &&
           !expired()) {
      const std::size_t to = std::min(
          {queue.size(), next + roundSize, static_cast<std::size_t>(OutlineRules::nodeBudget)});
      describe(queue, next, to, false);
      measure(queue, next, to);
      for (std::size_t i = next; i < to; ++i) take(queue, i, found);
      next = to;
    }
  }

  void take(std::vector<Visit>& queue, std::size_t index, std::vector<OutlineFound>& found) {
    if (secure(queue[index])) return;
    const AtSpiRole role = roleOf(queue[index]);
    if (role == AtSpiRole::menuBar && queue[index].inWindow &&
        (!menuBar_ || *menuBar_ == queue[index].ref)) {
      // Listed after the walk, first and once; its open menus join the queue now.
      if (!menuBar_) {
        menuBar_ = queue[index].ref;
        addOpenMenus(*menuBar_, queue);
      }
      return;
    }
    keepIfControl(queue[index], found);
    if (outsideWindow(queue[index])) return;
    // What the children need of their parent: the queue grows under references into it.
    Visit parent;
    parent.ref = queue[index].ref;
    parent.role = queue[index].role;
    parent.scrollArea = queue[index].scrollArea;
    parent.inWindow = queue[index].inWindow;
    const std::vector<AtSpiRef> children = queue[index].children.value_or(std::vector<AtSpiRef>{});
    for (const AtSpiRef& child : children)
      queue.push_back(visitOf(child, &parent, parent.inWindow));
  }

  void keepIfControl(const Visit& visit, std::vector<OutlineFound>& found) {
    if (!visit.candidate || hidden(visit)) return;
    const std::optional<ScreenRect> frame = frameOf(visit.extents);
    if (!frame || !OutlineRules::usable(*frame, windowFrame_)) return;
    std::string name = outlineName(visit.axRole, visit.sources);
    if (name.empty() && !OutlineRules::keepsUnnamed(visit.axRole)) return;
    const auto& grid = OutlineRules::grid();
    if (std::find(grid.begin(), grid.end(), visit.axRole) != grid.end()) ++gridFound_;
    found.push_back({visit.axRole, std::move(name), *frame, false, elementOf(visit)});
  }

  OutlineElement elementOf(const Visit& visit) const {
    return std::make_shared<LinuxOutlineElement>(visit.ref, visit.inWindow ? window_ : std::nullopt,
                                                 visit.scrollArea);
  }

  // The bar's items after the timed walk, whatever its budget: a short, fixed list.
  void listMenuBar(std::vector<OutlineFound>& found) {
    std::vector<Visit> bar = {visitOf(*menuBar_, nullptr, true)};
    bar[0].role = static_cast<std::uint32_t>(AtSpiRole::menuBar);
    describe(bar, 0, 1, false, true);
    std::vector<Visit> items;
    for (const AtSpiRef& item : bar[0].children.value_or(std::vector<AtSpiRef>{})) {
      items.push_back(visitOf(item, &bar[0], true));
    }
    describe(items, 0, items.size(), true, true);
    std::vector<AtSpi::Question> questions;
    for (const Visit& item : items) {
      AtSpi::Question question{item.ref};
      question.extents = true;
      questions.push_back(std::move(question));
    }
    std::vector<AtSpi::Answer> answers = ask(questions, true);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::optional<ScreenRect> frame = frameOf(answers[i].extents);
      if (!frame || !OutlineRules::usable(*frame, std::nullopt) || hidden(items[i])) continue;
      found.push_back({"AXMenuBarItem", outlineName("AXMenuBarItem", items[i].sources), *frame,
                       true, elementOf(items[i])});
    }
  }

  AtSpi& atspi_;
  LinuxDisplay& display_;
  CacheTimes& cacheTimes_;
  std::int64_t pid_;
  Ms budget_;
  SteadyClock::time_point deadline_;
  std::unique_ptr<AtSpiCachedTree> tree_;
  std::optional<AtSpiRef> window_;
  std::optional<ScreenRect> windowFrame_;
  std::optional<AtSpiRef> menuBar_;
  std::int64_t gridFound_ = 0;
  bool unresponsive_ = false;
};

}  // namespace

std::optional<Ms> CacheTimes::last(const std::string& bus) {
  std::lock_guard guard(lock_);
  const auto found = took_.find(bus);
  if (found == took_.end() || SteadyClock::now() - found->second.at > kept) return std::nullopt;
  return found->second.took;
}

void CacheTimes::record(const std::string& bus, Ms took) {
  std::lock_guard guard(lock_);
  if (took_.size() >= remembered && took_.count(bus) == 0) took_.clear();
  took_[bus] = Took{took, SteadyClock::now()};
}

std::optional<ScreenRect> frameOf(const std::optional<AtSpiRect>& extents) {
  constexpr std::int32_t nowhere = std::numeric_limits<std::int32_t>::min();
  if (!extents || extents->x == nowhere || extents->y == nowhere) return std::nullopt;
  return ScreenRect{static_cast<double>(extents->x), static_cast<double>(extents->y),
                    static_cast<double>(extents->width), static_cast<double>(extents->height)};
}

std::string numberText(double number) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
  return std::string(buffer, written.ptr);
}

std::string outlineName(std::string_view axRole, const LinuxNameSources& sources) {
  return OutlineRules::name(axRole, [&](std::string_view attribute) -> std::optional<std::string> {
    if (attribute == "AXTitle") return sources.name;
    if (attribute == "AXDescription") return sources.description;
    if (attribute == "AXPlaceholderValue") {
      const auto found = sources.attributes.find("placeholder-text");
      if (found == sources.attributes.end()) return std::nullopt;
      return found->second;
    }
    if (attribute == "AXValue") {
      if (sources.text) return sources.text;
      if (sources.number) return numberText(*sources.number);
    }
    return std::nullopt;
  });
}

OutlineWalk walkOutline(AtSpi& atspi, LinuxDisplay& display, CacheTimes& cacheTimes,
                        std::int64_t pid, Ms budget) {
  return Walk(atspi, display, cacheTimes, pid, budget).run();
}

}  // namespace halcy
