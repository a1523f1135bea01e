#pragma once

#include <functional>

namespace halcy {

// Seconds on a monotonic clock; every "at" on the wire is a reading of it.
using Clock = std::function<double()>;

double uptimeSeconds();

}  // namespace halcy
