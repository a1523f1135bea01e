#pragma once
// What "apps.quit" may quit, and how.

#include "Desk.hpp"
#include "DeskProtocol.hpp"

namespace halcy::QuitRules {
AppsQuitResult quit(const AppsQuit& request, DeskArea& desk);
}
