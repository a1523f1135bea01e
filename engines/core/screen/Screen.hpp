#pragma once
// The screen area: window text, display and region pictures, structure reads. Every operation may
// throw an EngineFailure.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DesktopFacts.hpp"
#include "FrontApp.hpp"
#include "Output.hpp"
#include "ScreenLimits.hpp"
#include "ScreenProtocol.hpp"
#include "StructureRead.hpp"

namespace halcy {

class ScreenArea {
 public:
  virtual ~ScreenArea() = default;
  virtual ScreenText read(const ScreenRead& request) = 0;
  virtual ScreenCaptured capture(const ScreenCapture& request, bool meetingRunning) = 0;
  virtual ScreenRegionCaptured region(const ScreenRegion& request, bool meetingRunning) = 0;
  virtual StructureFacts structure(const StructureRead& request) = 0;
};

class UnbuiltScreen : public ScreenArea {
 public:
  ScreenText read(const ScreenRead&) override { throw notBuiltYet(); }
  ScreenCaptured capture(const ScreenCapture&, bool) override { throw notBuiltYet(); }
  ScreenRegionCaptured region(const ScreenRegion&, bool) override { throw notBuiltYet(); }
  StructureFacts structure(const StructureRead&) override { throw notBuiltYet(); }
};

struct HostPicture {
  std::string jpeg;  // Base64
  std::int64_t width = 0;
  std::int64_t height = 0;
};

struct HostRegion {
  std::string jpeg;  // Base64
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::vector<std::uint8_t> gray;  // ScreenRules::gray of the picture
};

struct WindowText {
  std::optional<std::string> title;
  std::string text;
};

// Everything the screen area needs of the desktop. No operation throws: a failure is an empty
// answer, which the controller turns into its own message.
class ScreenHost {
 public:
  virtual ~ScreenHost() = default;
  virtual bool trusted() = 0;
  // Never prompts.
  virtual bool captureAllowed() = 0;
  virtual std::optional<FrontApp> app(std::int64_t pid) = 0;
  // At most maxChars characters, read with ScreenWalk.
  virtual WindowText windowText(std::int64_t pid, std::int64_t maxChars) = 0;
  virtual StructureFacts structure(std::int64_t) { return StructureFacts::none(); }
  // Front to back.
  virtual std::vector<WindowFact> windows() = 0;
  virtual DisplayList displays() = 0;
  // The whole display at exactly `size`, without the windows `hides` leaves out (an empty
  // function leaves out none), no pointer.
  virtual std::optional<HostPicture> capture(const DisplayFact& display, PixelSize size,
                                             double quality, const HidesWindow& hides) = 0;
  // `rect` (inside the display) at the display's own density, with the same exclusion.
  virtual std::optional<HostRegion> captureRegion(const DisplayFact& display,
                                                  const ScreenRect& rect, double quality,
                                                  const HidesWindow& hides) = 0;
};

class ScreenController final : public ScreenArea {
 public:
  explicit ScreenController(std::unique_ptr<ScreenHost> host,
                            double deadline = ScreenLimits::captureDeadline);

  ScreenText read(const ScreenRead& request) override;
  ScreenCaptured capture(const ScreenCapture& request, bool meetingRunning) override;
  ScreenRegionCaptured region(const ScreenRegion& request, bool meetingRunning) override;
  StructureFacts structure(const StructureRead& request) override;

 private:
  // Shared with captures that outlive their deadline: an abandoned capture still holds the host.
  std::shared_ptr<ScreenHost> host_;
  double deadline_;
};

}  // namespace halcy
