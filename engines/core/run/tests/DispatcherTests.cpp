#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CapturingOutput.hpp"
#include "Dispatcher.hpp"
#include "InertEngineHost.hpp"

namespace halcy {
namespace {

class StillHost final : public InertEngineHost {
 public:
  Hello hello() override { return {1, "halcy-engine-test", "0.0.1", "test", "Test 1", 42}; }
  PermissionsStatus permissions() override {
    return {PermissionState::granted, PermissionState::denied, PermissionState::undetermined};
  }
  PermissionState request(Permission permission) override {
    return permission == Permission::microphone ? PermissionState::granted
                                                : PermissionState::denied;
  }
  PermissionState calendarAccess() override { return PermissionState::unsupported; }
};

struct DispatcherFixture {
  CapturingOutput output;
  Dispatcher dispatcher{std::make_shared<StillHost>(), output, EngineAreas::unbuilt()};
};

constexpr const char* notBuilt = R"(,"error":{"code":"unavailable","message":"Not built yet."}})";

TEST(Dispatcher, AnswersEveryEnvelopeCaseExactly) {
  struct Case {
    std::string line;
    std::string reply;
  };
  const std::string hello =
      R"({"protocol":1,"engine":"halcy-engine-test","version":"0.0.1","os":"test","osVersion":"Test 1","pid":42})";
  const std::vector<Case> cases = {
      {"{}", R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {"[]", R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {"not json", R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"id":"1","method":"hello","params":{"protocol":1}})",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"id":1.5,"method":"hello","params":{"protocol":1}})",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"id":9223372036854775808,"method":"hello","params":{}})",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"id":1,"method":7,"params":{}})",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"method":"hello","params":{"protocol":1}})",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {std::string(R"({"id":1,"method":"hello","params":{"protocol":1}})") + '\0' + "garbage",
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {std::string(R"({"id":1,"method":"hello","params":{"protocol":1}})") + '\0',
       R"({"id":0,"error":{"code":"invalid_params","message":"Not a request line."}})"},
      {R"({"id":1,"method":"Hello","params":{}})",
       R"({"id":1,"error":{"code":"unknown_method","message":"No method Hello."}})"},
      {R"({"id":-3,"method":"a/b","params":{}})",
       R"({"id":-3,"error":{"code":"unknown_method","message":"No method a/b."}})"},
      {R"({"id":2,"method":"hello","params":{"protocol":0}})",
       R"({"id":2,"result":)" + hello + "}"},
      {R"({"id":3,"method":"hello","params":{"protocol":99,"extra":true},"other":1})",
       R"({"id":3,"result":)" + hello + "}"},
      {R"({"id":3.0,"method":"hello","params":{"protocol":1.0}})",
       R"({"id":3,"result":)" + hello + "}"},
      {R"({"id":4,"method":"hello","params":{}})",
       R"({"id":4,"error":{"code":"invalid_params","message":"Invalid params for hello."}})"},
      {R"({"id":4,"method":"hello","params":{"protocol":"1"}})",
       R"({"id":4,"error":{"code":"invalid_params","message":"Invalid params for hello."}})"},
      {R"({"id":4,"method":"hello"})",
       R"({"id":4,"error":{"code":"invalid_params","message":"Invalid params for hello."}})"},
      {R"({"id":5,"method":"permissions.status"})",
       R"({"id":5,"error":{"code":"invalid_params","message":"Invalid params for permissions.status."}})"},
      {R"({"id":5,"method":"permissions.status","params":[]})",
       R"({"id":5,"error":{"code":"invalid_params","message":"Invalid params for permissions.status."}})"},
      {R"({"id":5,"method":"permissions.status","params":null})",
       R"({"id":5,"error":{"code":"invalid_params","message":"Invalid params for permissions.status."}})"},
      {R"({"id":6,"method":"permissions.status","params":{"zeta":1,"Alpha":2,"é":3,"alpha":4}})",
       R"({"id":6,"error":{"code":"invalid_params","message":"permissions.status takes no Alpha, alpha, zeta, é."}})"},
      {R"({"id":7,"method":"permissions.status","params":{}})",
       R"({"id":7,"result":{"permissions":{"accessibility":"granted","screenRecording":"denied","microphone":"undetermined"}}})"},
      {R"({"id":8,"method":"permissions.request","params":{"permission":"microphone"}})",
       R"({"id":8,"result":{"state":"granted"}})"},
      {R"({"id":8,"method":"permissions.request","params":{"permission":"camera"}})",
       R"({"id":8,"error":{"code":"invalid_params","message":"Invalid params for permissions.request."}})"},
      {R"({"id":8,"method":"permissions.request","params":{}})",
       R"({"id":8,"error":{"code":"invalid_params","message":"Invalid params for permissions.request."}})"},
      {R"({"id":8,"method":"permissions.request","params":{"permission":"microphone","x":1}})",
       R"({"id":8,"error":{"code":"invalid_params","message":"permissions.request takes no x."}})"},
      {R"({"id":9,"method":"calendar.access","params":{}})",
       R"({"id":9,"result":{"state":"unsupported"}})"},
      {R"({"id":10,"method":"keys.state","params":{}})", R"({"id":10)" + std::string(notBuilt)},
  };
  DispatcherFixture fixture;
  for (const auto& c : cases) EXPECT_EQ(fixture.dispatcher.reply(c.line), c.reply) << c.line;
}

