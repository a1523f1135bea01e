#pragma once
// The dictation records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct DictationStarted {
  Json toJson() const;
};

struct DictationStopped {
  Json toJson() const;
};

}  // namespace halcy
