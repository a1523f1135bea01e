#pragma once
// Pictures of the X screen with some windows left out. A grab copies the screen through MIT-SHM.
// Windows to leave out are removed with their window-manager frames: where they were, what lies
// beneath them is painted again from the windows' own contents (XComposite keeps every top-level
// window's contents off screen: the root's children are redirected once on every connection the
// adapter makes) over the root's background. The pixels of a left-out window are never read; its
// place is painted black first, so whatever fails later, nothing of it is in the picture.

#include <functional>
#include <memory>
#include <optional>

#include "LinuxDisplay.hpp"
#include "Picture.hpp"
#include "Subscription.hpp"

namespace halcy {

class LinuxCapture {
 public:
  // The adapter's one X connection, as `display` holds it.
  explicit LinuxCapture(std::shared_ptr<LinuxDisplay> display);
  ~LinuxCapture();
  LinuxCapture(const LinuxCapture&) = delete;
  LinuxCapture& operator=(const LinuxCapture&) = delete;

  // Whether a window is left out; asked once per window on screen. An empty one leaves out none.
  using Hidden = std::function<bool(const LinuxWindow& window)>;

  // `area` in root pixels, as the screen shows it without the hidden windows, at one pixel a
  // point; none without a display, or when the area is not on the screen.
  std::optional<Picture> grab(const XRect& area, const Hidden& hidden);

  struct State;

 private:
  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<State> state_;
  Subscription redirect_;
};

}  // namespace halcy
