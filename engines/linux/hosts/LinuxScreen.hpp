#pragma once
// The screen host on an X11 desktop: window text and structure through AT-SPI, the window list and
// RandR monitors through the one X connection, pictures through MIT-SHM grabs with XComposite.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxApps.hpp"
#include "LinuxCapture.hpp"
#include "LinuxDisplay.hpp"
#include "Picture.hpp"
#include "Screen.hpp"

namespace halcy {

// What pictures of the screen, meeting snaps and ink captures share: the window list, the displays
// and full-resolution pictures with windows left out. Encode with PictureScale, Jpeg and
// ScreenRules::gray.
class LinuxScreenShots {
 public:
  explicit LinuxScreenShots(std::shared_ptr<LinuxDisplay> display);

  // Front to back; titles are _NET_WM_NAME, else WM_NAME; bounds include the frame.
  std::vector<WindowFact> windows();
  // RandR monitors; the primary one (else the first listed) is the main display.
  DisplayList displays();
  // The display as it is now; none when it went away.
  std::optional<DisplayFact> display(std::uint32_t id);
  // One pixel a point; windows `hides` answers true for are left out with their frames.
  std::optional<Picture> picture(const ScreenRect& rect, const HidesWindow& hides);
  LinuxApps& apps() { return apps_; }

 private:
  std::shared_ptr<LinuxDisplay> display_;
  LinuxApps apps_;
  LinuxCapture capture_;
};

class LinuxScreenHost final : public ScreenHost {
 public:
  LinuxScreenHost(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<AtSpi> atspi);

  bool trusted() override;
  bool captureAllowed() override;
  std::optional<FrontApp> app(std::int64_t pid) override;
  WindowText windowText(std::int64_t pid, std::int64_t maxChars) override;
  StructureFacts structure(std::int64_t pid) override;
  std::vector<WindowFact> windows() override;
  DisplayList displays() override;
  std::optional<HostPicture> capture(const DisplayFact& display, PixelSize size, double quality,
                                     const HidesWindow& hides) override;
  std::optional<HostRegion> captureRegion(const DisplayFact& display, const ScreenRect& rect,
                                          double quality, const HidesWindow& hides) override;

 private:
  std::optional<AtSpiRef> window(std::int64_t pid);

  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<AtSpi> atspi_;
  LinuxScreenShots shots_;
  std::atomic<bool> trusted_{false};
};

}  // namespace halcy
