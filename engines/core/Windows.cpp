#include "Windows.hpp"

#include "Areas.hpp"

namespace halcy {

WindowsList WindowRules::list(const WindowsListRequest&, EngineHost&) {
  throw notBuiltYet();
}

}  // namespace halcy
