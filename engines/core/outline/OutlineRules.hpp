#pragma once
// The pure rules of window outlines: which elements count as controls, how they are named and
// ordered, when a frame is usable or visible, how a value is told without its text, how a search
// matches names, and which platform notifications are which changes. The limits live beside the
// wire records (OutlineProtocol.hpp).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutlineProtocol.hpp"
#include "ScreenGeometry.hpp"

namespace halcy::OutlineRules {

// How far outside the window a frame may still start and count as inside it.
inline constexpr double windowMargin = 2;

// Roles a user acts on; they stay in an outline even without a name.
const std::vector<std::string_view>& actionable();
// Roles kept only when they have a name.
const std::vector<std::string_view>& named();
// Roles whose value is typed text, never their name.
const std::vector<std::string_view>& typed();
// Table cells and rows: only the first `gridLimit` of them stay in an outline.
const std::vector<std::string_view>& grid();

struct NotificationKind {
  std::string_view notification;
  OutlineChangeKind kind;
};
// Platform notification names and the change each stands for, first match wins.
const std::vector<NotificationKind>& notifications();

bool considers(std::string_view role);
bool keepsUnnamed(std::string_view role);

// The attributes a name is read from, in order.
const std::vector<std::string_view>& nameAttributes(std::string_view role);

// A frame shaped like a control that meets the window, when there is one.
bool usable(const ScreenRect& frame, const std::optional<ScreenRect>& window);
// The frame overlaps the window grown by the margin on every side.
bool meetsWindow(const ScreenRect& frame, const ScreenRect& window);

// The first attribute of nameAttributes(role) that reads as text once trimmed, cut to nameMax
// user-perceived characters; empty when none does. `read` answers none for an absent attribute.
using AttributeReader = std::function<std::optional<std::string>(std::string_view attribute)>;
std::string name(std::string_view role, const AttributeReader& read);

// Positions of the candidates to keep, in outline order: menu-bar items, then actionable roles,
// then the rest, each group in walk order, past the first gridLimit cells and rows; at most
// `limit`. A missing menu-bar flag counts as not set.
std::vector<std::size_t> keep(const std::vector<std::string>& roles,
                              const std::vector<bool>& menuBar, std::int64_t limit);

// The frame while it has an area.
std::optional<ScreenRect> live(const std::optional<ScreenRect>& frame);
// The part of a live frame inside its scroll area and its window; none when nothing of it is.
std::optional<ScreenRect> visible(const std::optional<ScreenRect>& frame,
                                  const std::optional<ScreenRect>& scrollArea,
                                  const std::optional<ScreenRect>& window);

// A value's length and digest; none for no value or a secure one.
std::optional<ControlValue> valueFact(const std::optional<std::string>& value, bool secure);

// The query occurs in the name, ignoring letter case and diacritics.
bool matches(std::string_view name, std::string_view query);

std::optional<OutlineChangeKind> kind(std::string_view notification);

// What a change notice names: the title, else the description, else nothing.
std::string changeName(const std::optional<std::string>& title,
                       const std::optional<std::string>& description);

}  // namespace halcy::OutlineRules
