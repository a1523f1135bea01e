#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FailureOf.hpp"
#include "Fields.hpp"

namespace halcy {
namespace {

struct FakeElement final : FieldElementRef {
  explicit FakeElement(std::string name) : name(std::move(name)) {}
  std::string name;
};

struct FakeContents final : ClipboardContentsRef {
  explicit FakeContents(std::string text) : text(std::move(text)) {}
  std::string text;
};

// A desktop in memory that records every call, in order.
class FakeFieldHost final : public FieldHost {
 public:
  struct State {
    bool trusted = true;
    std::optional<std::int64_t> front = 42;
    std::vector<std::int64_t> runningPids = {42, 77};
    HostFocus focus;
    std::optional<std::string> value;
    std::string clipboard = "original";
    std::int64_t changeCount = 10;
    std::optional<EngineFailure> pasteFailure;
    // Thrown by the named clipboard operation.
    std::optional<std::pair<std::string, EngineFailure>> clipboardFailure;
    std::vector<std::string> calls;
    std::vector<std::pair<std::int64_t, std::optional<std::int64_t>>> focusAsked;
    std::vector<std::string> valueAsked;
  };

  explicit FakeFieldHost(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool trusted() override { return called("trusted"), state_->trusted; }
  std::optional<std::int64_t> primeFront() override { return called("primeFront"), state_->front; }
  HostFocus focus(std::int64_t chars, std::optional<std::int64_t> pid) override {
    called("focus");
    state_->focusAsked.emplace_back(chars, pid);
    HostFocus focus = state_->focus;
    if (focus.element) {
      // A new reference every read, as a platform hands out.
      focus.element->element = std::make_shared<FakeElement>(
          std::static_pointer_cast<FakeElement>(focus.element->element)->name);
    }
    return focus;
  }
  std::optional<FrontApp> app(std::int64_t pid) override {
    called("app");
    for (auto running : state_->runningPids) {
      if (running == pid) return FrontApp{pid, "org.example.App", "App"};
    }
    return std::nullopt;
  }
  std::optional<std::string> value(const Element& element) override {
    called("value");
    state_->valueAsked.push_back(std::static_pointer_cast<FakeElement>(element)->name);
    return state_->value;
  }
  SavedClipboard saveClipboard() override {
    called("saveClipboard");
    return {std::make_shared<FakeContents>(state_->clipboard), state_->changeCount};
  }
  std::int64_t writeClipboard(const std::string& text, bool transient) override {
    called(transient ? "writeClipboard transient" : "writeClipboard");
    state_->clipboard = text;
    return ++state_->changeCount;
  }
  std::int64_t clipboardChangeCount() override {
    called("clipboardChangeCount");
    failIfScripted("clipboardChangeCount");
    return state_->changeCount;
  }
  void restoreClipboard(const Contents& contents) override {
    called("restoreClipboard");
    failIfScripted("restoreClipboard");
    state_->clipboard = std::static_pointer_cast<FakeContents>(contents)->text;
    ++state_->changeCount;
  }
  void paste() override {
    called("paste");
    if (state_->pasteFailure) throw *state_->pasteFailure;
  }

 private:
  void called(std::string name) { state_->calls.push_back(std::move(name)); }
  void failIfScripted(const std::string& operation) {
    if (state_->clipboardFailure && state_->clipboardFailure->first == operation) {
      throw state_->clipboardFailure->second;
    }
  }
  std::shared_ptr<State> state_;
};

FieldHost::HostElement fieldElement(std::string name) {
  FieldHost::HostElement element;
  element.element = std::make_shared<FakeElement>(std::move(name));
  element.role = "AXTextField";
  element.value = "hello";
  element.selectedText = "ell";
  element.placeholder = "Type a name";
  element.hasCaret = true;
  element.valueSettable = true;
  return element;
}

struct Fields {
  std::shared_ptr<FakeFieldHost::State> state = std::make_shared<FakeFieldHost::State>();
  FieldController controller{std::make_unique<FakeFieldHost>(state)};

