#pragma once
// The nine areas the dispatcher calls. Each area's interface and its placeholder live in the area's
// own folder; this record only gathers them.

#include <memory>

#include "Desk.hpp"
#include "Dictation.hpp"
#include "Fields.hpp"
#include "Ink.hpp"
#include "Keys.hpp"
#include "Outline.hpp"
#include "Pointer.hpp"
#include "Screen.hpp"
#include "Volume.hpp"

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

  // Every area a placeholder that answers "Not built yet.".
  static EngineAreas unbuilt();
};

}  // namespace halcy
