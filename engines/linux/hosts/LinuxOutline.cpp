#include "LinuxOutline.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "LinuxPermissions.hpp"

namespace halcy {

namespace {

constexpr AtSpi::Timeout queryTimeout = AtSpi::walkTimeout;
constexpr std::string_view textInterface = "org.a11y.atspi.Text";
constexpr std::string_view valueInterface = "org.a11y.atspi.Value";

const LinuxOutlineElement& held(const OutlineHost::Element& element) {
  return static_cast<const LinuxOutlineElement&>(*element);
}

bool has(const std::optional<std::vector<std::string>>& names, std::string_view name) {
  return names && std::find(names->begin(), names->end(), name) != names->end();
}

bool checkable(AtSpiRole role) {
  return role == AtSpiRole::checkBox || role == AtSpiRole::radioButton ||
         role == AtSpiRole::toggleButton || role == AtSpiRole::checkMenuItem ||
         role == AtSpiRole::radioMenuItem;
}

// The extents of several elements in one round, each asked once.
std::map<AtSpiRef, std::optional<AtSpiRect>> extentsOf(AtSpi& atspi, std::vector<AtSpiRef> refs) {
  std::sort(refs.begin(), refs.end());
  refs.erase(std::unique(refs.begin(), refs.end()), refs.end());
  std::vector<AtSpi::Question> questions;
  for (const AtSpiRef& ref : refs) {
    AtSpi::Question question{ref};
    question.extents = true;
    questions.push_back(std::move(question));
  }
  const std::vector<AtSpi::Answer> answers = atspi.ask(questions, queryTimeout);
  std::map<AtSpiRef, std::optional<AtSpiRect>> extents;
  for (std::size_t i = 0; i < refs.size(); ++i) extents.emplace(refs[i], answers[i].extents);
  return extents;
}

}  // namespace

LinuxOutlineHost::LinuxOutlineHost(std::shared_ptr<LinuxDisplay> display,
                                   std::shared_ptr<AtSpi> atspi)
    : display_(std::move(display)), atspi_(std::move(atspi)), apps_(*display_) {}

LinuxOutlineHost::~LinuxOutlineHost() {
  stopObserving();
}

bool LinuxOutlineHost::trusted() {
  // Once usable, accessibility stays so for the session; asking again costs two bus connections.
  if (!trusted_) trusted_ = LinuxPermissions::accessibilityUsable();
  return trusted_;
}

std::optional<FrontApp> LinuxOutlineHost::app(std::int64_t pid) {
  return apps_.app(pid);
}

OutlineWalk LinuxOutlineHost::walk(std::int64_t pid, double budgetSeconds) {
  const auto budget = std::chrono::milliseconds(std::lround(budgetSeconds * 1000.0));
  return walkOutline(*atspi_, *display_, cacheTimes_, pid, budget);
}

std::optional<ScreenRect> LinuxOutlineHost::frame(const Element& element) {
  return framesOf({element}).front();
}

std::optional<ElementFacts> LinuxOutlineHost::facts(const Element& element) {
  return factsOf(std::vector<Element>{element}).front();
}

ElementClips LinuxOutlineHost::clips(const Element& element) {
  return clipsOf({element}).front();
}

bool LinuxOutlineHost::same(const Element& a, const Element& b) {
  return held(a).ref == held(b).ref;
}

std::vector<std::optional<ScreenRect>> LinuxOutlineHost::framesOf(
    const std::vector<Element>& elements) {
  std::vector<AtSpiRef> refs;
  for (const Element& element : elements) refs.push_back(held(element).ref);
  const auto extents = extentsOf(*atspi_, refs);
  std::vector<std::optional<ScreenRect>> frames;
  for (const AtSpiRef& ref : refs) frames.push_back(frameOf(extents.at(ref)));
  return frames;
}

std::vector<ElementClips> LinuxOutlineHost::clipsOf(const std::vector<Element>& elements) {
  std::vector<AtSpiRef> refs;
  for (const Element& element : elements) {
    if (held(element).window) refs.push_back(*held(element).window);
    if (held(element).scrollArea) refs.push_back(*held(element).scrollArea);
  }
  const auto extents = extentsOf(*atspi_, refs);
  std::vector<ElementClips> clips;
  for (const Element& element : elements) {
    const auto frame = [&](const std::optional<AtSpiRef>& ref) -> std::optional<ScreenRect> {
      return ref ? frameOf(extents.at(*ref)) : std::nullopt;
    };
    clips.push_back(ElementClips{frame(held(element).scrollArea), frame(held(element).window)});
  }
  return clips;
}

ElementFacts LinuxOutlineHost::factsFrom(AtSpiRole role, AtSpiStates states,
                                         std::optional<std::string> value) {
  ElementFacts facts;
  facts.secure = role == AtSpiRole::passwordText;
  if (checkable(role)) value.emplace(1, states.has(AtSpiState::checked) ? '1' : '0');
  if (!facts.secure) facts.value = std::move(value);
  // A state the element cannot take is not told at all, as elsewhere such an attribute is absent.
  if (states.has(AtSpiState::selectable)) facts.selected = states.has(AtSpiState::selected);
  if (states.has(AtSpiState::expandable)) facts.expanded = states.has(AtSpiState::expanded);
  facts.enabled = states.has(AtSpiState::enabled);
  return facts;
}

// Two rounds: how each element may be read, then the values of those that are not secret.
std::vector<std::optional<ElementFacts>> LinuxOutlineHost::factsOf(
    const std::vector<Element>& elements) {
  std::vector<AtSpi::Question> first;
  for (const Element& element : elements) {
    AtSpi::Question question{held(element).ref};
    question.role = question.states = question.interfaces = true;
    first.push_back(std::move(question));
  }
  const std::vector<AtSpi::Answer> kinds = atspi_->ask(first, queryTimeout);
  std::vector<AtSpi::Question> second;
  std::vector<std::size_t> valued;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const auto role = static_cast<AtSpiRole>(kinds[i].role.value_or(0));
    if (!kinds[i].role || role == AtSpiRole::passwordText || checkable(role)) continue;
    AtSpi::Question question{held(elements[i]).ref};
    question.text = has(kinds[i].interfaces, textInterface);
    question.number = !question.text && has(kinds[i].interfaces, valueInterface);
    if (!question.text && !question.number) continue;
    second.push_back(std::move(question));
    valued.push_back(i);
  }
  const std::vector<AtSpi::Answer> values = atspi_->ask(second, queryTimeout);
  std::vector<std::optional<std::string>> value(elements.size());
  for (std::size_t k = 0; k < valued.size(); ++k) {
    if (values[k].text) value[valued[k]] = values[k].text;
    if (values[k].number) value[valued[k]] = numberText(*values[k].number);
  }
  std::vector<std::optional<ElementFacts>> facts;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    // An element that no longer answers is gone.
    if (!kinds[i].role || !kinds[i].states) {
      facts.emplace_back(std::nullopt);
      continue;
    }
    facts.push_back(factsFrom(static_cast<AtSpiRole>(*kinds[i].role), *kinds[i].states, value[i]));
  }
  return facts;
}

void LinuxOutlineHost::observe(std::int64_t pid, Sink sink) {
  std::lock_guard guard(watchLock_);
  // The earlier watch ends first: notices of the application no longer watched stop before any
  // of the new one.
  watch_.reset();
  if (pid < 1 || pid > std::numeric_limits<std::int32_t>::max()) return;
  watch_ = std::make_unique<LinuxOutlineWatch>(atspi_, display_, pid, std::move(sink));
}

void LinuxOutlineHost::stopObserving() {
  std::lock_guard guard(watchLock_);
  watch_.reset();
}

}  // namespace halcy
