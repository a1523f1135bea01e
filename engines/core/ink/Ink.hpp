#pragma once
// The ink area: pictures for marking and the composition of marks. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "DesktopFacts.hpp"
#include "InkComposer.hpp"
#include "InkProtocol.hpp"
#include "Output.hpp"
#include "Picture.hpp"

namespace halcy {

class InkArea {
 public:
  virtual ~InkArea() = default;
  virtual InkCaptured capture(const InkCapture& request, bool meetingRunning) = 0;
  virtual InkComposed compose(const InkCompose& request) = 0;
  virtual NoResult release(const InkRelease& request) = 0;
};

class UnbuiltInk : public InkArea {
 public:
  InkCaptured capture(const InkCapture&, bool) override { throw notBuiltYet(); }
  InkComposed compose(const InkCompose&) override { throw notBuiltYet(); }
  NoResult release(const InkRelease&) override { throw notBuiltYet(); }
};

// Everything ink needs of the desktop. No operation throws: a failure is an empty answer.
class InkHost {
 public:
  virtual ~InkHost() = default;
  // Never prompts.
  virtual bool captureAllowed() = 0;
  virtual DisplayList displays() = 0;
  // The whole display at its full pixel resolution, without the windows `hides` leaves out (an
  // empty function leaves out none), no pointer.
  virtual std::optional<Picture> capture(const DisplayFact& display, const HidesWindow& hides) = 0;
  // The lines of text in the picture, boxes normalised with the origin at the bottom-left; none
  // when recognition fails.
  virtual std::vector<InkWords> readText(const Picture& picture) = 0;
};

class InkController final : public InkArea {
 public:
  explicit InkController(std::unique_ptr<InkHost> host,
                         double deadline = InkLimits::captureDeadline);

  InkCaptured capture(const InkCapture& request, bool meetingRunning) override;
  InkComposed compose(const InkCompose& request) override;
  NoResult release(const InkRelease& request) override;

  // The handles held, oldest first.
  std::vector<std::int64_t> held() const;

 private:
  std::int64_t hold(InkComposer::Held held);
  std::map<std::int64_t, InkComposer::Held> snapshot() const;

  // Shared with captures that outlive their deadline: an abandoned capture still holds the host.
  std::shared_ptr<InkHost> host_;
  double deadline_;
  mutable std::mutex lock_;
  std::vector<std::pair<std::int64_t, InkComposer::Held>> captures_;
  std::int64_t nextId_ = 1;
};

}  // namespace halcy
