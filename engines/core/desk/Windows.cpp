#include "Windows.hpp"

#include "Output.hpp"

namespace halcy {

WindowsList WindowRules::list(const WindowsListRequest&, WindowSource&) {
  throw notBuiltYet();
}

}  // namespace halcy
