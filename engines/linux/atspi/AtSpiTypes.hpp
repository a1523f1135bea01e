#pragma once
// The AT-SPI vocabulary the adapter speaks: element references, role and state numbers, and the
// records the accessibility client answers with. Plain values, no D-Bus types, so the vocabulary
// tables and their tests do not need a bus.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halcy {

// An accessible object: the unique bus name of its application and its object path.
struct AtSpiRef {
  std::string bus;
  std::string path;

  bool empty() const { return bus.empty() || path.empty(); }
  bool operator==(const AtSpiRef&) const = default;
  auto operator<=>(const AtSpiRef&) const = default;
};

// The numbers of AtspiRole, as they travel on the bus.
enum class AtSpiRole : std::uint32_t {
  invalid = 0,
  acceleratorLabel = 1,
  alert = 2,
  animation = 3,
  arrow = 4,
  calendar = 5,
  canvas = 6,
  checkBox = 7,
  checkMenuItem = 8,
  colorChooser = 9,
  columnHeader = 10,
  comboBox = 11,
  dateEditor = 12,
  desktopIcon = 13,
  desktopFrame = 14,
  dial = 15,
  dialog = 16,
  directoryPane = 17,
  drawingArea = 18,
  fileChooser = 19,
  filler = 20,
  focusTraversable = 21,
  fontChooser = 22,
  frame = 23,
  glassPane = 24,
  htmlContainer = 25,
  icon = 26,
  image = 27,
  internalFrame = 28,
  label = 29,
  layeredPane = 30,
  list = 31,
  listItem = 32,
  menu = 33,
  menuBar = 34,
  menuItem = 35,
  optionPane = 36,
  pageTab = 37,
  pageTabList = 38,
  panel = 39,
  passwordText = 40,
  popupMenu = 41,
  progressBar = 42,
  pushButton = 43,
  radioButton = 44,
  radioMenuItem = 45,
  rootPane = 46,
  rowHeader = 47,
  scrollBar = 48,
  scrollPane = 49,
  separator = 50,
  slider = 51,
  spinButton = 52,
  splitPane = 53,
  statusBar = 54,
  table = 55,
  tableCell = 56,
  tableColumnHeader = 57,
  tableRowHeader = 58,
  tearoffMenuItem = 59,
  terminal = 60,
  text = 61,
  toggleButton = 62,
  toolBar = 63,
  toolTip = 64,
  tree = 65,
  treeTable = 66,
  unknown = 67,
  viewport = 68,
  window = 69,
  extended = 70,
  header = 71,
  footer = 72,
  paragraph = 73,
  ruler = 74,
  application = 75,
  autocomplete = 76,
  editbar = 77,
  embedded = 78,
  entry = 79,
  chart = 80,
  caption = 81,
  documentFrame = 82,
  heading = 83,
  page = 84,
  section = 85,
  redundantObject = 86,
  form = 87,
  link = 88,
  inputMethodWindow = 89,
  tableRow = 90,
  treeItem = 91,
  documentSpreadsheet = 92,
  documentPresentation = 93,
  documentText = 94,
  documentWeb = 95,
  documentEmail = 96,
  comment = 97,
  listBox = 98,
  grouping = 99,
  imageMap = 100,
  notification = 101,
  infoBar = 102,
  levelBar = 103,
  titleBar = 104,
  blockQuote = 105,
  audio = 106,
  video = 107,
  definition = 108,
  article = 109,
  landmark = 110,
  log = 111,
  marquee = 112,
  math = 113,
  rating = 114,
  timer = 115,
  staticText = 116,
  mathFraction = 117,
  mathRoot = 118,
  subscript = 119,
  superscript = 120,
  descriptionList = 121,
  descriptionTerm = 122,
  descriptionValue = 123,
  footnote = 124,
  contentDeletion = 125,
  contentInsertion = 126,
  mark = 127,
  suggestion = 128,
  pushButtonMenu = 129,
};

// The bit numbers of AtspiStateType in the two 32-bit words GetState answers.
enum class AtSpiState : std::uint32_t {
  active = 1,
  checked = 4,
  defunct = 6,
  editable = 7,
  enabled = 8,
  expandable = 9,
  expanded = 10,
  focusable = 11,
  focused = 12,
  modal = 16,
  multiLine = 17,
  selectable = 22,
  selected = 23,
  sensitive = 24,
  showing = 25,
  singleLine = 26,
  visible = 30,
};

struct AtSpiStates {
  std::uint64_t bits = 0;

  static AtSpiStates of(std::uint32_t low, std::uint32_t high) {
    return AtSpiStates{(static_cast<std::uint64_t>(high) << 32) | low};
  }
  bool has(AtSpiState state) const { return (bits >> static_cast<std::uint32_t>(state) & 1U) != 0; }
  AtSpiStates with(AtSpiState state) const {
    return AtSpiStates{bits | (std::uint64_t{1} << static_cast<std::uint32_t>(state))};
  }
  bool operator==(const AtSpiStates&) const = default;
};

// Component extents in screen (root window) pixels.
struct AtSpiRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const AtSpiRect&) const = default;
};

// One selected span of text, in characters, end exclusive.
struct AtSpiTextRange {
  std::int32_t start = 0;
  std::int32_t end = 0;
  bool operator==(const AtSpiTextRange&) const = default;
};

// One object as an application's cache describes it (org.a11y.atspi.Cache.GetItems).
struct AtSpiCacheItem {
  AtSpiRef self;
  AtSpiRef application;
  AtSpiRef parent;
  std::int32_t indexInParent = -1;
  std::int32_t childCount = 0;
  std::vector<std::string> interfaces;
  std::string name;
  std::uint32_t role = 0;
  std::string description;
  AtSpiStates states;
};

// The facts a walk needs of one node, read in one pipelined round.
struct AtSpiNodeFacts {
  std::optional<std::uint32_t> role;
  std::optional<std::string> name;
  std::optional<AtSpiStates> states;
  std::vector<AtSpiRef> children;
};

// One event an application sent: "object:state-changed:focused" is kind "object", member
// "state-changed", detail "focused".
struct AtSpiEvent {
  std::string kind;
  std::string member;
  std::string detail;
  std::int32_t detail1 = 0;
  std::int32_t detail2 = 0;
  AtSpiRef source;

  std::string type() const {
    std::string text = kind + ":" + member;
    if (!detail.empty()) text += ":" + detail;
    return text;
  }
};

}  // namespace halcy
