#include "LinuxSecureInput.hpp"

#include <utility>

namespace halcy {

namespace {
// Asked on the X reader thread while keys arrive: a frozen application must not hold it long.
constexpr AtSpi::Timeout judgeTimeout = AtSpi::walkTimeout;
}  // namespace

LinuxSecureInput::LinuxSecureInput(std::shared_ptr<LinuxDisplay> display,
                                   std::shared_ptr<LinuxInput> input, std::shared_ptr<AtSpi> atspi)
    : display_(std::move(display)), input_(std::move(input)), atspi_(std::move(atspi)) {
  focusEvents_ =
      atspi_->subscribe({"object:state-changed:focused"}, [this](const AtSpiEvent& event) {
        std::lock_guard guard(lock_);
        if (event.detail1 != 0) {
          focused_ = event.source;
        } else if (focused_ == event.source) {
          focused_.reset();
        } else {
          return;
        }
        heard_ = true;
        ++change_;
      });
}

bool LinuxSecureInput::active() {
  return input_->keyboardGrabbedElsewhere() || passwordFocused();
}

// Before any focus event was heard, the focus is looked up in the active window's application.
std::optional<AtSpiRef> LinuxSecureInput::focusedNow() {
  auto pid = display_->activePid();
  if (!pid) return std::nullopt;
  return atspi_->focused(*pid, judgeTimeout);
}

bool LinuxSecureInput::passwordFocused() {
  std::optional<AtSpiRef> element;
  std::uint64_t change = 0;
  bool heard = false;
  {
    std::lock_guard guard(lock_);
    if (judged_ == change_) return password_;
    element = focused_;
    change = change_;
    heard = heard_;
  }
  if (!heard) element = focusedNow();
  bool password = false;
  if (element) {
    const AtSpi::ElementFacts facts = atspi_->elementFacts(*element, judgeTimeout);
    password = facts.role == static_cast<std::uint32_t>(AtSpiRole::passwordText) && facts.states &&
               facts.states->has(AtSpiState::focused);
  }
  std::lock_guard guard(lock_);
  if (change == change_) {
    judged_ = change;
    password_ = password;
  }
  return password;
}

}  // namespace halcy
