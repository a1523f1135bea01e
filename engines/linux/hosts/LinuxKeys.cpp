#include "LinuxKeys.hpp"

#include <xcb/xcb.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "LinuxButtons.hpp"
#include "LinuxKeyCodes.hpp"

namespace halcy {

namespace {

// _NET_ACTIVE_WINDOW's source indication for a pager or taskbar: the window manager follows it
// without its focus-stealing prevention, as it follows the user.
constexpr std::uint32_t sourcePager = 2;

// Windows below the ordinary ones but above the desktop's own (kept below) still come forward.
constexpr std::int32_t lowestActivatedLayer = -1;

}  // namespace

std::optional<KeysEvent> KeysTranslator::translate(const LinuxInput::Event& event,
                                                   bool secureInput) {
  using Kind = LinuxInput::Event::Kind;
  if ((event.kind == Kind::keyDown || event.kind == Kind::keyUp) && event.modifier) {
    if (event.flags == flags_) return std::nullopt;
    flags_ = event.flags;
    return KeysEvent::flagsChanged(static_cast<std::int64_t>(event.flags), event.at);
  }
  if (event.kind == Kind::keyDown && !secureInput) {
    if (auto code = LinuxKeyCodes::virtualKeyCode(event.detail)) {
      return KeysEvent::keyPressed(*code, event.at);
    }
  }
  if (event.kind == Kind::buttonDown && !LinuxButtons::isWheel(event.detail)) {
    return KeysEvent::buttonPressed(event.at);
  }
  return std::nullopt;
}

LinuxKeys::LinuxKeys(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<LinuxInput> input,
                     std::shared_ptr<LinuxSecureInput> secure)
    : display_(std::move(display)),
      input_(std::move(input)),
      secure_(std::move(secure)),
      apps_(*display_) {}

LinuxKeys::~LinuxKeys() {
  input_->stop(LinuxInput::Slot::keys);
  input_->onActiveWindowChange({});
}

void LinuxKeys::startWatching(EventHandler handler) {
  // Events arrive one at a time on the connection's reader thread: the translator needs no lock.
  auto translator = std::make_shared<KeysTranslator>(input_->flagsNow());
  input_->listen(LinuxInput::Slot::keys, LinuxInput::keys | LinuxInput::buttons,
                 [this, translator, handler = std::move(handler)](const LinuxInput::Event& event) {
                   const bool secure =
                       KeysTranslator::needsSecureAnswer(event) && secure_->active();
                   if (auto fact = translator->translate(event, secure)) handler(*fact);
                 });
}

void LinuxKeys::stopWatching() {
  input_->stop(LinuxInput::Slot::keys);
}

std::int64_t LinuxKeys::flagsNow() {
  return static_cast<std::int64_t>(input_->flagsNow());
}

std::int64_t LinuxKeys::buttonsNow() {
  auto pointer = input_->pointer();
  return pointer ? static_cast<std::int64_t>(LinuxButtons::buttonsFromState(pointer->mask)) : 0;
}

std::optional<FrontApp> LinuxKeys::frontApp() {
  auto pid = display_->activePid();
  if (!pid) return std::nullopt;
  return apps_.app(*pid);
}

// Every window of the application is asked forward through the window manager, the backmost
// first, so that they all come up and the one that was its front window ends up active. An
// application without a window is left where it is: the answer is still that it runs.
bool LinuxKeys::activate(std::int64_t pid) {
  if (!apps_.app(pid)) return false;
  std::vector<LinuxWindow> windows = display_->windows();
  auto link = display_->connection()->link();
  const xcb_atom_t active = link ? link->atom("_NET_ACTIVE_WINDOW") : xcb_atom_t{XCB_ATOM_NONE};
  if (active == XCB_ATOM_NONE) return true;
  std::reverse(windows.begin(), windows.end());
  xcb_connection_t* c = link->get();
  for (const LinuxWindow& window : windows) {
    if (window.pid != pid || window.layer < lowestActivatedLayer) continue;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window.id;
    message.type = active;
    message.data.data32[0] = sourcePager;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, link->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  }
  xcb_flush(c);
  return true;
}

void LinuxKeys::observeFront(FrontHandler handler) {
  input_->onActiveWindowChange([this, handler = std::move(handler)] {
    if (auto app = frontApp()) handler(*app);
  });
}

}  // namespace halcy
