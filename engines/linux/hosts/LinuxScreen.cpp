#include "LinuxScreen.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <span>

#include "Jpeg.hpp"
#include "LinuxFields.hpp"
#include "LinuxPermissions.hpp"
#include "LinuxRoles.hpp"
#include "PictureScale.hpp"
#include "ScreenRules.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

// Every read of one element waits at most this long for its application.
constexpr AtSpi::Timeout elementTimeout = AtSpi::fieldTimeout;

XRect pixelsOf(const ScreenRect& rect) {
  return XRect{static_cast<std::int32_t>(std::lround(rect.x)),
               static_cast<std::int32_t>(std::lround(rect.y)),
               static_cast<std::uint32_t>(std::max(1L, std::lround(rect.width))),
               static_cast<std::uint32_t>(std::max(1L, std::lround(rect.height)))};
}

// Whole pixels never reach past the display: rounding may have pushed the far edge out by one.
XRect within(XRect rect, const XRect& bounds) {
  rect.width = std::min(rect.width, bounds.width);
  rect.height = std::min(rect.height, bounds.height);
  const auto right = bounds.x + static_cast<std::int32_t>(bounds.width - rect.width);
  const auto bottom = bounds.y + static_cast<std::int32_t>(bounds.height - rect.height);
  rect.x = std::clamp(rect.x, bounds.x, right);
  rect.y = std::clamp(rect.y, bounds.y, bottom);
  return rect;
}

ScreenRect pointsOf(const XRect& rect) {
  return ScreenRect{static_cast<double>(rect.x), static_cast<double>(rect.y),
                    static_cast<double>(rect.width), static_cast<double>(rect.height)};
}

// An application's accessibility tree as the walks see it. What the application's cache tells is
// taken from it; the rest is asked for a whole stretch of the walk at a time, and every answer is
// kept for the rest of the walk.
class AtSpiTree {
 public:
  using Node = AtSpiRef;

  AtSpiTree(AtSpi& atspi, const std::string& bus)
      : atspi_(atspi), cache_(atspi.cacheItems(bus, AtSpi::walkTimeout)) {}

  std::optional<std::string> role(const Node& node) {
    if (!known(node).described) describe({&node, 1});
    Facts& facts = facts_[node];
    if (!facts.axRole) facts.axRole = axRole(facts).value_or("");
    if (facts.axRole->empty()) return std::nullopt;
    return facts.axRole;
  }

  // The text of a text-bearing element; a password field's is never read.
  std::optional<std::string> value(const Node& node) {
    Facts& facts = known(node);
    if (!textBearing(facts)) return std::nullopt;
    if (!facts.textAsked) readTexts({&node, 1}, ScreenWalk::textRoles);
    return facts.text;
  }

  std::optional<std::string> title(const Node& node) {
    Facts& facts = known(node);
    if (!facts.name) {
      if (auto element = elementOf(node)) facts.name = atspi_.name(*element, elementTimeout);
      facts.name = facts.name.value_or("");
    }
    if (facts.name->empty()) return std::nullopt;
    return facts.name;
  }

  std::vector<Node> children(const Node& node) {
    Facts& facts = known(node);
    if (!facts.children) describe({&node, 1});
    return facts.children.value_or(std::vector<Node>{});
  }

  std::optional<std::string> url(const Node& node) {
    for (const char* attribute : {"DocURL", "URI"}) {
      if (auto address = atspi_.documentAttribute(node, attribute, elementTimeout)) {
        std::string trimmed = trimmedText(*address);
        if (!trimmed.empty()) return trimmed;
      }
    }
    return std::nullopt;
  }

  void prefetch(std::span<const Node> nodes, const RoleSet& valueRoles) {
    describe(nodes);
    if (!valueRoles.empty()) readTexts(nodes, valueRoles);
  }

 private:
  struct Facts {
    bool described = false;  // role, states and name are known (or could not be had)
    std::optional<std::uint32_t> role;
    std::optional<AtSpiStates> states;
    std::optional<std::string> name;
    bool hasText = true;
    std::optional<std::vector<Node>> children;
    bool textAsked = false;
    std::optional<std::string> text;
    std::optional<std::string> axRole;  // "" when the role is unknown
    bool resolved = false;              // a table cell's element was asked for
    std::optional<Node> element;        // the element behind a table cell
  };

  // A cell of a toolkit's table that holds only its text is that text, as in a plain list.
  static std::optional<std::string> axRole(const Facts& facts) {
    if (!facts.role) return std::nullopt;
    if (*facts.role == static_cast<std::uint32_t>(AtSpiRole::tableCell) && facts.children &&
        facts.children->empty()) {
      return "AXStaticText";
    }
    LinuxRoles::RoleContext context;
    context.states = facts.states.value_or(AtSpiStates{});
    return std::string(LinuxRoles::axRole(*facts.role, context).role);
  }

