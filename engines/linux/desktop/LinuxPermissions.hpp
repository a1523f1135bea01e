#pragma once
// Linux has no per-application privacy prompts on X11: a permission is "granted" when its facility
// is reachable and usable, and "denied" when it is not.

#include "XConnection.hpp"

namespace halcy::LinuxPermissions {

bool displayReachable(XConnection& connection);
bool accessibilityBusReachable();
bool accessibilityEnabled();
bool setAccessibilityEnabled();
// Applications can be read: the bus answers and accessibility is switched on for the session.
bool accessibilityUsable();

}  // namespace halcy::LinuxPermissions
