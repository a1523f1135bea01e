#pragma once
// The pointer area: what lies under the pointer, and raw input watching. Every operation may throw
// an EngineFailure; `shutdown` never fails.

#include "Output.hpp"
#include "PointerProtocol.hpp"

namespace halcy {

class PointerArea {
 public:
  virtual ~PointerArea() = default;
  virtual PointerState read() = 0;
  virtual PointerElement element(const PointerElementRequest& request) = 0;
  virtual InputWatching watch(const InputWatch& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltPointer : public PointerArea {
 public:
  PointerState read() override { throw notBuiltYet(); }
  PointerElement element(const PointerElementRequest&) override { throw notBuiltYet(); }
  InputWatching watch(const InputWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

}  // namespace halcy
