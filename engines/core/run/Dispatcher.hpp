#pragma once
// The one door between the wire and the areas: every request line becomes exactly one reply line.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "Areas.hpp"
#include "Clock.hpp"
#include "MethodTable.hpp"
#include "Microphone.hpp"
#include "Output.hpp"
#include "Protocol.hpp"
#include "TaskPool.hpp"

namespace halcy {

class Dispatcher {
 public:
  Dispatcher(std::shared_ptr<EngineHost> host, LineOutput& output, EngineAreas areas,
             PathClassifier pathKind = MicStartRules::onDisk, Clock clock = uptimeSeconds);
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Answers the line on a task of its own and returns at once.
  void receive(std::string line);
  // Answers the line here, runs its follow-up, and returns the reply instead of writing it.
  std::string reply(std::string_view line);
  // Waits until every received line has been answered, or `patience` has passed; true if all were.
  bool awaitAnswers(std::chrono::milliseconds patience);
  // Stops the recorder, the meeting and the areas that hold activities, in a fixed order, once.
  void shutdown();

 private:
  struct Answer {
    std::string line;
    std::function<void()> followUp;
  };

  Answer answer(std::string_view line);

  std::shared_ptr<EngineHost> host_;
  LineOutput& output_;
  std::unique_ptr<MicController> mic_;
  EngineAreas areas_;
  EngineParts parts_;
  std::atomic<bool> shut_{false};
  std::mutex inFlightMutex_;
  std::condition_variable allAnswered_;
  std::size_t inFlight_ = 0;
  // Last, so it is destroyed first: running requests end before the areas they use.
  TaskPool tasks_;
};

}  // namespace halcy
