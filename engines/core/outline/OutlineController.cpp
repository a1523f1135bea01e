#include "OutlineController.hpp"

#include <algorithm>

#include "Text.hpp"

namespace halcy {

namespace {

EngineFailure noLongerHeld() {
  return EngineFailure(ErrorCode::unavailable, "That outline is no longer held.");
}

OutlineControl controlOf(std::int64_t ref, const OutlineFound& found) {
  return OutlineControl{
      ref, found.role,
      Graphemes::prefix(found.name, static_cast<std::size_t>(OutlineRules::nameMax)), found.frame};
}

// The walk's entries in outline order, at most `limit` of them.
std::vector<const OutlineFound*> ordered(const OutlineWalk& walk, std::int64_t limit) {
  std::vector<std::string> roles;
  std::vector<bool> menuBar;
  for (const OutlineFound& found : walk.found) {
    roles.push_back(found.role);
    menuBar.push_back(found.menuBar);
  }
  std::vector<const OutlineFound*> entries;
  for (const std::size_t position : OutlineRules::keep(roles, menuBar, limit)) {
    entries.push_back(&walk.found[position]);
  }
  return entries;
}

}  // namespace

std::vector<std::optional<ScreenRect>> OutlineHost::framesOf(const std::vector<Element>& elements) {
  std::vector<std::optional<ScreenRect>> answers;
  for (const Element& element : elements) answers.push_back(frame(element));
  return answers;
}

std::vector<std::optional<ElementFacts>> OutlineHost::factsOf(
    const std::vector<Element>& elements) {
  std::vector<std::optional<ElementFacts>> answers;
  for (const Element& element : elements) answers.push_back(facts(element));
  return answers;
}

std::vector<ElementClips> OutlineHost::clipsOf(const std::vector<Element>& elements) {
  std::vector<ElementClips> answers;
  for (const Element& element : elements) answers.push_back(clips(element));
  return answers;
}

OutlineController::OutlineController(std::unique_ptr<OutlineHost> host, LineOutput& output,
                                     Clock clock)
    : host_(std::move(host)), clock_(std::move(clock)), tables_(std::make_shared<Tables>(output)) {}

OutlineController::~OutlineController() = default;

FrontApp OutlineController::running(std::int64_t pid) {
  std::optional<FrontApp> app = host_->app(pid);
  if (!app) throw EngineFailure(ErrorCode::unavailable, "No running app has that pid.");
  return *app;
}

std::int64_t OutlineController::hold(std::int64_t pid, bool gated,
                                     std::vector<OutlineElement> elements) {
  std::lock_guard lock(tables_->lock);
  const std::int64_t id = tables_->nextId++;
  tables_->held.push_back(Held{id, pid, gated, std::move(elements)});
  while (tables_->held.size() > OutlineRules::outlinesKept) {
    tables_->held.erase(tables_->held.begin());
  }
  return id;
}

OutlineController::Held OutlineController::heldOutline(std::int64_t id) {
  std::lock_guard lock(tables_->lock);
  for (const Held& held : tables_->held) {
    if (held.id == id) return held;
  }
  throw noLongerHeld();
}

Outline OutlineController::read(const OutlineRead& request) {
  const FrontApp app = running(request.pid);
  Outline outline;
  outline.pid = request.pid;
  const auto& neverLook = request.neverLook;
  if (app.bundleId &&
      std::find(neverLook.begin(), neverLook.end(), *app.bundleId) != neverLook.end()) {
    outline.gated = true;
    outline.outline = hold(request.pid, true, {});
    return outline;
  }
  OutlineWalk walk;
  walk.refused = true;
  if (host_->trusted()) {
    walk = host_->walk(request.pid, static_cast<double>(request.budgetMs) / 1000.0);
  }
  if (walk.refused) {
    outline.refused = true;
    outline.outline = hold(request.pid, false, {});
    return outline;
  }
  std::vector<OutlineElement> elements;
  for (const OutlineFound* found : ordered(walk, OutlineRules::limit)) {
    outline.controls.push_back(controlOf(static_cast<std::int64_t>(elements.size()), *found));
    elements.push_back(found->element);
  }
  outline.window = walk.window;
  outline.outline = hold(request.pid, false, std::move(elements));
  return outline;
}

std::vector<std::optional<std::size_t>> OutlineController::indexes(
    const Held& held, const std::vector<std::int64_t>& refs) {
  std::vector<std::optional<std::size_t>> found;
  for (const std::int64_t ref : refs) {
    if (ref >= 0 && static_cast<std::size_t>(ref) < held.elements.size()) {
      found.emplace_back(static_cast<std::size_t>(ref));
    } else {
      found.emplace_back(std::nullopt);
    }
  }
  return found;
}

// Asks the host about the elements behind the refs in one go (each element once) and answers per
// ref.
template <class Answer>
std::vector<std::optional<Answer>> OutlineController::perRef(
    const OutlineFrames& request,
    const std::function<std::vector<Answer>(const std::vector<OutlineElement>&)>& ask) {
  const Held held = heldOutline(request.outline);
  const std::vector<std::optional<std::size_t>> refIndexes = indexes(held, request.refs);
  std::vector<std::size_t> distinct;
  for (const auto& index : refIndexes) {
    if (index) distinct.push_back(*index);
  }
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<OutlineElement> elements;
  for (const std::size_t index : distinct) elements.push_back(held.elements[index]);
  const std::vector<Answer> answers = elements.empty() ? std::vector<Answer>{} : ask(elements);
  std::vector<std::optional<Answer>> result;
  for (const auto& index : refIndexes) {
    if (!index) {
      result.emplace_back(std::nullopt);
      continue;
    }
    const auto at = std::lower_bound(distinct.begin(), distinct.end(), *index) - distinct.begin();
    result.emplace_back(answers.at(static_cast<std::size_t>(at)));
  }
  return result;
}

OutlineFramesRead OutlineController::frames(const OutlineFrames& request) {
  using Frame = std::optional<ScreenRect>;
  const auto asked = perRef<Frame>(request, [this](const std::vector<OutlineElement>& elements) {
    return host_->framesOf(elements);
  });
  OutlineFramesRead read;
  for (const auto& frame : asked)
    read.frames.push_back(OutlineRules::live(frame ? *frame : Frame{}));
  return read;
}

OutlineFramesRead OutlineController::visible(const OutlineFrames& request) {
  struct Seen {
    std::optional<ScreenRect> frame;
    ElementClips clips;
  };
  const auto asked = perRef<Seen>(request, [this](const std::vector<OutlineElement>& elements) {
    std::vector<std::optional<ScreenRect>> frames = host_->framesOf(elements);
    std::vector<ElementClips> clips = host_->clipsOf(elements);
    std::vector<Seen> seen;
    for (std::size_t i = 0; i < elements.size(); ++i) seen.push_back({frames[i], clips[i]});
    return seen;
  });
  OutlineFramesRead read;
  for (const auto& seen : asked) {
    read.frames.push_back(
        seen ? OutlineRules::visible(seen->frame, seen->clips.scrollArea, seen->clips.window)
             : std::nullopt);
  }
  return read;
}

OutlineStates OutlineController::state(const OutlineFrames& request) {
  using Facts = std::optional<ElementFacts>;
  const auto asked = perRef<Facts>(request, [this](const std::vector<OutlineElement>& elements) {
    return host_->factsOf(elements);
  });
  OutlineStates states;
  for (const auto& facts : asked) {
    if (!facts || !*facts) {
      states.states.emplace_back(std::nullopt);
      continue;
    }
    const ElementFacts& known = **facts;
    states.states.push_back(ControlState{OutlineRules::valueFact(known.value, known.secure),
                                         known.selected, known.expanded, known.enabled});
  }
  return states;
}

OutlineFoundControls OutlineController::find(const OutlineFind& request) {
  const Held held = heldOutline(request.outline);
  OutlineFoundControls answer;
  if (held.gated || !host_->trusted()) return answer;
  const OutlineWalk walk =
      host_->walk(held.pid, static_cast<double>(OutlineRules::timeBudgetMs) / 1000.0);
  if (walk.refused) return answer;
  std::vector<const OutlineFound*> taken;
  for (const OutlineFound* found : ordered(walk, static_cast<std::int64_t>(walk.found.size()))) {
    if (static_cast<std::int64_t>(taken.size()) >= request.limit) break;
    if (found->role == OutlineRules::secureRole) continue;
    if (request.role && found->role != *request.role) continue;
    if (!OutlineRules::matches(found->name, request.name)) continue;
    taken.push_back(found);
  }
  std::lock_guard lock(tables_->lock);
  const auto current = std::find_if(tables_->held.begin(), tables_->held.end(),
                                    [&](const Held& h) { return h.id == request.outline; });
  if (current == tables_->held.end()) throw noLongerHeld();
  std::vector<OutlineElement>& elements = current->elements;
  for (const OutlineFound* found : taken) {
    const auto same = std::find_if(elements.begin(), elements.end(), [&](const OutlineElement& e) {
      return host_->same(e, found->element);
    });
    const auto ref = same - elements.begin();
    if (same == elements.end()) elements.push_back(found->element);
    answer.controls.push_back(controlOf(ref, *found));
  }
  return answer;
}

OutlineWatching OutlineController::watch(const OutlineWatch& request) {
  std::lock_guard serial(watching_);
  if (!request.pid) {
    bool wasWatching = false;
    {
      std::lock_guard lock(tables_->lock);
      wasWatching = tables_->watched.has_value();
      tables_->watched.reset();
    }
    if (wasWatching) host_->stopObserving();
    return OutlineWatching{std::nullopt, clock_()};
  }
  const std::int64_t pid = *request.pid;
  running(pid);
  {
    std::lock_guard lock(tables_->lock);
    tables_->watched = pid;
  }
  host_->observe(pid, [tables = std::weak_ptr<Tables>(tables_), pid, clock = clock_](
                          const OutlineHeard& change) { heard(tables, pid, clock, change); });
  return OutlineWatching{pid, clock_()};
}

void OutlineController::heard(const std::weak_ptr<Tables>& weakTables, std::int64_t pid,
                              const Clock& clock, const OutlineHeard& change) {
  const std::optional<OutlineChangeKind> kind = OutlineRules::kind(change.notification);
  if (!kind) return;
  const std::shared_ptr<Tables> tables = weakTables.lock();
  if (!tables) return;
  OutlineChange notice{*kind, change.role.value_or(""),
                       OutlineRules::changeName(change.title, change.description), clock()};
  std::lock_guard lock(tables->lock);
  // A change of an application watched before the latest switch is dropped here.
  if (tables->watched != pid) return;
  tables->output.write(Frames::notice("outline.change", notice.toJson()));
}

void OutlineController::shutdown() {
  std::lock_guard serial(watching_);
  bool wasWatching = false;
  {
    std::lock_guard lock(tables_->lock);
    wasWatching = tables_->watched.has_value();
    tables_->watched.reset();
  }
  if (wasWatching) host_->stopObserving();
}

}  // namespace halcy
