#include "DeskRules.hpp"

namespace halcy {

AppsQuitResult QuitRules::quit(const AppsQuit&, DeskArea&) {
  throw notBuiltYet();
}

}  // namespace halcy
