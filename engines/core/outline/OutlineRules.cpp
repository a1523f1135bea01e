#include "OutlineRules.hpp"

#include <openssl/evp.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "Text.hpp"

namespace halcy::OutlineRules {

namespace {

constexpr std::size_t digestBytes = 8;

bool listed(const std::vector<std::string_view>& roles, std::string_view role) {
  return std::find(roles.begin(), roles.end(), role) != roles.end();
}

// Case and diacritics folded away: decomposed, combining marks dropped, case folded fully (so
// that "ß" meets "ss").
icu::UnicodeString folded(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* decomposition = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) throw std::runtime_error("Cannot compare names.");
  const icu::UnicodeString decomposed =
      decomposition->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                   utf8.data(), static_cast<int32_t>(utf8.size()))),
                               status);
  if (U_FAILURE(status)) throw std::runtime_error("Cannot compare names.");
  icu::UnicodeString bare;
  for (int32_t index = 0; index < decomposed.length();) {
    const UChar32 point = decomposed.char32At(index);
    index += U16_LENGTH(point);
    if (u_charType(point) != U_NON_SPACING_MARK) bare.append(point);
  }
  return bare.foldCase();
}

}  // namespace

const std::vector<std::string_view>& actionable() {
  static const std::vector<std::string_view> roles = {
      "AXButton",      "AXMenuBarItem",      "AXMenuItem",
      "AXMenuButton",  "AXPopUpButton",      "AXCheckBox",
      "AXRadioButton", "AXTextField",        "AXTextArea",
      "AXComboBox",    "AXSearchField",      "AXLink",
      "AXTab",         "AXSlider",           "AXDisclosureTriangle",
      "AXIncrementor", "AXSegmentedControl", "AXCell",
      "AXRow",         "AXColorWell",        "AXDockItem"};
  return roles;
}

const std::vector<std::string_view>& named() {
  static const std::vector<std::string_view> roles = {"AXStaticText", "AXHeading", "AXImage"};
  return roles;
}

const std::vector<std::string_view>& typed() {
  static const std::vector<std::string_view> roles = {"AXTextField", "AXTextArea", "AXComboBox",
                                                      "AXSearchField"};
  return roles;
}

const std::vector<std::string_view>& grid() {
  static const std::vector<std::string_view> roles = {"AXCell", "AXRow"};
  return roles;
}

const std::vector<NotificationKind>& notifications() {
  using Kind = OutlineChangeKind;
  static const std::vector<NotificationKind> table = {
      {"AXFocusedUIElementChanged", Kind::focus},
      {"AXFocusedWindowChanged", Kind::window},
      {"AXWindowCreated", Kind::window},
      {"AXSheetCreated", Kind::sheet},
      {"AXMenuOpened", Kind::menuOpened},
      {"AXMenuClosed", Kind::menuClosed},
      {"AXValueChanged", Kind::value},
      {"AXMoved", Kind::moved},
      {"AXResized", Kind::resized},
      {"AXUIElementDestroyed", Kind::destroyed},
      {"AXLayoutChanged", Kind::layout},
      {"AXTitleChanged", Kind::title},
      {"AXSelectedChildrenChanged", Kind::layout},
  };
  return table;
}

bool considers(std::string_view role) {
  return listed(actionable(), role) || listed(named(), role);
}

bool keepsUnnamed(std::string_view role) {
  return listed(actionable(), role);
}

const std::vector<std::string_view>& nameAttributes(std::string_view role) {
  // A field's typed text is never its name.
  static const std::vector<std::string_view> typedAttributes = {"AXTitle", "AXDescription",
                                                                "AXPlaceholderValue"};
  static const std::vector<std::string_view> otherAttributes = {"AXTitle", "AXDescription",
                                                                "AXValue", "AXHelp"};
  return listed(typed(), role) ? typedAttributes : otherAttributes;
}

bool usable(const ScreenRect& frame, const std::optional<ScreenRect>& window) {
  // Written so that a NaN fails every test.
  if (!(frame.width > 1 && frame.width < widestControl && frame.height > 1)) return false;
  return !window || meetsWindow(frame, *window);
}

bool meetsWindow(const ScreenRect& frame, const ScreenRect& window) {
  return window.x - windowMargin < frame.x + frame.width &&
         frame.x < window.x + window.width + windowMargin &&
         window.y - windowMargin < frame.y + frame.height &&
         frame.y < window.y + window.height + windowMargin;
}

std::string name(std::string_view role, const AttributeReader& read) {
  for (const std::string_view attribute : nameAttributes(role)) {
    const std::optional<std::string> text = read(attribute);
    if (!text) continue;
    const std::string trimmed = trimmedText(*text);
    if (!trimmed.empty()) return Graphemes::prefix(trimmed, static_cast<std::size_t>(nameMax));
  }
  return {};
}

std::vector<std::size_t> keep(const std::vector<std::string>& roles,
                              const std::vector<bool>& menuBar, std::int64_t limit) {
  struct Ranked {
    int rank;
    std::size_t position;
  };
  std::vector<Ranked> kept;
  std::int64_t gridSeen = 0;
  for (std::size_t position = 0; position < roles.size(); ++position) {
    const std::string& role = roles[position];
    if (listed(grid(), role) && ++gridSeen > gridLimit) continue;
    const bool inMenuBar = position < menuBar.size() && menuBar[position];
    kept.push_back({inMenuBar ? 0 : (listed(actionable(), role) ? 1 : 2), position});
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Ranked& a, const Ranked& b) { return a.rank < b.rank; });
  std::vector<std::size_t> positions;
  for (const Ranked& entry : kept) {
    if (static_cast<std::int64_t>(positions.size()) >= limit) break;
    positions.push_back(entry.position);
  }
  return positions;
}

std::optional<ScreenRect> live(const std::optional<ScreenRect>& frame) {
  if (frame && frame->width > 1 && frame->height > 1) return frame;
  return std::nullopt;
}

std::optional<ScreenRect> visible(const std::optional<ScreenRect>& frame,
                                  const std::optional<ScreenRect>& scrollArea,
                                  const std::optional<ScreenRect>& window) {
  std::optional<ScreenRect> shown = live(frame);
  for (const auto& clip : {scrollArea, window}) {
    if (shown && clip) shown = shown->intersection(*clip);
  }
  return shown;
}

std::optional<ControlValue> valueFact(const std::optional<std::string>& value, bool secure) {
  if (!value || secure) return std::nullopt;
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int hashLength = 0;
  if (EVP_Digest(value->data(), value->size(), hash, &hashLength, EVP_sha256(), nullptr) != 1 ||
      hashLength < digestBytes) {
    throw std::runtime_error("Cannot digest a value.");
  }
  std::string digest;
  for (std::size_t index = 0; index < digestBytes; ++index) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", hash[index]);
    digest += pair;
  }
  return ControlValue{static_cast<std::int64_t>(Graphemes::count(*value)), digest};
}

bool matches(std::string_view name, std::string_view query) {
  return folded(name).indexOf(folded(query)) >= 0;
}

std::optional<OutlineChangeKind> kind(std::string_view notification) {
  for (const NotificationKind& row : notifications()) {
    if (row.notification == notification) return row.kind;
  }
  return std::nullopt;
}

std::string changeName(const std::optional<std::string>& title,
                       const std::optional<std::string>& description) {
  if (title && !title->empty()) return *title;
  if (description && !description->empty()) return *description;
  return {};
}

}  // namespace halcy::OutlineRules
