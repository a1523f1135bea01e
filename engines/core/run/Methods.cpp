// The rows of the method table, one function per area: a method's row sits with its area's other
// rows, and its parameter record (in the area's *Protocol header) names the keys it takes.

#include <memory>

#include "MethodTable.hpp"

namespace halcy {

namespace {

// "hello" and the permissions, which the host answers itself.
void addEngineMethods(MethodTable& table) {
  table.taking<HelloParams>(
      "hello", [](EngineParts& engine, const HelloParams&) { return engine.host.hello(); });
  table.none("permissions.status", [](EngineParts& engine) { return engine.host.permissions(); });
  table.taking<PermissionRequest>(
      "permissions.request", [](EngineParts& engine, const PermissionRequest& request) {
        return PermissionAnswer{engine.host.request(request.permission)};
      });
}

// The recorder answers under its own lock; each meeting reply that succeeds is followed by what
// the meeting held back until the caller had it.
void addAudioMethods(MethodTable& table) {
  table.taking<MicStart>("mic.start", [](EngineParts& engine, const MicStart& request) {
    return engine.mic.start(request);
  });
  table.none("mic.stop", [](EngineParts& engine) { return engine.mic.stop(); });
  table.area("dictation.start", &EngineAreas::dictation, &DictationArea::start);
  table.area("dictation.stop", &EngineAreas::dictation, &DictationArea::stop);

  const auto thenAnswered = [](const auto& result, const std::shared_ptr<MeetingArea>& meeting) {
    return MethodCall{result.toJson(), [meeting] { meeting->answered(); }};
  };
  table.taking<MeetingStart>(
      "meeting.start", [thenAnswered](EngineParts& engine, const MeetingStart& request) {
        return thenAnswered(engine.areas.meeting->start(request), engine.areas.meeting);
      });
  table.area("meeting.stop", &EngineAreas::meeting, &MeetingArea::stop);
  table.taking<MeetingReopen>(
      "meeting.reopen", [thenAnswered](EngineParts& engine, const MeetingReopen& request) {
        return thenAnswered(engine.areas.meeting->reopen(request), engine.areas.meeting);
      });
  table.area("meeting.snap", &EngineAreas::meeting, &MeetingArea::snap);
}

// The calendar's permission is the host's to answer; its events and the window titles are areas.
void addCalendarAndWindowMethods(MethodTable& table) {
  table.none("calendar.access",
             [](EngineParts& engine) { return PermissionAnswer{engine.host.calendarAccess()}; });
  table.none("calendar.request", [](EngineParts& engine) {
    return PermissionAnswer{engine.host.requestCalendarAccess()};
  });
  table.area("calendar.events", &EngineAreas::calendar, &CalendarArea::events);
  table.area("windows.list", &EngineAreas::windows, &WindowsArea::list);
}

void addKeysMethods(MethodTable& table) {
  table.area("keys.watch", &EngineAreas::keys, &KeysArea::watch);
  table.area("keys.state", &EngineAreas::keys, &KeysArea::state);
  table.area("apps.front", &EngineAreas::keys, &KeysArea::front);
  table.area("apps.activate", &EngineAreas::keys, &KeysArea::activate);
}

void addFieldMethods(MethodTable& table) {
  table.area("focus.prime", &EngineAreas::fields, &FieldArea::prime);
  table.area("focus.read", &EngineAreas::fields, &FieldArea::read);
  table.area("element.value", &EngineAreas::fields, &FieldArea::value);
  table.area("clipboard.save", &EngineAreas::fields, &FieldArea::saveClipboard);
  table.area("clipboard.write", &EngineAreas::fields, &FieldArea::writeClipboard);
  table.area("clipboard.restore", &EngineAreas::fields, &FieldArea::restoreClipboard);
  table.area("clipboard.release", &EngineAreas::fields, &FieldArea::releaseClipboard);
  table.area("input.paste", &EngineAreas::fields, &FieldArea::paste);
}

// Pictures of the screen ask the meeting first: one that holds the screen's stream changes how
// they are taken.
void addScreenMethods(MethodTable& table) {
  table.area("screen.read", &EngineAreas::screen, &ScreenArea::read);
  table.taking<ScreenCapture>("screen.capture",
                              [](EngineParts& engine, const ScreenCapture& request) {
                                const bool meetingRunning = engine.areas.meeting->holdsStream();
                                return engine.areas.screen->capture(request, meetingRunning);
                              });
  table.taking<ScreenRegion>("screen.region", [](EngineParts& engine, const ScreenRegion& request) {
    const bool meetingRunning = engine.areas.meeting->holdsStream();
    return engine.areas.screen->region(request, meetingRunning);
  });
  table.area("structure.read", &EngineAreas::screen, &ScreenArea::structure);
}

void addPointerMethods(MethodTable& table) {
  table.area("pointer.read", &EngineAreas::pointer, &PointerArea::read);
  table.area("pointer.element", &EngineAreas::pointer, &PointerArea::element);
  table.area("input.watch", &EngineAreas::pointer, &PointerArea::watch);
}

void addOutlineMethods(MethodTable& table) {
  table.area("outline.read", &EngineAreas::outline, &OutlineArea::read);
  table.area("outline.frames", &EngineAreas::outline, &OutlineArea::frames);
  table.area("outline.watch", &EngineAreas::outline, &OutlineArea::watch);
  table.area("outline.state", &EngineAreas::outline, &OutlineArea::state);
  table.area("outline.visible", &EngineAreas::outline, &OutlineArea::visible);
  table.area("outline.find", &EngineAreas::outline, &OutlineArea::find);
}

void addInkMethods(MethodTable& table) {
  table.taking<InkCapture>("ink.capture", [](EngineParts& engine, const InkCapture& request) {
    const bool meetingRunning = engine.areas.meeting->holdsStream();
    return engine.areas.ink->capture(request, meetingRunning);
  });
  table.area("ink.compose", &EngineAreas::ink, &InkArea::compose);
  table.area("ink.release", &EngineAreas::ink, &InkArea::release);
}

void addDeskMethods(MethodTable& table) {
  table.area("apps.running", &EngineAreas::desk, &DeskArea::running);
  table.area("apps.quit", &EngineAreas::desk, &DeskArea::quit);
  table.area("apps.describe", &EngineAreas::desk, &DeskArea::describe);
  table.area("files.search", &EngineAreas::desk, &DeskArea::search);
  table.area("document.pdfText", &EngineAreas::desk, &DeskArea::pdfText);
  table.area("media.decode", &EngineAreas::media, &MediaArea::decode);
}

void addVolumeMethods(MethodTable& table) {
  table.area("volume.watch", &EngineAreas::volume, &VolumeArea::watch);
}

}  // namespace

const MethodTable& engineMethods() {
  static const MethodTable table = [] {
    MethodTable built;
    for (auto add : {addEngineMethods, addAudioMethods, addCalendarAndWindowMethods, addKeysMethods,
                     addFieldMethods, addScreenMethods, addPointerMethods, addOutlineMethods,
                     addInkMethods, addDeskMethods, addVolumeMethods}) {
      add(built);
    }
    return built;
  }();
  return table;
}

}  // namespace halcy
