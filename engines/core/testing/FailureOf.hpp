#pragma once
// The EngineFailure a call throws, so tests compare failures as values.

#include <gtest/gtest.h>

#include "Output.hpp"

namespace halcy {

template <class Call>
EngineFailure failureOf(Call call) {
  try {
    call();
  } catch (const EngineFailure& failure) {
    return failure;
  }
  ADD_FAILURE() << "the call did not fail";
  return EngineFailure(ErrorCode::failed, "");
}

}  // namespace halcy