  static bool textBearing(const Facts& facts) {
    if (!facts.role || !facts.hasText) return false;
    if (*facts.role == static_cast<std::uint32_t>(AtSpiRole::passwordText)) return false;
    const auto role = axRole(facts);
    return role && ScreenWalk::textRoles.contains(*role);
  }

  static bool tableRole(std::optional<std::uint32_t> role) {
    return role == static_cast<std::uint32_t>(AtSpiRole::table) ||
           role == static_cast<std::uint32_t>(AtSpiRole::treeTable) ||
           role == static_cast<std::uint32_t>(AtSpiRole::tree);
  }

  // Toolkits (GTK's tree view among them) list a table's header and data cells as its children,
  // row after row, and build a cell's element only when it is asked for. The walk sees a row
  // element per table row holding that row's cells; a cell is taken for the text it shows (a leaf
  // cell, as a text renderer's is), and only the cells whose text is read are asked for.
  static constexpr std::string_view cellMark = "#cell:";

  struct CellPlace {
    Node table;
    std::int32_t row = 0;
    std::int32_t column = 0;
  };

  static Node placeNode(const Node& table, std::int32_t row, std::optional<std::int32_t> column) {
    std::string path = table.path + std::string(cellMark) + std::to_string(row);
    if (column) path += ":" + std::to_string(*column);
    return Node{table.bus, std::move(path)};
  }

  static std::optional<CellPlace> cellOf(const Node& node) {
    const std::size_t mark = node.path.find(cellMark);
    if (mark == std::string::npos) return std::nullopt;
    const std::string place = node.path.substr(mark + cellMark.size());
    const std::size_t colon = place.find(':');
    if (colon == std::string::npos) return std::nullopt;
    return CellPlace{Node{node.bus, node.path.substr(0, mark)}, std::stoi(place.substr(0, colon)),
                     std::stoi(place.substr(colon + 1))};
  }

  // Rows for a table whose cells are its children; false when it is not such a table.
  bool rowsOfTable(const Node& table, Facts& facts) {
    const auto shape = atspi_.tableShape(table, AtSpi::walkTimeout);
    if (!shape || shape->columns <= 0 || shape->rows < 0 ||
        static_cast<std::int64_t>(shape->rows) * shape->columns > shape->children) {
      return false;
    }
    shapes_[table] = *shape;
    std::vector<Node>& rows = facts.children.emplace();
    for (std::int32_t row = 0; row < shape->rows; ++row) {
      Facts& rowFacts = facts_[rows.emplace_back(placeNode(table, row, std::nullopt))];
      rowFacts.described = true;
      rowFacts.role = static_cast<std::uint32_t>(AtSpiRole::tableRow);
      rowFacts.hasText = false;
      rowFacts.name = std::string();
      std::vector<Node>& cells = rowFacts.children.emplace();
      for (std::int32_t column = 0; column < shape->columns; ++column) {
        Facts& cell = facts_[cells.emplace_back(placeNode(table, row, column))];
        cell.described = true;
        cell.role = static_cast<std::uint32_t>(AtSpiRole::tableCell);
        cell.children.emplace();
      }
    }
    return true;
  }

  // The elements behind cells of table rows, every cell of one table asked at once.
  void resolveCells(const std::vector<Node>& nodes) {
    std::map<Node, std::vector<std::pair<Node, std::int32_t>>> byTable;
    for (const Node& node : nodes) {
      Facts& facts = facts_[node];
      if (facts.resolved) continue;
      facts.resolved = true;
      if (auto place = cellOf(node)) {
        const AtSpi::TableShape shape = shapes_[place->table];
        const std::int32_t headers = shape.children - shape.rows * shape.columns;
        byTable[place->table].emplace_back(node,
                                           headers + place->row * shape.columns + place->column);
      }
    }
    for (const auto& [table, cells] : byTable) {
      std::vector<std::int32_t> indexes;
      for (const auto& cell : cells) indexes.push_back(cell.second);
      const auto found = atspi_.childrenAt(table, indexes, AtSpi::walkTimeout);
      for (std::size_t i = 0; i < cells.size(); ++i) facts_[cells[i].first].element = found[i];
    }
  }

  // The element to ask about a node: itself, or the cell it stands for.
  std::optional<Node> elementOf(const Node& node) {
    if (!cellOf(node)) return node;
    resolveCells({node});
    return facts_[node].element;
  }