// Every method of the table is routed: none answers "No method", and every one of them refuses
// a stray key with its own name before anything else runs.
TEST(Dispatcher, KnowsAllFiftyMethodsAndChecksTheirKeysFirst) {
  const std::vector<std::string> methods = {"hello",
                                            "permissions.status",
                                            "permissions.request",
                                            "mic.start",
                                            "mic.stop",
                                            "meeting.start",
                                            "meeting.stop",
                                            "meeting.reopen",
                                            "meeting.snap",
                                            "calendar.access",
                                            "calendar.request",
                                            "calendar.events",
                                            "windows.list",
                                            "keys.watch",
                                            "keys.state",
                                            "apps.front",
                                            "apps.activate",
                                            "dictation.start",
                                            "dictation.stop",
                                            "focus.prime",
                                            "focus.read",
                                            "element.value",
                                            "clipboard.save",
                                            "clipboard.write",
                                            "clipboard.restore",
                                            "clipboard.release",
                                            "input.paste",
                                            "screen.read",
                                            "screen.capture",
                                            "screen.region",
                                            "structure.read",
                                            "pointer.read",
                                            "pointer.element",
                                            "input.watch",
                                            "outline.read",
                                            "outline.frames",
                                            "outline.watch",
                                            "outline.state",
                                            "outline.visible",
                                            "outline.find",
                                            "ink.capture",
                                            "ink.compose",
                                            "ink.release",
                                            "apps.running",
                                            "apps.quit",
                                            "apps.describe",
                                            "files.search",
                                            "document.pdfText",
                                            "media.decode",
                                            "volume.watch"};
  ASSERT_EQ(methods.size(), 50u);
  DispatcherFixture fixture;
  for (const auto& method : methods) {
    const std::string reply = fixture.dispatcher.reply(R"({"id":1,"method":")" + method +
                                                       R"(","params":{"~b":1,"~a":2}})");
    EXPECT_EQ(reply.find("No method"), std::string::npos) << method;
    if (method == "hello") continue;
    EXPECT_EQ(reply, R"({"id":1,"error":{"code":"invalid_params","message":")" + method +
                         R"( takes no ~a, ~b."}})");
  }
}

class BlockingKeys final : public KeysArea {
 public:
  KeysWatching watch(const KeysWatch&) override { return {}; }
  KeysState state() override {
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return open; });
    return {};
  }
  AppsFront front() override { throw EngineFailure(ErrorCode::busy, "Busy here."); }
  NoResult activate(const AppsActivate&) override { return {}; }
  void shutdown() override { order->push_back("keys"); }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    released.notify_all();
  }

  std::mutex mutex;
  std::condition_variable released;
  bool open = false;
  std::vector<std::string>* order = nullptr;
};

