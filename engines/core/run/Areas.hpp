#pragma once
// The areas the dispatcher calls. Each area's interface and its placeholder live in the area's own
// folder; this record only gathers them. An area not built yet is its placeholder, which answers
// "Not built yet." once the request has decoded.

#include <memory>

#include "Calendar.hpp"
#include "Desk.hpp"
#include "Dictation.hpp"
#include "Fields.hpp"
#include "Ink.hpp"
#include "Keys.hpp"
#include "MediaDecode.hpp"
#include "Meeting.hpp"
#include "Outline.hpp"
#include "Pointer.hpp"
#include "Screen.hpp"
#include "Volume.hpp"
#include "Windows.hpp"

namespace halcy {

struct EngineAreas {
  std::shared_ptr<KeysArea> keys;
  std::shared_ptr<DictationArea> dictation;
  std::shared_ptr<FieldArea> fields;
  std::shared_ptr<ScreenArea> screen;
  std::shared_ptr<PointerArea> pointer;
  std::shared_ptr<OutlineArea> outline;
  std::shared_ptr<InkArea> ink;
  std::shared_ptr<DeskArea> desk;
  std::shared_ptr<VolumeArea> volume;
  std::shared_ptr<MeetingArea> meeting;
  std::shared_ptr<CalendarArea> calendar;
  std::shared_ptr<WindowsArea> windows;
  std::shared_ptr<MediaArea> media;

  // Every area its placeholder.
  static EngineAreas unbuilt();
};

}  // namespace halcy