  Facts& known(const Node& node) {
    auto found = facts_.find(node);
    if (found != facts_.end()) return found->second;
    Facts& facts = facts_[node];
    const std::vector<LinuxFieldHost::Visit> visits = cache_.visits({node});
    if (!visits.empty() && visits.front().cached) {
      const LinuxFieldHost::Visit& visit = visits.front();
      facts.described = true;
      facts.role = visit.role;
      facts.states = visit.states;
      facts.name = visit.name;
      facts.hasText = visit.hasText;
      // A table's cells are often missing from the cache, which may count none of them.
      if (!tableRole(facts.role)) facts.children = visit.children;
    }
    return facts;
  }

  // Role, states, name and children of every node that lacks them, in one round.
  void describe(std::span<const Node> nodes) {
    std::vector<Node> unknown;
    std::vector<AtSpi::Question> childless;
    for (const Node& node : nodes) {
      Facts& facts = known(node);
      if (!facts.described) {
        unknown.push_back(node);
      } else if (facts.children) {
        continue;
      } else if (!tableRole(facts.role) || !rowsOfTable(node, facts)) {
        AtSpi::Question question{node};
        question.children = true;
        childless.push_back(std::move(question));
      }
    }
    const std::vector<AtSpiNodeFacts> described = atspi_.nodeFacts(unknown, AtSpi::walkTimeout);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
      Facts& facts = facts_[unknown[i]];
      facts.described = true;
      facts.role = described[i].role;
      facts.states = described[i].states;
      facts.name = described[i].name;
      facts.axRole.reset();
      if (!tableRole(facts.role) || !rowsOfTable(unknown[i], facts)) {
        facts.children = described[i].children;
      }
    }
    const std::vector<AtSpi::Answer> answers = atspi_.ask(childless, AtSpi::walkTimeout);
    for (std::size_t i = 0; i < childless.size(); ++i) {
      facts_[childless[i].element].children = answers[i].children.value_or(std::vector<Node>{});
    }
  }

  // The texts of the nodes whose roles the walk will read values of, in one round.
  void readTexts(std::span<const Node> nodes, const RoleSet& valueRoles) {
    std::vector<Node> wanted;
    for (const Node& node : nodes) {
      Facts& facts = known(node);
      if (facts.textAsked || !textBearing(facts)) continue;
      const auto ax = axRole(facts);
      if (ax && valueRoles.contains(*ax)) wanted.push_back(node);
    }
    resolveCells(wanted);
    std::vector<AtSpi::Question> questions;
    std::vector<Node> asked;
    for (const Node& node : wanted) {
      Facts& facts = facts_[node];
      facts.textAsked = true;
      const std::optional<Node> element = cellOf(node) ? facts.element : node;
      if (!element) continue;
      AtSpi::Question question{*element};
      question.text = true;
      // A cell's name stands in for its text when it has none.
      question.name = !facts.name.has_value();
      questions.push_back(std::move(question));
      asked.push_back(node);
    }
    const std::vector<AtSpi::Answer> answers = atspi_.ask(questions, AtSpi::walkTimeout);
    for (std::size_t i = 0; i < asked.size(); ++i) {
      Facts& facts = facts_[asked[i]];
      facts.text = answers[i].text;
      if (questions[i].name) facts.name = answers[i].name.value_or("");
    }
  }

  AtSpi& atspi_;
  LinuxFieldHost::CachedTree cache_;
  std::map<Node, Facts> facts_;
  std::map<Node, AtSpi::TableShape> shapes_;
};

}  // namespace

LinuxScreenShots::LinuxScreenShots(std::shared_ptr<LinuxDisplay> display)
    : display_(std::move(display)), apps_(*display_), capture_(display_) {}

std::vector<WindowFact> LinuxScreenShots::windows() {
  std::vector<WindowFact> facts;
  for (const LinuxWindow& window : display_->stacking().windows) {
    facts.push_back(WindowFact{window.pid, window.title, window.layer, window.onScreen,
                               pointsOf(window.bounds)});
  }
  return facts;
}

DisplayList LinuxScreenShots::displays() {
  DisplayList list;
  for (const LinuxMonitor& monitor : display_->monitors()) {
    list.all.push_back(DisplayFact{monitor.id, monitor.bounds.width, monitor.bounds.height,
                                   pointsOf(monitor.bounds)});
  }
  if (!list.all.empty()) list.main = list.all.front().id;
  return list;
}

std::optional<DisplayFact> LinuxScreenShots::display(std::uint32_t id) {
  for (const DisplayFact& display : displays().all) {
    if (display.id == id) return display;
  }
  return std::nullopt;
}

