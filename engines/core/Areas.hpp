#pragma once
// The nine areas the dispatcher calls, each behind its interface, and placeholders for areas not
// built yet. Every operation may throw an EngineFailure; `shutdown` never fails.

#include <cstdint>
#include <memory>
#include <optional>

#include "DeskProtocol.hpp"
#include "DictationProtocol.hpp"
#include "FieldProtocol.hpp"
#include "InkProtocol.hpp"
#include "KeysProtocol.hpp"
#include "OutlineProtocol.hpp"
#include "Output.hpp"
#include "PointerProtocol.hpp"
#include "ScreenProtocol.hpp"
#include "StructureRead.hpp"
#include "VolumeProtocol.hpp"

namespace halcy {

class KeysArea {
 public:
  virtual ~KeysArea() = default;
  virtual KeysWatching watch(const KeysWatch& request) = 0;
  virtual KeysState state() = 0;
  virtual AppsFront front() = 0;
  virtual NoResult activate(const AppsActivate& request) = 0;
  virtual void shutdown() = 0;
};

class DictationArea {
 public:
  virtual ~DictationArea() = default;
  virtual DictationStarted start() = 0;
  virtual DictationStopped stop() = 0;
  virtual void shutdown() = 0;
};

class FieldArea {
 public:
  virtual ~FieldArea() = default;
  virtual FocusPrimed prime() = 0;
  virtual FocusedField read(const FocusRead& request) = 0;
  virtual ElementRead value(const ElementValue& request) = 0;
  virtual ClipboardSaved saveClipboard() = 0;
  virtual ClipboardWritten writeClipboard(const ClipboardWrite& request) = 0;
  virtual ClipboardRestored restoreClipboard(const ClipboardRestore& request) = 0;
  virtual NoResult releaseClipboard(const ClipboardRelease& request) = 0;
  virtual NoResult paste() = 0;
};

class ScreenArea {
 public:
  virtual ~ScreenArea() = default;
  virtual ScreenText read(const ScreenRead& request) = 0;
  virtual ScreenCaptured capture(const ScreenCapture& request, bool meetingRunning) = 0;
  virtual ScreenRegionCaptured region(const ScreenRegion& request, bool meetingRunning) = 0;
  virtual StructureFacts structure(const StructureRead& request) = 0;
};

class PointerArea {
 public:
  virtual ~PointerArea() = default;
  virtual PointerState read() = 0;
  virtual PointerElement element(const PointerElementRequest& request) = 0;
  virtual InputWatching watch(const InputWatch& request) = 0;
  virtual void shutdown() = 0;
};

class OutlineArea {
 public:
  virtual ~OutlineArea() = default;
  virtual Outline read(const OutlineRead& request) = 0;
  virtual OutlineFramesRead frames(const OutlineFrames& request) = 0;
  virtual OutlineStates state(const OutlineFrames& request) = 0;
  virtual OutlineFramesRead visible(const OutlineFrames& request) = 0;
  virtual OutlineFoundControls find(const OutlineFind& request) = 0;
  virtual OutlineWatching watch(const OutlineWatch& request) = 0;
  virtual void shutdown() = 0;
};

class InkArea {
 public:
  virtual ~InkArea() = default;
  virtual InkCaptured capture(const InkCapture& request, bool meetingRunning) = 0;
  virtual InkComposed compose(const InkCompose& request) = 0;
  virtual NoResult release(const InkRelease& request) = 0;
};

class DeskArea {
 public:
  virtual ~DeskArea() = default;
  virtual AppsRunning running() = 0;
  virtual std::optional<QuitTarget> quitTarget(std::int64_t pid) = 0;
  virtual bool terminate(std::int64_t pid) = 0;
  virtual AppsDescribed describe(const AppsDescribe& request) = 0;
  virtual FilesFound search(const FilesSearch& request) = 0;
  virtual DocumentTextRead pdfText(const DocumentPdfText& request) = 0;
};

class VolumeArea {
 public:
  virtual ~VolumeArea() = default;
  virtual OutputVolume watch(const VolumeWatch& request) = 0;
  virtual void shutdown() = 0;
};

// The failure every placeholder answers.
EngineFailure notBuiltYet();

class UnbuiltKeys : public KeysArea {
 public:
  KeysWatching watch(const KeysWatch&) override { throw notBuiltYet(); }
  KeysState state() override { throw notBuiltYet(); }
  AppsFront front() override { throw notBuiltYet(); }
  NoResult activate(const AppsActivate&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

class UnbuiltDictation : public DictationArea {
 public:
  DictationStarted start() override { throw notBuiltYet(); }
  DictationStopped stop() override { throw notBuiltYet(); }
  void shutdown() override {}
};

class UnbuiltFields : public FieldArea {
 public:
  FocusPrimed prime() override { throw notBuiltYet(); }
  FocusedField read(const FocusRead&) override { throw notBuiltYet(); }
  ElementRead value(const ElementValue&) override { throw notBuiltYet(); }
  ClipboardSaved saveClipboard() override { throw notBuiltYet(); }
  ClipboardWritten writeClipboard(const ClipboardWrite&) override { throw notBuiltYet(); }
  ClipboardRestored restoreClipboard(const ClipboardRestore&) override { throw notBuiltYet(); }
  NoResult releaseClipboard(const ClipboardRelease&) override { throw notBuiltYet(); }
  NoResult paste() override { throw notBuiltYet(); }
};

class UnbuiltScreen : public ScreenArea {
 public:
  ScreenText read(const ScreenRead&) override { throw notBuiltYet(); }
  ScreenCaptured capture(const ScreenCapture&, bool) override { throw notBuiltYet(); }
  ScreenRegionCaptured region(const ScreenRegion&, bool) override { throw notBuiltYet(); }
  StructureFacts structure(const StructureRead&) override { throw notBuiltYet(); }
};

class UnbuiltPointer : public PointerArea {
 public:
  PointerState read() override { throw notBuiltYet(); }
  PointerElement element(const PointerElementRequest&) override { throw notBuiltYet(); }
  InputWatching watch(const InputWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

class UnbuiltOutline : public OutlineArea {
 public:
  Outline read(const OutlineRead&) override { throw notBuiltYet(); }
  OutlineFramesRead frames(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineStates state(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineFramesRead visible(const OutlineFrames&) override { throw notBuiltYet(); }
  OutlineFoundControls find(const OutlineFind&) override { throw notBuiltYet(); }
  OutlineWatching watch(const OutlineWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

class UnbuiltInk : public InkArea {
 public:
  InkCaptured capture(const InkCapture&, bool) override { throw notBuiltYet(); }
  InkComposed compose(const InkCompose&) override { throw notBuiltYet(); }
  NoResult release(const InkRelease&) override { throw notBuiltYet(); }
};

class UnbuiltDesk : public DeskArea {
 public:
  AppsRunning running() override { throw notBuiltYet(); }
  std::optional<QuitTarget> quitTarget(std::int64_t) override { throw notBuiltYet(); }
  bool terminate(std::int64_t) override { throw notBuiltYet(); }
  AppsDescribed describe(const AppsDescribe&) override { throw notBuiltYet(); }
  FilesFound search(const FilesSearch&) override { throw notBuiltYet(); }
  DocumentTextRead pdfText(const DocumentPdfText&) override { throw notBuiltYet(); }
};

class UnbuiltVolume : public VolumeArea {
 public:
  OutputVolume watch(const VolumeWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

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

  static EngineAreas unbuilt();
};

}  // namespace halcy
