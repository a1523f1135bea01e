#pragma once
// The screen area: window text, display and region pictures, structure reads. Every operation may
// throw an EngineFailure; `shutdown` never fails.

#include "Output.hpp"
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

}  // namespace halcy