template <class Base>
class RecordingShutdown final : public Base {
 public:
  RecordingShutdown(std::vector<std::string>& order, std::string name)
      : order_(order), name_(std::move(name)) {}
  void shutdown() override { order_.push_back(name_); }

 private:
  std::vector<std::string>& order_;
  std::string name_;
};

class FailingFields final : public UnbuiltFields {
 public:
  FocusPrimed prime() override { throw std::runtime_error("boom"); }
};

class ShutdownDictation final : public DictationArea {
 public:
  explicit ShutdownDictation(std::vector<std::string>& order) : order_(order) {}
  DictationStarted start() override { throw notBuiltYet(); }
  DictationStopped stop() override { throw notBuiltYet(); }
  void shutdown() override { order_.push_back("dictation"); }

 private:
  std::vector<std::string>& order_;
};

TEST(Dispatcher, MapsAreaFailuresAndRunsRequestsConcurrently) {
  std::vector<std::string> order;
  auto keys = std::make_shared<BlockingKeys>();
  keys->order = &order;
  auto areas = EngineAreas::unbuilt();
  areas.keys = keys;
  areas.fields = std::make_shared<FailingFields>();
  CapturingOutput output;
  Dispatcher dispatcher(std::make_shared<StillHost>(), output, areas);

  dispatcher.receive(R"({"id":1,"method":"keys.state","params":{}})");
  dispatcher.receive(R"({"id":2,"method":"apps.front","params":{}})");
  dispatcher.receive(R"({"id":3,"method":"focus.prime","params":{}})");
  auto early = output.waitFor(2);
  ASSERT_EQ(early.size(), 2u) << "the slow request held up the others";
  keys->release();
  auto lines = output.waitFor(3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines.back(), R"({"id":1,"result":{"flags":0,"buttons":0,"at":0.0}})");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      R"({"id":2,"error":{"code":"busy","message":"Busy here."}})"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      R"({"id":3,"error":{"code":"failed","message":"focus.prime failed."}})"),
            lines.end());
  EXPECT_TRUE(dispatcher.awaitAnswers(std::chrono::seconds(5)));
}

TEST(Dispatcher, AThousandSlowRequestsEachGetTheirReply) {
  auto keys = std::make_shared<BlockingKeys>();
  auto areas = EngineAreas::unbuilt();
  areas.keys = keys;
  CapturingOutput output;
  Dispatcher dispatcher(std::make_shared<StillHost>(), output, areas);
  constexpr int requests = 1000;
  for (int id = 1; id <= requests; ++id) {
    dispatcher.receive(R"({"id":)" + std::to_string(id) + R"(,"method":"keys.state","params":{}})");
  }
  dispatcher.receive(R"({"id":0,"method":"hello","params":{"protocol":1}})");
  ASSERT_EQ(output.waitFor(1).size(), 1u) << "a fast request waited behind slow ones";
  keys->release();
  ASSERT_TRUE(dispatcher.awaitAnswers(std::chrono::seconds(30)));
  auto lines = output.waitFor(requests + 1);
  std::vector<bool> answered(requests + 1, false);
  for (const auto& line : lines) answered[Json::parse(line)["id"].get<int>()] = true;
  EXPECT_EQ(std::count(answered.begin(), answered.end(), true), requests + 1);
}

// A meeting that holds the stream and records when it was told its reply went out.
class StreamingMeeting final : public UnbuiltMeeting {
 public:
  explicit StreamingMeeting(CapturingOutput& output) : output_(output) {}
  MeetingStarted start(const MeetingStart&) override { return {}; }
  MeetingReopened reopen(const MeetingReopen& request) override {
    if (request.source == AudioSource::system) throw EngineFailure(ErrorCode::busy, "Busy here.");
    return {};
  }
  void answered() override { linesWhenAnswered.push_back(output_.lines().size()); }
  bool holdsStream() override { return true; }

