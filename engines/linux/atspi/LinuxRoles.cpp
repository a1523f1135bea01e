#include "LinuxRoles.hpp"

#include <array>

namespace halcy::LinuxRoles {

namespace {

constexpr std::string_view group = "AXGroup";

struct Row {
  AtSpiRole atspi;
  AxRole ax;
};

// Roles that need no context. Where AT-SPI has no counterpart of a caller role: "AXDockItem" (no
// dock on X11) and "AXSegmentedControl" (toolkits expose segments as toggle buttons) are never
// produced.
constexpr std::array rows{
    Row{AtSpiRole::invalid, {"AXUnknown", ""}},
    Row{AtSpiRole::acceleratorLabel, {"AXStaticText", ""}},
    Row{AtSpiRole::alert, {"AXWindow", "AXDialog"}},
    Row{AtSpiRole::animation, {"AXImage", ""}},
    Row{AtSpiRole::arrow, {"AXImage", ""}},
    Row{AtSpiRole::calendar, {group, ""}},
    Row{AtSpiRole::canvas, {group, ""}},
    Row{AtSpiRole::checkBox, {"AXCheckBox", ""}},
    Row{AtSpiRole::checkMenuItem, {"AXMenuItem", ""}},
    Row{AtSpiRole::colorChooser, {"AXColorWell", ""}},
    // Header cells belong to the grid they head.
    Row{AtSpiRole::columnHeader, {"AXCell", ""}},
    Row{AtSpiRole::dateEditor, {"AXDateField", ""}},
    Row{AtSpiRole::desktopIcon, {"AXImage", ""}},
    Row{AtSpiRole::desktopFrame, {group, ""}},
    Row{AtSpiRole::dial, {"AXSlider", ""}},
    Row{AtSpiRole::dialog, {"AXWindow", "AXDialog"}},
    Row{AtSpiRole::directoryPane, {group, ""}},
    Row{AtSpiRole::drawingArea, {group, ""}},
    Row{AtSpiRole::fileChooser, {group, ""}},
    Row{AtSpiRole::filler, {group, ""}},
    Row{AtSpiRole::focusTraversable, {group, ""}},
    Row{AtSpiRole::fontChooser, {group, ""}},
    Row{AtSpiRole::frame, {"AXWindow", "AXStandardWindow"}},
    Row{AtSpiRole::glassPane, {group, ""}},
    Row{AtSpiRole::htmlContainer, {group, ""}},
    Row{AtSpiRole::icon, {"AXImage", ""}},
    Row{AtSpiRole::image, {"AXImage", ""}},
    Row{AtSpiRole::internalFrame, {group, ""}},
    Row{AtSpiRole::label, {"AXStaticText", ""}},
    Row{AtSpiRole::layeredPane, {group, ""}},
    Row{AtSpiRole::list, {"AXList", ""}},
    // A list item is a selectable row of its list.
    Row{AtSpiRole::listItem, {"AXRow", ""}},
    Row{AtSpiRole::menuBar, {"AXMenuBar", ""}},
    Row{AtSpiRole::menuItem, {"AXMenuItem", ""}},
    Row{AtSpiRole::optionPane, {group, ""}},
    Row{AtSpiRole::pageTab, {"AXTab", "AXTabButton"}},
    Row{AtSpiRole::pageTabList, {"AXTabGroup", ""}},
    Row{AtSpiRole::panel, {group, ""}},
    // The outline skips password fields by role, the pointer by role or subrole: both say so.
    Row{AtSpiRole::passwordText, {"AXSecureTextField", "AXSecureTextField"}},
    Row{AtSpiRole::popupMenu, {"AXMenu", ""}},
    Row{AtSpiRole::progressBar, {"AXProgressIndicator", ""}},
    Row{AtSpiRole::pushButton, {"AXButton", ""}},
    Row{AtSpiRole::radioButton, {"AXRadioButton", ""}},
    Row{AtSpiRole::radioMenuItem, {"AXMenuItem", ""}},
    Row{AtSpiRole::rootPane, {group, ""}},
    Row{AtSpiRole::rowHeader, {"AXCell", ""}},
    Row{AtSpiRole::scrollBar, {"AXScrollBar", ""}},
    Row{AtSpiRole::scrollPane, {"AXScrollArea", ""}},
    // No separator role on the other side; splitters are the nearest divider.
    Row{AtSpiRole::separator, {"AXSplitter", ""}},
    Row{AtSpiRole::slider, {"AXSlider", ""}},
    // A spin button steps a value up and down, as an incrementor does.
    Row{AtSpiRole::spinButton, {"AXIncrementor", ""}},
    Row{AtSpiRole::splitPane, {"AXSplitGroup", ""}},
    Row{AtSpiRole::statusBar, {group, ""}},
    Row{AtSpiRole::table, {"AXTable", ""}},
    Row{AtSpiRole::tableCell, {"AXCell", ""}},
    Row{AtSpiRole::tableColumnHeader, {"AXCell", ""}},
    Row{AtSpiRole::tableRowHeader, {"AXCell", ""}},
    Row{AtSpiRole::tearoffMenuItem, {"AXMenuItem", ""}},
    Row{AtSpiRole::terminal, {"AXTextArea", ""}},
    Row{AtSpiRole::toolBar, {"AXToolbar", ""}},
    Row{AtSpiRole::toolTip, {"AXHelpTag", ""}},
    Row{AtSpiRole::tree, {"AXOutline", ""}},
    // GTK reports a tree view with expandable rows as a tree table.
    Row{AtSpiRole::treeTable, {"AXOutline", ""}},
    Row{AtSpiRole::unknown, {"AXUnknown", ""}},
    Row{AtSpiRole::viewport, {group, ""}},
    Row{AtSpiRole::window, {"AXWindow", ""}},
    Row{AtSpiRole::extended, {"AXUnknown", ""}},
    Row{AtSpiRole::header, {group, ""}},
    Row{AtSpiRole::footer, {group, ""}},
    // Browsers put a paragraph's text on the paragraph itself, with no text children below it.
    Row{AtSpiRole::paragraph, {"AXStaticText", ""}},
    Row{AtSpiRole::ruler, {"AXRuler", ""}},
    Row{AtSpiRole::application, {"AXApplication", ""}},
    Row{AtSpiRole::autocomplete, {"AXComboBox", ""}},
    Row{AtSpiRole::editbar, {"AXTextField", ""}},
    Row{AtSpiRole::embedded, {group, ""}},
    Row{AtSpiRole::chart, {"AXImage", ""}},
    Row{AtSpiRole::caption, {"AXStaticText", ""}},
    Row{AtSpiRole::documentFrame, {group, ""}},
    Row{AtSpiRole::heading, {"AXHeading", ""}},
    Row{AtSpiRole::page, {group, ""}},
    Row{AtSpiRole::section, {group, ""}},
    Row{AtSpiRole::redundantObject, {"AXUnknown", ""}},
    Row{AtSpiRole::form, {group, ""}},
    Row{AtSpiRole::link, {"AXLink", ""}},
    Row{AtSpiRole::inputMethodWindow, {"AXWindow", ""}},
    Row{AtSpiRole::tableRow, {"AXRow", ""}},
    Row{AtSpiRole::treeItem, {"AXRow", "AXOutlineRow"}},
    Row{AtSpiRole::documentSpreadsheet, {group, ""}},
    Row{AtSpiRole::documentPresentation, {group, ""}},
    Row{AtSpiRole::documentText, {group, ""}},
    Row{AtSpiRole::documentWeb, {"AXWebArea", ""}},
    Row{AtSpiRole::documentEmail, {group, ""}},
    Row{AtSpiRole::comment, {group, ""}},
    Row{AtSpiRole::listBox, {"AXList", ""}},
    Row{AtSpiRole::grouping, {group, ""}},
    Row{AtSpiRole::imageMap, {"AXImage", ""}},
    Row{AtSpiRole::notification, {group, ""}},
    Row{AtSpiRole::infoBar, {group, ""}},
    Row{AtSpiRole::levelBar, {"AXLevelIndicator", ""}},
    Row{AtSpiRole::titleBar, {group, ""}},
    Row{AtSpiRole::blockQuote, {group, ""}},
    Row{AtSpiRole::audio, {group, ""}},
    Row{AtSpiRole::video, {group, ""}},
    Row{AtSpiRole::definition, {group, ""}},
    Row{AtSpiRole::article, {group, "AXDocumentArticle"}},
    Row{AtSpiRole::landmark, {group, ""}},
    Row{AtSpiRole::log, {group, ""}},
    Row{AtSpiRole::marquee, {group, ""}},
    Row{AtSpiRole::math, {group, ""}},
    Row{AtSpiRole::rating, {"AXSlider", ""}},
    Row{AtSpiRole::timer, {group, ""}},
    Row{AtSpiRole::staticText, {"AXStaticText", ""}},
    Row{AtSpiRole::mathFraction, {group, ""}},
    Row{AtSpiRole::mathRoot, {group, ""}},
    Row{AtSpiRole::subscript, {group, ""}},
    Row{AtSpiRole::superscript, {group, ""}},
    Row{AtSpiRole::descriptionList, {"AXList", ""}},
    Row{AtSpiRole::descriptionTerm, {group, ""}},
    Row{AtSpiRole::descriptionValue, {group, ""}},
    Row{AtSpiRole::footnote, {group, ""}},
    Row{AtSpiRole::contentDeletion, {group, ""}},
    Row{AtSpiRole::contentInsertion, {group, ""}},
    Row{AtSpiRole::mark, {group, ""}},
    Row{AtSpiRole::suggestion, {group, ""}},
    Row{AtSpiRole::pushButtonMenu, {"AXMenuButton", ""}},
};

AxRole textRole(const RoleContext& context) {
  // A search field is a text field to whoever does not care that it searches.
  if (context.searchField) return {"AXTextField", "AXSearchField"};
  // Toolkits set exactly one of the two; an entry that says neither holds one line.
  if (context.states.has(AtSpiState::multiLine)) return {"AXTextArea", ""};
  return {"AXTextField", ""};
}

// GTK gives a menu-bar entry and a submenu entry the role "menu"; only a menu standing alone is
// the open menu itself.
AxRole menuRole(const RoleContext& context) {
  if (context.parentRole == AtSpiRole::menuBar) return {"AXMenuBarItem", ""};
  if (context.parentRole == AtSpiRole::menu || context.parentRole == AtSpiRole::popupMenu) {
    return {"AXMenuItem", ""};
  }
  return {"AXMenu", ""};
}

// A combo box the user types into is a combo box; one that only offers a choice pops up a list.
AxRole comboRole(const RoleContext& context) {
  if (context.states.has(AtSpiState::editable)) return {"AXComboBox", ""};
  return {"AXPopUpButton", ""};
}

// An expander is a toggle button that expands something.
AxRole toggleRole(const RoleContext& context) {
  if (context.states.has(AtSpiState::expandable)) return {"AXDisclosureTriangle", ""};
  return {"AXCheckBox", "AXToggle"};
}

}  // namespace

RoleContext contextOf(AtSpiStates states, const std::map<std::string, std::string>& attributes,
                      AtSpiRole parentRole) {
  const auto attribute = [&](const char* key) -> std::string_view {
    auto found = attributes.find(key);
    return found == attributes.end() ? std::string_view() : std::string_view(found->second);
  };
  return RoleContext{states, parentRole,
                     isSearchField(attribute("text-input-type"), attribute("xml-roles"))};
}

AxRole axRole(AtSpiRole role, const RoleContext& context) {
  switch (role) {
    case AtSpiRole::text:
    case AtSpiRole::entry:
      return textRole(context);
    case AtSpiRole::menu:
      return menuRole(context);
    case AtSpiRole::comboBox:
      return comboRole(context);
    case AtSpiRole::toggleButton:
      return toggleRole(context);
    default:
      break;
  }
  for (const Row& row : rows) {
    if (row.atspi == role) return row.ax;
  }
  return {"AXUnknown", ""};
}

AxRole axRole(std::uint32_t role, const RoleContext& context) {
  return axRole(static_cast<AtSpiRole>(role), context);
}

bool isSearchField(std::string_view textInputType, std::string_view xmlRoles) {
  if (textInputType == "search") return true;
  // xml-roles may list several roles separated by spaces; the first one is the element's own.
  return xmlRoles.substr(0, xmlRoles.find(' ')) == "searchbox";
}

}  // namespace halcy::LinuxRoles
