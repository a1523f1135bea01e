#pragma once
// The ink area: pictures for marking and the composition of marks. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include "InkProtocol.hpp"
#include "Output.hpp"

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

}  // namespace halcy