  std::vector<std::size_t> linesWhenAnswered;

 private:
  CapturingOutput& output_;
};

class StreamAwareScreen final : public UnbuiltScreen {
 public:
  ScreenCaptured capture(const ScreenCapture&, bool meetingRunning) override {
    told.push_back(meetingRunning);
    return {};
  }
  ScreenRegionCaptured region(const ScreenRegion&, bool meetingRunning) override {
    told.push_back(meetingRunning);
    return {};
  }
  std::vector<bool> told;
};

class StreamAwareInk final : public UnbuiltInk {
 public:
  InkCaptured capture(const InkCapture&, bool meetingRunning) override {
    told.push_back(meetingRunning);
    return {};
  }
  std::vector<bool> told;
};

TEST(Dispatcher, MeetingHearsOfItsRepliesAndCapturesHearOfTheMeeting) {
  CapturingOutput output;
  auto meeting = std::make_shared<StreamingMeeting>(output);
  auto screen = std::make_shared<StreamAwareScreen>();
  auto ink = std::make_shared<StreamAwareInk>();
  auto areas = EngineAreas::unbuilt();
  areas.meeting = meeting;
  areas.screen = screen;
  areas.ink = ink;
  Dispatcher dispatcher(std::make_shared<StillHost>(), output, areas);
  const char* requests[] = {
      R"({"id":1,"method":"meeting.start","params":{"microphone":true,"system":null}})",
      R"({"id":2,"method":"meeting.reopen","params":{"source":"system"}})",
      R"({"id":3,"method":"meeting.reopen","params":{"source":"microphone"}})",
      R"({"id":4,"method":"meeting.start","params":{"microphone":1,"system":null}})",
      R"({"id":5,"method":"screen.capture","params":{"pid":null,"excludePids":[],"neverLook":[],"longEdge":64,"quality":0.5}})",
      R"({"id":6,"method":"screen.region","params":{"rect":{"x":0,"y":0,"width":8,"height":8},"excludePids":[],"neverLook":[],"quality":0.5}})",
      R"({"id":7,"method":"ink.capture","params":{"x":0,"y":0,"excludePids":[],"neverLook":[]}})",
  };
  for (const char* request : requests) {
    dispatcher.receive(request);
    ASSERT_TRUE(dispatcher.awaitAnswers(std::chrono::seconds(5)));
  }
  // Only the two replies that succeeded are followed up, each once it has been written.
  EXPECT_EQ(meeting->linesWhenAnswered, (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(output.lines()[1], R"({"id":2,"error":{"code":"busy","message":"Busy here."}})");
  EXPECT_EQ(screen->told, (std::vector<bool>{true, true}));
  EXPECT_EQ(ink->told, (std::vector<bool>{true}));
}

TEST(Dispatcher, ShutsDownInTheFixedOrderExactlyOnce) {
  std::vector<std::string> order;
  auto keys = std::make_shared<BlockingKeys>();
  keys->order = &order;
  auto areas = EngineAreas::unbuilt();
  areas.keys = keys;
  areas.dictation = std::make_shared<ShutdownDictation>(order);
  areas.pointer = std::make_shared<RecordingShutdown<UnbuiltPointer>>(order, "pointer");
  areas.outline = std::make_shared<RecordingShutdown<UnbuiltOutline>>(order, "outline");
  areas.volume = std::make_shared<RecordingShutdown<UnbuiltVolume>>(order, "volume");
  areas.meeting = std::make_shared<RecordingShutdown<UnbuiltMeeting>>(order, "meeting");
  CapturingOutput output;
  Dispatcher dispatcher(std::make_shared<StillHost>(), output, areas);
  dispatcher.shutdown();
  dispatcher.shutdown();
  EXPECT_EQ(order, (std::vector<std::string>{"meeting", "dictation", "keys", "pointer", "outline",
                                             "volume"}));
}

}  // namespace
}  // namespace halcy
