// halcy-probe: prints, as one JSON object, what the adapter's desktop readers see, so end-to-end
// tests can compare it with what the fixture application reports about itself.
//
//   halcy-probe app PID            the application of a process
//   halcy-probe pids BUNDLE_ID     running processes of an application
//   halcy-probe focus [PID]        the focused element, of the desktop or of one process
//   halcy-probe windows            the window list, front to back, and the active window
//   halcy-probe displays           the monitors, the main one first
//   halcy-probe events SECONDS     one line per accessibility event and root-window property
//                                  change, after a {"ready":true} line, for SECONDS
//   halcy-probe focus-watch SECONDS one focus reading per 100 ms, one line each
//   halcy-probe at X Y             the element under a point of the screen
//   halcy-probe windows-watch SECONDS  the window count every 100 ms, display events flowing

#include <glib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AtSpi.hpp"
#include "Json.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxNotifications.hpp"
#include "LinuxRoles.hpp"

namespace {

using halcy::AtSpi;
using halcy::Json;
using halcy::orNull;

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

// The window under the point decides the application; its accessible windows are asked in turn.
Json elementAtJson(AtSpi& atspi, halcy::LinuxDisplay& display, int x, int y) {
  for (const halcy::LinuxWindow& window : display.windows()) {
    const auto& b = window.bounds;
    if (!window.onScreen || x < b.x || y < b.y || x >= b.x + static_cast<int>(b.width) ||
        y >= b.y + static_cast<int>(b.height)) {
      continue;
    }
    auto app = atspi.application(window.pid, AtSpi::fieldTimeout);
    if (!app) return Json{{"pid", window.pid}, {"found", false}};
    for (const halcy::AtSpiRef& frame : atspi.children(*app, AtSpi::fieldTimeout)) {
      auto element = atspi.elementAt(frame, x, y, AtSpi::fieldTimeout);
      if (!element) continue;
      const auto role = atspi.role(*element, AtSpi::fieldTimeout).value_or(0);
      const auto states =
          atspi.states(*element, AtSpi::fieldTimeout).value_or(halcy::AtSpiStates{});
      return Json{{"pid", window.pid},
                  {"found", true},
                  {"role", std::string(halcy::LinuxRoles::axRole(role, {states}).role)},
                  {"name", orNull(atspi.name(*element, AtSpi::fieldTimeout))}};
    }
    return Json{{"pid", window.pid}, {"found", false}};
  }
  return Json{{"pid", nullptr}, {"found", false}};
}

// Display events arrive on the connection's reader thread, the rest on the main thread.
void printLine(const Json& line) {
  static std::mutex output;
  std::lock_guard guard(output);
  std::cout << line.dump() << std::endl;
}

// Watches root-window property changes on every connection the display gets.
halcy::Subscription watchRoot(
    halcy::XConnection& x, std::function<void(halcy::XLink&, const xcb_generic_event_t&)> onEvent) {
  return x.watch({std::move(onEvent), [](const std::shared_ptr<halcy::XLink>& link) {
                    link->intern({"_NET_ACTIVE_WINDOW"});
                    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                    xcb_change_window_attributes(link->get(), link->root(), XCB_CW_EVENT_MASK,
                                                 &mask);
                    xcb_flush(link->get());
                  }});
}

void runLoopFor(double seconds) {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_timeout_add(
      static_cast<guint>(seconds * 1000),
      [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
}

int watchEvents(AtSpi& atspi, halcy::LinuxDisplay& display, double seconds) {
  auto accessibility = atspi.subscribe(
      halcy::LinuxNotifications::listenedEvents(), [&](const halcy::AtSpiEvent& event) {
        // Only menus and dialogs need the element's role to be named; the rest go by the event.
        halcy::AtSpiRole role = halcy::AtSpiRole::invalid;
        halcy::AtSpiStates states;
        if (event.type() == "window:create" || event.type() == "object:state-changed:showing") {
          role = static_cast<halcy::AtSpiRole>(
              atspi.role(event.source, AtSpi::walkTimeout).value_or(0));
          states = atspi.states(event.source, AtSpi::walkTimeout).value_or(halcy::AtSpiStates{});
        }
        const auto name = halcy::LinuxNotifications::notificationName(event, role, states);
        printLine(Json{{"source", "atspi"},
                       {"type", event.type()},
                       {"detail1", event.detail1},
                       {"notification", name ? Json(std::string(*name)) : Json(nullptr)},
                       {"pid", orNull(atspi.pid(event.source, AtSpi::walkTimeout))}});
      });
  auto x11 =
      watchRoot(*display.connection(), [](halcy::XLink& link, const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
        const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (change.atom == link.atom("_NET_ACTIVE_WINDOW"))
          printLine(Json{{"source", "x11"}, {"property", "_NET_ACTIVE_WINDOW"}});
      });
  printLine(Json{{"ready", true}});
  runLoopFor(seconds);
  return 0;
}

// Display events keep flowing while the windows are read; a display that goes away must leave the
// loop and the reads running, with empty answers.
int watchWindows(halcy::LinuxDisplay& display, double seconds) {
  std::atomic<int> events = 0;
  auto subscription = watchRoot(*display.connection(),
                                [&](halcy::XLink&, const xcb_generic_event_t&) { ++events; });
  struct Tick {
    halcy::LinuxDisplay* display;
    std::atomic<int>* events;
  } tick{&display, &events};
  g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        auto* t = static_cast<Tick*>(data);
        printLine(Json{{"windows", t->display->windows().size()},
                       {"connected", t->display->connection()->link() != nullptr},
                       {"events", t->events->load()}});
        return G_SOURCE_CONTINUE;
      },
      &tick);
  runLoopFor(seconds);
  return 0;
}

int watchFocus(AtSpi& atspi, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    printLine(focusJson(atspi, std::nullopt));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
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
  halcy::LinuxDisplay display(std::make_shared<halcy::XConnection>());
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
  } else if (command == "at" && args.size() == 3) {
    out = elementAtJson(atspi, display, std::stoi(args[1]), std::stoi(args[2]));
  } else if (command == "events" && args.size() == 2) {
    return watchEvents(atspi, display, std::stod(args[1]));
  } else if (command == "windows-watch" && args.size() == 2) {
    return watchWindows(display, std::stod(args[1]));
  } else if (command == "focus-watch" && args.size() == 2) {
    return watchFocus(atspi, std::stod(args[1]));
  } else {
    return usage();
  }
  std::cout << out.dump() << "\n";
  return 0;
}
