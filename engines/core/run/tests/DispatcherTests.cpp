#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Calendar.hpp"
#include "Dispatcher.hpp"
#include "InertEngineHost.hpp"

namespace halcy {
namespace {

class CollectingOutput final : public LineOutput {
 public:
  void write(std::string line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    changed_.notify_all();
  }
  std::vector<std::string> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return lines_.size() >= count; });
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

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
  CollectingOutput output;
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
  CollectingOutput output;
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
  CollectingOutput output;
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
  CollectingOutput output;
  Dispatcher dispatcher(std::make_shared<StillHost>(), output, areas);
  dispatcher.shutdown();
  dispatcher.shutdown();
  EXPECT_EQ(order, (std::vector<std::string>{"dictation", "keys", "pointer", "outline", "volume"}));
}

}  // namespace
}  // namespace halcy
