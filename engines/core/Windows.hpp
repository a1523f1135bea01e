#pragma once
// Window titles of running applications, through the engine host.

#include "Protocol.hpp"
#include "WindowsProtocol.hpp"

namespace halcy::WindowRules {
WindowsList list(const WindowsListRequest& request, EngineHost& host);
}
