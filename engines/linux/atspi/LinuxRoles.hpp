#pragma once
// AT-SPI roles in the caller's role vocabulary ("AXTextField", "AXButton"...).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "AtSpiTypes.hpp"

namespace halcy::LinuxRoles {

struct AxRole {
  std::string_view role;
  std::string_view subrole;  // empty when the role has none
  bool operator==(const AxRole&) const = default;
};

// What decides a role beyond the AT-SPI role itself.
struct RoleContext {
  AtSpiStates states;                         // MULTI_LINE tells a text area from a field
  AtSpiRole parentRole = AtSpiRole::invalid;  // a menu in a menu bar is a menu-bar item
  bool searchField = false;                   // from the element's attributes, see isSearchField
};

// The context of an element from its states and attributes.
RoleContext contextOf(AtSpiStates states, const std::map<std::string, std::string>& attributes,
                      AtSpiRole parentRole = AtSpiRole::invalid);

AxRole axRole(AtSpiRole role, const RoleContext& context = {});
AxRole axRole(std::uint32_t role, const RoleContext& context = {});

// Web engines mark search inputs with attributes rather than a role of their own.
bool isSearchField(std::string_view textInputType, std::string_view xmlRoles);

}  // namespace halcy::LinuxRoles
