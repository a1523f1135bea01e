#pragma once
// The outline area: the controls of a window, held, searched and watched. Every operation may throw
// an EngineFailure; `shutdown` never fails.

#include "OutlineProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class OutlineArea {
 public:
  virtual ~OutlineArea() = default;
  virtual Outline read(const OutlineRead& request) = 0;
  virtual OutlineFramesRead frames(const OutlineFrames& request) = 0;
  virtual OutlineStates state(const OutlineFrames& request) = 0;
  virtual OutlineFramesRead visible(const OutlineFrames& request) = 0;
  virtual OutlineFoundControls find(const OutlineFind& request) = 0;
  virtual OutlineWatching watch(const OutlineWatch& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltOutline : public OutlineArea {
 public:
  Outline read(const OutlineRead&) override { throw notBuiltYet(); }
  OutlineFramesRead frames(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineStates state(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineFramesRead visible(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineFoundControls find(const OutlineFind&) override { throw notBuiltYet(); }
  OutlineWatching watch(const OutlineWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

}  // namespace halcy
