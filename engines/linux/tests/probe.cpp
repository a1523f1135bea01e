// halcy-probe: prints, as one JSON object, what the adapter's desktop readers see, so end-to-end
// tests can compare it with what the fixture application reports about itself.
//
//   halcy-probe app PID            the application of a process
//   halcy-probe pids BUNDLE_ID     running processes of an application
//   halcy-probe focus [PID]        the focused element, of the desktop or of one process
//   halcy-probe windows            the window list, front to back, and the active window
//   halcy-probe displays           the monitors, the main one first

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxRoles.hpp"

namespace {

using halcy::AtSpi;
using Json = nlohmann::ordered_json;

template <typename T>
Json orNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json rectJson(const halcy::XRect& r) {
  return Json{{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
}

Json appJson(halcy::LinuxApps& apps, std::int64_t pid) {
  auto app = apps.app(pid);
  return app ? Json::parse(app->toJson().dump()) : Json(nullptr);
}

Json focusJson(AtSpi& atspi, std::optional<std::int64_t> pid) {
  const auto started = std::chrono::steady_clock::now();
  auto element =
      pid ? atspi.focused(*pid, AtSpi::fieldTimeout) : atspi.focused(AtSpi::fieldTimeout);
  Json result{{"found", element.has_value()}};
  if (element) {
    const auto role = atspi.role(*element, AtSpi::fieldTimeout);
    const auto states = atspi.states(*element, AtSpi::fieldTimeout).value_or(halcy::AtSpiStates{});
    const auto parent = atspi.parent(*element, AtSpi::fieldTimeout);
    const auto parentRole = parent ? atspi.role(*parent, AtSpi::fieldTimeout) : std::nullopt;
    const auto attributes = atspi.attributes(*element, AtSpi::fieldTimeout);
    const auto attribute = [&](const char* key) {
      auto found = attributes.find(key);
      return found == attributes.end() ? std::string() : found->second;
    };
    halcy::LinuxRoles::RoleContext context{
        states, static_cast<halcy::AtSpiRole>(parentRole.value_or(0)),
        halcy::LinuxRoles::isSearchField(attribute("text-input-type"), attribute("xml-roles"))};
    const auto ax = halcy::LinuxRoles::axRole(role.value_or(0), context);
    result["role"] = std::string(ax.role);
    result["subrole"] = ax.subrole.empty() ? Json(nullptr) : Json(std::string(ax.subrole));
    result["name"] = orNull(atspi.name(*element, AtSpi::fieldTimeout));
    result["value"] = orNull(atspi.value(*element, AtSpi::fieldTimeout));
    result["placeholder"] = attribute("placeholder-text");
    result["caret"] = orNull(atspi.caretOffset(*element, AtSpi::fieldTimeout));
    result["editable"] = atspi.editableText(*element, AtSpi::fieldTimeout);
    result["pid"] = orNull(atspi.pid(*element, AtSpi::fieldTimeout));
    if (auto box = atspi.extents(*element, AtSpi::fieldTimeout)) {
      result["frame"] =
          Json{{"x", box->x}, {"y", box->y}, {"width", box->width}, {"height", box->height}};
    }
  }
  result["seconds"] =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

Json windowsJson(halcy::LinuxDisplay& display) {
  Json list = Json::array();
  for (const halcy::LinuxWindow& w : display.windows()) {
    list.push_back(Json{{"id", w.id},
                        {"pid", w.pid},
                        {"title", orNull(w.title)},
                        {"layer", w.layer},
                        {"onScreen", w.onScreen},
                        {"bounds", rectJson(w.bounds)},
                        {"wmClass", w.wmClass},
                        {"wmInstance", w.wmInstance},
                        {"gtkApplicationId", orNull(w.gtkApplicationId)}});
  }
  return Json{{"windows", list},
              {"active", orNull(display.activeWindow())},
              {"activePid", orNull(display.activePid())}};
}

Json displaysJson(halcy::LinuxDisplay& display) {
  Json list = Json::array();
  for (const halcy::LinuxMonitor& m : display.monitors()) {
    list.push_back(Json{
        {"id", m.id}, {"name", m.name}, {"bounds", rectJson(m.bounds)}, {"primary", m.primary}});
  }
  return Json{{"displays", list}};
}

int usage() {
  std::fputs("usage: halcy-probe app PID | pids BUNDLE_ID | focus [PID] | windows | displays\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage();
  halcy::LinuxDisplay display;
  halcy::LinuxApps apps(display);
  AtSpi atspi;
  Json out;
  const std::string& command = args[0];
  if (command == "app" && args.size() == 2) {
    out = Json{{"app", appJson(apps, std::stoll(args[1]))}};
  } else if (command == "pids" && args.size() == 2) {
    out = Json{{"pids", apps.pids(args[1])}};
  } else if (command == "focus" && args.size() <= 2) {
    out = focusJson(
        atspi, args.size() == 2 ? std::optional<std::int64_t>(std::stoll(args[1])) : std::nullopt);
  } else if (command == "windows" && args.size() == 1) {
    out = windowsJson(display);
  } else if (command == "displays" && args.size() == 1) {
    out = displaysJson(display);
  } else {
    return usage();
  }
  std::cout << out.dump() << "\n";
  return 0;
}
