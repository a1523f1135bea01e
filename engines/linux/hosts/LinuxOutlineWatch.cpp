#include "LinuxOutlineWatch.hpp"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

#include "LinuxNotifications.hpp"
#include "LinuxRoles.hpp"

namespace halcy {

namespace {

// A flood beyond this many unread events is dropped rather than held without bound.
constexpr std::size_t inboxMost = 8192;
// How often an idle worker checks that the accessibility bus and the display are still there,
// connecting again (and registering again) after either came back.
constexpr std::chrono::seconds reconnectEvery{2};

bool isWindow(AtSpiRole role) {
  return LinuxRoles::axRole(role).role == "AXWindow";
}

// What an event's element says of itself.
struct Told {
  std::optional<std::uint32_t> role;
  AtSpiStates states;
  std::optional<std::string> name;
  std::optional<std::string> description;
  AtSpiRole parentRole = AtSpiRole::invalid;
};

}  // namespace

std::optional<std::string_view> LinuxOutlineWatch::notificationOf(const AtSpiEvent& event,
                                                                  AtSpiRole role,
                                                                  AtSpiStates states) {
  const std::optional<std::string_view> name =
      LinuxNotifications::notificationName(event, role, states);
  if (!name) return std::nullopt;
  if (*name == "AXMoved" || *name == "AXMenuOpened" || *name == "AXMenuClosed") return std::nullopt;
  if (*name == "AXResized" && isWindow(role)) return std::nullopt;
  return name;
}

std::vector<std::string> LinuxOutlineWatch::eventTypes() {
  std::vector<std::string_view> wanted;
  for (const auto& row : OutlineRules::notifications()) {
    if (row.notification != "AXMoved" && row.notification != "AXMenuOpened" &&
        row.notification != "AXMenuClosed") {
      wanted.push_back(row.notification);
    }
  }
  return LinuxNotifications::eventsFor(wanted);
}

std::vector<OutlineHeard> LinuxOutlineWatch::heardOf(const LinuxOutlineWindows::Event& event,
                                                     Known& known) {
  using Kind = LinuxOutlineWindows::Event::Kind;
  std::vector<OutlineHeard> heard;
  const LinuxOutlineWindows::Owner& owner = known.owner;
  const bool menu = known.ours && owner.menu;
  if (event.kind == Kind::mapped && menu) heard.push_back({"AXMenuOpened", "AXMenu", {}, {}});
  if (event.kind == Kind::unmapped && menu) heard.push_back({"AXMenuClosed", "AXMenu", {}, {}});
  if (event.kind != Kind::configured) return heard;
  const XRect before = owner.bounds;
  known.owner.bounds = event.bounds;
  // A popup is placed by its application and follows its menu: only windows move and resize.
  if (!known.ours || owner.popup || owner.menu) return heard;
  if (before.x != event.bounds.x || before.y != event.bounds.y) {
    heard.push_back({"AXMoved", "AXWindow", owner.title, {}});
  }
  if (before.width != event.bounds.width || before.height != event.bounds.height) {
    heard.push_back({"AXResized", "AXWindow", owner.title, {}});
  }
  return heard;
}

LinuxOutlineWatch::LinuxOutlineWatch(std::shared_ptr<AtSpi> atspi,
                                     std::shared_ptr<LinuxDisplay> display, std::int64_t pid,
                                     OutlineHost::Sink sink)
    : atspi_(std::move(atspi)),
      pid_(pid),
      sink_(std::move(sink)),
      inbox_(std::make_shared<Inbox>()) {
  const auto post = [weak = std::weak_ptr<Inbox>(inbox_)](Item item) {
    const auto inbox = weak.lock();
    if (!inbox) return;
    std::lock_guard guard(inbox->lock);
    if (inbox->items.size() >= inboxMost) return;
    inbox->items.push_back(std::move(item));
    inbox->wake.notify_one();
  };
  windows_ = std::make_unique<LinuxOutlineWindows>(
      std::move(display), [post](const LinuxOutlineWindows::Event& event) { post(event); });
  // Knows the windows before their first move, so that it can tell that they moved.
  seedWindows();
  // Registered before the watch is answered: what the application does next is heard.
  events_ = atspi_->subscribe(eventTypes(), [post](const AtSpiEvent& event) { post(event); });
  worker_ = std::thread([this] { run(); });
}

LinuxOutlineWatch::~LinuxOutlineWatch() {
  events_ = Subscription();
  {
    std::lock_guard guard(inbox_->lock);
    inbox_->stopping = true;
  }
  inbox_->wake.notify_one();
  worker_.join();
  // After the worker, which asks the display about windows until it ends.
  windows_.reset();
}

void LinuxOutlineWatch::seedWindows() {
  for (const xcb_window_t window : windows_->topLevels()) {
    if (auto owner = windows_->owner(window)) known_[window] = Known{owner->pid == pid_, *owner};
  }
}

void LinuxOutlineWatch::run() {
  for (;;) {
    std::vector<Item> items;
    {
      std::unique_lock guard(inbox_->lock);
      const bool woken = inbox_->wake.wait_for(
          guard, reconnectEvery, [&] { return inbox_->stopping || !inbox_->items.empty(); });
      if (inbox_->stopping) return;
      if (!woken) {
        guard.unlock();
        atspi_->connected(AtSpi::walkTimeout);
        windows_->keepConnected();
        continue;
      }
      items.assign(std::make_move_iterator(inbox_->items.begin()),
                   std::make_move_iterator(inbox_->items.end()));
      inbox_->items.clear();
    }
    hear(items);
  }
}

bool LinuxOutlineWatch::fromWatched(const AtSpiRef& source) {
  return !source.empty() && atspi_->pid(source, AtSpi::walkTimeout) == pid_;
}

std::vector<OutlineHeard> LinuxOutlineWatch::heardOfWindow(
    const LinuxOutlineWindows::Event& event) {
  using Kind = LinuxOutlineWindows::Event::Kind;
  if (event.kind == Kind::connected) {
    known_.clear();
    seedWindows();
    return {};
  }
  if (event.kind == Kind::destroyed) {
    known_.erase(event.window);
    return {};
  }
  auto known = known_.find(event.window);
  // A window seen for the first time, or mapped again (a popup may serve another menu now).
  if (known == known_.end() || event.kind == Kind::mapped) {
    const std::optional<LinuxOutlineWindows::Owner> owner = windows_->owner(event.window);
    if (!owner) return {};
    Known fresh{owner->pid == pid_, *owner};
    if (known != known_.end() && event.kind == Kind::mapped) {
      fresh.owner.bounds = known->second.owner.bounds;
    }
    known = known_.insert_or_assign(event.window, fresh).first;
  }
  return heardOf(event, known->second);
}

void LinuxOutlineWatch::hear(std::vector<Item>& items) {
  // The watched application's events, and one round asking their elements about themselves.
  std::vector<bool> ours(items.size(), false);
  std::map<AtSpiRef, std::size_t> sourceIndex;
  std::vector<AtSpi::Question> questions;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto* event = std::get_if<AtSpiEvent>(&items[i]);
    if (event == nullptr || !fromWatched(event->source)) continue;
    ours[i] = true;
    if (sourceIndex.emplace(event->source, questions.size()).second) {
      AtSpi::Question question{event->source};
      question.role = question.name = question.description = true;
      question.states = question.parent = true;
      questions.push_back(std::move(question));
    }
  }
  std::vector<AtSpi::Answer> answers = atspi_->ask(questions, AtSpi::walkTimeout);
  std::vector<Told> told(answers.size());
  // Only a menu's role depends on its parent's.
  std::vector<AtSpi::Question> parents;
  std::vector<std::size_t> parentOf;
  for (std::size_t k = 0; k < answers.size(); ++k) {
    told[k] = Told{answers[k].role, answers[k].states.value_or(AtSpiStates{}), answers[k].name,
                   answers[k].description};
    if (answers[k].role == static_cast<std::uint32_t>(AtSpiRole::menu) && answers[k].parent) {
      AtSpi::Question question{*answers[k].parent};
      question.role = true;
      parents.push_back(std::move(question));
      parentOf.push_back(k);
    }
  }
  const std::vector<AtSpi::Answer> parentAnswers = atspi_->ask(parents, AtSpi::walkTimeout);
  for (std::size_t p = 0; p < parentAnswers.size(); ++p) {
    told[parentOf[p]].parentRole = static_cast<AtSpiRole>(parentAnswers[p].role.value_or(0));
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (const auto* window = std::get_if<LinuxOutlineWindows::Event>(&items[i])) {
      for (const OutlineHeard& heard : heardOfWindow(*window)) sink_(heard);
      continue;
    }
    if (!ours[i]) continue;
    const AtSpiEvent& event = std::get<AtSpiEvent>(items[i]);
    const Told& about = told[sourceIndex.at(event.source)];
    const auto role = static_cast<AtSpiRole>(about.role.value_or(0));
    const std::optional<std::string_view> notification = notificationOf(event, role, about.states);
    if (!notification) continue;
    OutlineHeard heard{std::string(*notification), std::nullopt, about.name, about.description};
    if (about.role) {
      heard.role = std::string(
          LinuxRoles::axRole(role, LinuxRoles::RoleContext{about.states, about.parentRole}).role);
    }
    sink_(heard);
  }
}

}  // namespace halcy
