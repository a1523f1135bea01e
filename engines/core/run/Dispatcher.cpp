#include "Dispatcher.hpp"

namespace halcy {

Dispatcher::Dispatcher(std::shared_ptr<EngineHost> host, LineOutput& output, EngineAreas areas,
                       PathClassifier pathKind, Clock clock)
    : host_(std::move(host)),
      output_(output),
      mic_(std::make_unique<MicController>(host_, output, std::move(pathKind), std::move(clock))),
      areas_(std::move(areas)),
      parts_{*host_, *mic_, areas_} {}

Dispatcher::~Dispatcher() = default;

namespace {
struct Envelope {
  std::int64_t id;
  std::string method;
};

std::optional<Envelope> envelopeOf(const Json& request) {
  if (!request.is_object()) return std::nullopt;
  auto id = request.find("id");
  auto method = request.find("method");
  if (id == request.end() || method == request.end() || !method->is_string()) return std::nullopt;
  try {
    return Envelope{decode::integer(*id), method->get<std::string>()};
  } catch (const DecodeError&) {
    return std::nullopt;
  }
}
}  // namespace

Dispatcher::Answer Dispatcher::answer(std::string_view line) {
  // The parser stops at a NUL byte as if the text ended there; no JSON text holds one raw.
  Json request = line.find('\0') == std::string_view::npos
                     ? Json::parse(line.begin(), line.end(), nullptr, false)
                     : Json(Json::value_t::discarded);
  auto envelope = envelopeOf(request);
  if (!envelope) {
    return {Frames::failure(0, EngineFailure(ErrorCode::invalidParams, "Not a request line.")),
            nullptr};
  }
  const MethodTable::Row* row = engineMethods().find(envelope->method);
  if (row == nullptr) {
    return {Frames::failure(envelope->id, EngineFailure(ErrorCode::unknownMethod,
                                                        "No method " + envelope->method + ".")),
            nullptr};
  }
  try {
    MethodCall call = row->run(parts_, envelope->method, request);
    return {Frames::success(envelope->id, call.result), std::move(call.followUp)};
  } catch (const EngineFailure& failure) {
    return {Frames::failure(envelope->id, failure), nullptr};
  } catch (...) {
    return {Frames::failure(envelope->id,
                            EngineFailure(ErrorCode::failed, envelope->method + " failed.")),
            nullptr};
  }
}

void Dispatcher::receive(std::string line) {
  {
    std::lock_guard lock(inFlightMutex_);
    ++inFlight_;
  }
  tasks_.run([this, line = std::move(line)] {
    Answer answered = answer(line);
    output_.write(std::move(answered.line));
    if (answered.followUp) answered.followUp();
    std::lock_guard lock(inFlightMutex_);
    if (--inFlight_ == 0) allAnswered_.notify_all();
  });
}

bool Dispatcher::awaitAnswers(std::chrono::milliseconds patience) {
  std::unique_lock lock(inFlightMutex_);
  return allAnswered_.wait_for(lock, patience, [&] { return inFlight_ == 0; });
}

std::string Dispatcher::reply(std::string_view line) {
  Answer answered = answer(line);
  if (answered.followUp) answered.followUp();
  return answered.line;
}

void Dispatcher::shutdown() {
  if (shut_.exchange(true)) return;
  const std::function<void()> steps[] = {
      [&] { mic_->shutdown(); },
      [&] { areas_.meeting->shutdown(); },
      [&] { areas_.dictation->shutdown(); },
      [&] { areas_.keys->shutdown(); },
      [&] { areas_.pointer->shutdown(); },
      [&] { areas_.outline->shutdown(); },
      [&] { areas_.volume->shutdown(); },
  };
  for (const auto& step : steps) {
    try {
      step();
    } catch (...) {
      // Shutdown goes on whatever one area does.
    }
  }
}

}  // namespace halcy
