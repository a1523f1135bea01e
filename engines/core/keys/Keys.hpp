#pragma once
// The keys area: global keys, modifier state and the front application. Every operation may throw
// an EngineFailure; `shutdown` never fails.

#include "KeysProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class KeysArea {
 public:
  virtual ~KeysArea() = default;
  virtual KeysWatching watch(const KeysWatch& request) = 0;
  virtual KeysState state() = 0;
  virtual AppsFront front() = 0;
  virtual NoResult activate(const AppsActivate& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltKeys : public KeysArea {
 public:
  KeysWatching watch(const KeysWatch&) override { throw notBuiltYet(); }
  KeysState state() override { throw notBuiltYet(); }
  AppsFront front() override { throw notBuiltYet(); }
  NoResult activate(const AppsActivate&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

}  // namespace halcy