  Fields() {
    state->focus.app = FrontApp{42, std::nullopt, "App"};
    state->focus.windowTitle = "Window";
    state->focus.element = fieldElement("field");
    state->focus.surroundingText = "Name\nhello";
  }
};

// --- rules ----------------------------------------------------------------------------------

TEST(FieldRules, SurroundingWindowCutsWholeClusters) {
  const std::string flagDE = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";
  const std::string flagFR = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
  const std::string eAcute = "e\xCC\x81";
  struct Case {
    const char* name;
    std::optional<std::string> text;
    std::int64_t upTo;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"no text", std::nullopt, 5, std::nullopt},
      {"zero asks for nothing", "abc", 0, std::nullopt},
      {"negative asks for nothing", "abc", -3, std::nullopt},
      {"empty text is null", "", 5, std::nullopt},
      {"shorter than asked stays whole", "abc", 10, "abc"},
      {"exactly N", "abcdef", 3, "abc"},
      {"line feed counts as one", "ab\ncd", 3, "ab\n"},
      {"flag is never split", flagDE + flagFR + "x", 1, flagDE},
      {"two flags", flagDE + flagFR + "x", 2, flagDE + flagFR},
      {"combining mark stays with its letter", eAcute + "x", 1, eAcute},
      {"emoji with ZWJ", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB!", 1,
       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FieldRules::surrounding(c.text, c.upTo), c.expected) << c.name;
}

TEST(FieldRules, ValueCapCountsUtf16UnitsAndNeverTruncates) {
  const auto emoji = [](std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "\xF0\x9F\x98\x80";
    return text;
  };
  struct Case {
    const char* name;
    std::optional<std::string> text;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"absent stays absent", std::nullopt, false},
      {"empty", "", true},
      {"exactly the cap", std::string(200000, 'a'), true},
      {"one unit over", std::string(200001, 'a'), false},
      {"100000 emoji are exactly the cap", emoji(100000), true},
      {"100001 emoji are over", emoji(100001), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FieldRules::capped(c.text), c.kept ? c.text : std::nullopt) << c.name;
  }
  std::string accents;
  for (int i = 0; i < 200000; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(FieldRules::capped(accents), accents) << "400000 bytes but 200000 units";
}

TEST(HeldTable, IssuesIdsOnceAndDropsTheOldest) {
  HeldTable<int> table(4);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(table.hold(i * 10), std::to_string(i));
  EXPECT_EQ(table.ids(), (std::vector<std::string>{"2", "3", "4", "5"}));
  EXPECT_EQ(table.find("1"), nullptr);
  EXPECT_EQ(table.find("01"), nullptr) << "ids compare as text";
  ASSERT_NE(table.find("2"), nullptr);
  EXPECT_EQ(*table.find("2"), 20);
  EXPECT_EQ(table.take("3"), 30);
  EXPECT_EQ(table.take("3"), std::nullopt) << "taken once";
  EXPECT_EQ(table.hold(60), "6") << "ids are never reused";
  EXPECT_EQ(table.ids(), (std::vector<std::string>{"2", "4", "5", "6"}));
}

// --- the controller -------------------------------------------------------------------------

TEST(FieldController, ReadReportsTheHostsFocusWithAHandle) {
  Fields fields;
  const FocusedField field = fields.controller.read(FocusRead{4, std::nullopt});
  EXPECT_EQ(field.toJson().dump(),
            R"({"app":{"pid":42,"bundleId":null,"name":"App"},"windowTitle":"Window",)"
            R"("element":{"handle":"1","role":"AXTextField","subrole":null,"value":"hello",)"
            R"("selectedText":"ell","placeholder":"Type a name","hasCaret":true,)"
            R"("valueSettable":true},"surroundingText":"Name"})");
  ASSERT_EQ(fields.state->focusAsked.size(), 1U);
  EXPECT_EQ(fields.state->focusAsked[0],
            (std::pair<std::int64_t, std::optional<std::int64_t>>{4, std::nullopt}));
}

TEST(FieldController, ReadWithoutElementIssuesNoHandleAndWritesEveryKey) {
  Fields fields;
  fields.state->focus = {};
  EXPECT_EQ(fields.controller.read(FocusRead{100, std::nullopt}).toJson().dump(),
            R"({"app":null,"windowTitle":null,"element":null,"surroundingText":null})");
  fields.state->focus.element = fieldElement("later");
  EXPECT_EQ(fields.controller.read(FocusRead{0, std::nullopt}).element->handle, "1");
}

TEST(FieldController, ReadCapsValueAndSelectionButNotTheRest) {
  Fields fields;
  const std::string huge(200001, 'x');
  auto& element = *fields.state->focus.element;
  element.value = huge;
  element.selectedText = huge;
  element.placeholder = huge;
  fields.state->focus.windowTitle = huge;
  const FocusedField field = fields.controller.read(FocusRead{0, std::nullopt});
  EXPECT_EQ(field.element->value, std::nullopt);
  EXPECT_EQ(field.element->selectedText, std::nullopt);
  EXPECT_EQ(field.element->placeholder, huge);
  EXPECT_EQ(field.windowTitle, huge);
  EXPECT_EQ(field.surroundingText, std::nullopt) << "zero characters asked";
}

TEST(FieldController, PidIsCheckedBeforeTheGateAndPassedOn) {
  Fields fields;
  fields.state->trusted = false;
  EXPECT_EQ(failureOf([&] {
              fields.controller.read(FocusRead{0, 999});
            }),
            EngineFailure(ErrorCode::unavailable, "No running app has that pid."));
  EXPECT_EQ(failureOf([&] {
              fields.controller.read(FocusRead{0, 77});
            }),
            EngineFailure(ErrorCode::notPermitted, "Accessibility is not granted."));
  fields.state->trusted = true;
  fields.controller.read(FocusRead{12, 77});
  ASSERT_EQ(fields.state->focusAsked.size(), 1U);
  EXPECT_EQ(fields.state->focusAsked[0].second, 77);
}

TEST(FieldController, GateGuardsAccessibilityMethodsOnly) {
  Fields fields;
  fields.state->trusted = false;
  const EngineFailure refused(ErrorCode::notPermitted, "Accessibility is not granted.");
  EXPECT_EQ(failureOf([&] { fields.controller.prime(); }), refused);
  EXPECT_EQ(failureOf([&] { fields.controller.read(FocusRead{0, std::nullopt}); }), refused);
  EXPECT_EQ(failureOf([&] { fields.controller.value(ElementValue{"1"}); }), refused);
  EXPECT_EQ(failureOf([&] { fields.controller.paste(); }), refused);
  EXPECT_EQ(std::count(fields.state->calls.begin(), fields.state->calls.end(), "paste"), 0);
  EXPECT_EQ(std::count(fields.state->calls.begin(), fields.state->calls.end(), "focus"), 0);

  const ClipboardSaved saved = fields.controller.saveClipboard();
  const ClipboardWritten written = fields.controller.writeClipboard(ClipboardWrite{"x", true});
  const ClipboardSaved second = fields.controller.saveClipboard();
  EXPECT_TRUE(
      fields.controller.restoreClipboard(ClipboardRestore{saved.snapshot, written.changeCount})
          .restored);
  fields.controller.releaseClipboard(ClipboardRelease{second.snapshot});
}

TEST(FieldController, PrimeAnswersTheHostsPid) {
  Fields fields;
  EXPECT_EQ(fields.controller.prime().toJson().dump(), R"({"pid":42})");
  fields.state->front = std::nullopt;
  EXPECT_EQ(fields.controller.prime().toJson().dump(), R"({"pid":null})");
}

TEST(FieldController, ElementValueReadsTheHeldElementAgain) {
  Fields fields;
  for (int read = 1; read <= 9; ++read) {
    fields.state->focus.element->element =
        std::make_shared<FakeElement>("e" + std::to_string(read));
    EXPECT_EQ(fields.controller.read(FocusRead{0, std::nullopt}).element->handle,
              std::to_string(read));
  }
  EXPECT_EQ(failureOf([&] { fields.controller.value(ElementValue{"1"}); }),
            EngineFailure(ErrorCode::unavailable, "The engine no longer holds that element."));
  EXPECT_EQ(failureOf([&] { fields.controller.value(ElementValue{"02"}); }),
            EngineFailure(ErrorCode::unavailable, "The engine no longer holds that element."));
  fields.state->value = "changed";
  EXPECT_EQ(fields.controller.value(ElementValue{"2"}).value, "changed");
  EXPECT_EQ(fields.controller.value(ElementValue{"9"}).value, "changed");
  EXPECT_EQ(fields.state->valueAsked, (std::vector<std::string>{"e2", "e9"}));
  fields.state->value = std::string(200001, 'v');
  EXPECT_EQ(fields.controller.value(ElementValue{"2"}).toJson().dump(), R"({"value":null})");
  fields.state->value = std::nullopt;
  EXPECT_EQ(fields.controller.value(ElementValue{"2"}).toJson().dump(), R"({"value":null})");
}

TEST(FieldController, SnapshotsAreTakenOnceAndTheOldestFallOut) {
  Fields fields;
  std::vector<std::string> ids;
  for (int save = 0; save < 5; ++save) ids.push_back(fields.controller.saveClipboard().snapshot);
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  const EngineFailure gone(ErrorCode::unavailable, "The engine holds no such snapshot.");
  EXPECT_EQ(failureOf([&] { fields.controller.releaseClipboard(ClipboardRelease{"1"}); }), gone);
  fields.controller.releaseClipboard(ClipboardRelease{"2"});
  EXPECT_EQ(failureOf([&] { fields.controller.releaseClipboard(ClipboardRelease{"2"}); }), gone);
  const std::int64_t count = fields.state->changeCount;
  EXPECT_TRUE(fields.controller.restoreClipboard(ClipboardRestore{"3", count}).restored);
  EXPECT_EQ(failureOf([&] {
              fields.controller.restoreClipboard(ClipboardRestore{"3", count});
            }),
            gone);
  EXPECT_EQ(fields.controller.saveClipboard().snapshot, "6");
}

TEST(FieldController, RestoreOnlyWhenNobodyWroteSinceTheWrite) {
  struct Case {
    const char* name;
    bool otherWriteBetween;
    bool restored;
    std::string clipboardAfter;
  };
  const std::vector<Case> cases = {
      {"untouched since the write", false, true, "original"},
      {"the user copied in between", true, false, "user's newer copy"},
  };
  for (const auto& c : cases) {
    Fields fields;
    const ClipboardSaved saved = fields.controller.saveClipboard();
    const ClipboardWritten written =
        fields.controller.writeClipboard(ClipboardWrite{"dictated", false});
    EXPECT_EQ(fields.state->clipboard, "dictated") << c.name;
    if (c.otherWriteBetween) {
      fields.state->clipboard = "user's newer copy";
      ++fields.state->changeCount;
    }
    EXPECT_EQ(
        fields.controller.restoreClipboard(ClipboardRestore{saved.snapshot, written.changeCount})
            .restored,
        c.restored)
        << c.name;
    EXPECT_EQ(fields.state->clipboard, c.clipboardAfter) << c.name;
    EXPECT_EQ(
        failureOf([&] { fields.controller.releaseClipboard(ClipboardRelease{saved.snapshot}); }),
        EngineFailure(ErrorCode::unavailable, "The engine holds no such snapshot."))
        << c.name << ": the snapshot is consumed either way";
  }
}

TEST(FieldController, RestoreThatTheClipboardRefusesKeepsTheSnapshot) {
  const EngineFailure unreachable(ErrorCode::failed, "The clipboard could not be reached.");
  for (const char* operation : {"clipboardChangeCount", "restoreClipboard"}) {
    SCOPED_TRACE(operation);
    Fields fields;
    const ClipboardSaved saved = fields.controller.saveClipboard();
    const ClipboardWritten written =
        fields.controller.writeClipboard(ClipboardWrite{"dictated", false});
    fields.state->clipboardFailure = {operation, unreachable};
    EXPECT_EQ(
        failureOf([&] {
          fields.controller.restoreClipboard(ClipboardRestore{saved.snapshot, written.changeCount});
        }),
        unreachable);
    fields.state->clipboardFailure.reset();
    EXPECT_TRUE(
        fields.controller.restoreClipboard(ClipboardRestore{saved.snapshot, written.changeCount})
            .restored);
    EXPECT_EQ(fields.state->clipboard, "original");
  }
}

TEST(FieldController, WritePassesTheTransientFlag) {
  Fields fields;
  EXPECT_EQ(fields.controller.writeClipboard(ClipboardWrite{"", false}).changeCount, 11);
  EXPECT_EQ(fields.controller.writeClipboard(ClipboardWrite{"s", true}).changeCount, 12);
  EXPECT_EQ(fields.state->calls,
            (std::vector<std::string>{"writeClipboard", "writeClipboard transient"}));
}

TEST(FieldController, PasteFailuresReachTheCallerUnchanged) {
  Fields fields;
  fields.controller.paste();
  fields.state->pasteFailure =
      EngineFailure(ErrorCode::failed, "The paste keystroke could not be made.");
  EXPECT_EQ(failureOf([&] { fields.controller.paste(); }), *fields.state->pasteFailure);
}

TEST(FieldController, FailedRequestsLeaveTablesAlone) {
  Fields fields;
  fields.controller.saveClipboard();
  EXPECT_THROW(fields.controller.restoreClipboard(ClipboardRestore{"9", 0}), EngineFailure);
  EXPECT_THROW(fields.controller.value(ElementValue{"1"}), EngineFailure);
  fields.state->trusted = false;
  EXPECT_THROW(fields.controller.read(FocusRead{0, std::nullopt}), EngineFailure);
  fields.state->trusted = true;
  EXPECT_EQ(fields.controller.read(FocusRead{0, std::nullopt}).element->handle, "1");
  EXPECT_EQ(fields.controller.saveClipboard().snapshot, "2");
}

}  // namespace
}  // namespace halcy
