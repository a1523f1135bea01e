#pragma once
// The volume area: the output volume and its changes. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include "Output.hpp"
#include "VolumeProtocol.hpp"

namespace halcy {

class VolumeArea {
 public:
  virtual ~VolumeArea() = default;
  virtual OutputVolume watch(const VolumeWatch& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltVolume : public VolumeArea {
 public:
  OutputVolume watch(const VolumeWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

}  // namespace halcy