std::optional<Picture> LinuxScreenShots::picture(const ScreenRect& rect, const HidesWindow& hides) {
  // One answer per owner for the whole grab, which asks about each window more than once.
  std::map<std::int64_t, bool> decided;
  LinuxCapture::Hidden hidden;
  if (hides)
    hidden = [&](const LinuxWindow& window) {
      if (auto known = decided.find(window.pid); known != decided.end()) return known->second;
      std::optional<std::int64_t> owner;
      std::optional<std::string> bundleId;
      if (window.pid > 0) {
        owner = window.pid;
        if (auto app = apps_.app(window.pid)) bundleId = app->bundleId;
      }
      const bool left = hides(owner, bundleId);
      decided.emplace(window.pid, left);
      return left;
    };
  return capture_.grab(pixelsOf(rect), hidden);
}

LinuxScreenHost::LinuxScreenHost(std::shared_ptr<LinuxDisplay> display,
                                 std::shared_ptr<AtSpi> atspi)
    : display_(display), atspi_(std::move(atspi)), shots_(std::move(display)) {}

bool LinuxScreenHost::trusted() {
  // Once usable, accessibility stays so for the session; asking again costs two bus connections.
  if (!trusted_) trusted_ = LinuxPermissions::accessibilityUsable();
  return trusted_;
}

bool LinuxScreenHost::captureAllowed() {
  return display_->connection()->link() != nullptr;
}

std::optional<FrontApp> LinuxScreenHost::app(std::int64_t pid) {
  return shots_.apps().app(pid);
}

// The application's active window, else its first window on screen.
std::optional<AtSpiRef> LinuxScreenHost::window(std::int64_t pid) {
  if (pid <= 0 || pid > 0x7fffffff) return std::nullopt;
  const auto application = atspi_->application(pid, elementTimeout);
  if (!application) return std::nullopt;
  if (auto active = atspi_->activeWindow(*application, elementTimeout)) return active;
  const std::vector<AtSpiRef> windows = atspi_->children(*application, elementTimeout);
  const std::vector<AtSpiNodeFacts> facts = atspi_->nodeFacts(windows, elementTimeout);
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (facts[i].states && facts[i].states->has(AtSpiState::showing)) return windows[i];
  }
  return std::nullopt;
}

WindowText LinuxScreenHost::windowText(std::int64_t pid, std::int64_t maxChars) {
  const auto window = this->window(pid);
  if (!window) return {};
  AtSpiTree tree(*atspi_, window->bus);
  return WindowText{tree.title(*window), ScreenWalk::text(tree, *window, maxChars)};
}

StructureFacts LinuxScreenHost::structure(std::int64_t pid) {
  const auto window = this->window(pid);
  if (!window) return StructureFacts::none();
  AtSpiTree tree(*atspi_, window->bus);
  StructureFacts facts = StructureWalk::facts(tree, *window);
  if (auto title = tree.title(*window)) {
    std::string trimmed = trimmedText(*title);
    if (!trimmed.empty()) facts.windowTitle = std::move(trimmed);
  }
  return facts;
}

std::vector<WindowFact> LinuxScreenHost::windows() {
  return shots_.windows();
}

DisplayList LinuxScreenHost::displays() {
  return shots_.displays();
}

std::optional<HostPicture> LinuxScreenHost::capture(const DisplayFact& display, PixelSize size,
                                                    double quality, const HidesWindow& hides) {
  const auto current = shots_.display(display.id);
  if (!current) return std::nullopt;
  const auto picture = shots_.picture(current->bounds, hides);
  if (!picture) return std::nullopt;
  const Picture scaled = PictureScale::to(*picture, static_cast<std::int32_t>(size.width),
                                          static_cast<std::int32_t>(size.height));
  auto jpeg = Jpeg::base64(scaled, quality);
  if (!jpeg) return std::nullopt;
  return HostPicture{std::move(*jpeg), scaled.width, scaled.height};
}

std::optional<HostRegion> LinuxScreenHost::captureRegion(const DisplayFact& display,
                                                         const ScreenRect& rect, double quality,
                                                         const HidesWindow& hides) {
  const auto current = shots_.display(display.id);
  if (!current) return std::nullopt;
  const auto clipped = rect.intersection(current->bounds);
  if (!clipped) return std::nullopt;
  const XRect pixels = within(pixelsOf(*clipped), pixelsOf(current->bounds));
  const auto picture = shots_.picture(pointsOf(pixels), hides);
  if (!picture) return std::nullopt;
  auto jpeg = Jpeg::base64(*picture, quality);
  auto gray = ScreenRules::gray(*picture);
  if (!jpeg || !gray) return std::nullopt;
  return HostRegion{std::move(*jpeg), picture->width, picture->height, std::move(*gray)};
}

}  // namespace halcy
