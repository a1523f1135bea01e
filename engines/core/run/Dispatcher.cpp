#include "Dispatcher.hpp"

#include <algorithm>
#include <initializer_list>
#include <unordered_map>
#include <vector>

#include "Calendar.hpp"
#include "DeskRules.hpp"
#include "MediaDecode.hpp"
#include "Windows.hpp"

namespace halcy {

namespace {

EngineFailure invalidParams(std::string_view method) {
  return EngineFailure(ErrorCode::invalidParams, "Invalid params for " + std::string(method) + ".");
}

// The "params" object, after refusing the keys a method does not take. A null key list takes any.
const Json& checkedParams(std::string_view method, const Json& request,
                          const std::vector<std::string_view>* allowed) {
  auto found = request.find("params");
  if (found == request.end() || !found->is_object()) throw invalidParams(method);
  if (allowed == nullptr) return *found;
  std::vector<std::string> refused;
  for (const auto& item : found->items()) {
    if (std::find(allowed->begin(), allowed->end(), item.key()) == allowed->end()) {
      refused.push_back(item.key());
    }
  }
  if (refused.empty()) return *found;
  // std::string compares bytes; UTF-8 byte order is code-point order.
  std::sort(refused.begin(), refused.end());
  std::string message = std::string(method) + " takes no ";
  for (std::size_t index = 0; index < refused.size(); ++index) {
    if (index > 0) message += ", ";
    message += refused[index];
  }
  throw EngineFailure(ErrorCode::invalidParams, message + ".");
}

template <class Params>
Params decodeParams(std::string_view method, const Json& params) {
  try {
    return Params::decode(JsonObject(params));
  } catch (const EngineFailure&) {
    throw;
  } catch (const DecodeError&) {
    throw invalidParams(method);
  } catch (const Json::exception&) {
    throw invalidParams(method);
  }
}

}  // namespace

struct MethodTable {
  using Handler = std::function<Dispatcher::Call(Dispatcher&, const Json& params)>;
  struct Row {
    std::vector<std::string_view> keys;
    bool anyKeys = false;
    Handler handler;
  };

  template <class Result>
  static Dispatcher::Call done(const Result& result) {
    return {result.toJson(), nullptr};
  }

  // A row whose "params" must be an empty object.
  template <class Call>
  static Row none(Call call) {
    return {
        {}, false, [call](Dispatcher& dispatcher, const Json&) { return done(call(dispatcher)); }};
  }

  // A row that decodes `Params` from "params" holding only `keys`.
  template <class Params, class Call>
  static Row taking(std::string_view method, std::initializer_list<std::string_view> keys,
                    Call call) {
    return {keys, false, [call, method](Dispatcher& dispatcher, const Json& params) {
              return done(call(dispatcher, decodeParams<Params>(method, params)));
            }};
  }

  static const std::unordered_map<std::string_view, Row>& rows();
};

const std::unordered_map<std::string_view, MethodTable::Row>& MethodTable::rows() {
  using D = Dispatcher;
  static const std::unordered_map<std::string_view, Row> table = {
      {"hello",
       {{},
        true,
        [](D& d, const Json& params) {
          decodeParams<HelloParams>("hello", params);
          return done(d.host_->hello());
        }}},
      {"permissions.status", none([](D& d) { return d.host_->permissions(); })},
      {"permissions.request", taking<PermissionRequest>("permissions.request", {"permission"},
                                                        [](D& d, const PermissionRequest& request) {
                                                          return PermissionAnswer{
                                                              d.host_->request(request.permission)};
                                                        })},
      {"mic.start", taking<MicStart>("mic.start", {"path", "maxSeconds"},
                                     [](D& d, const MicStart& request) {
                                       std::lock_guard serial(d.micSerial_);
                                       return d.mic_->start(request);
                                     })},
      {"mic.stop", none([](D& d) {
         std::lock_guard serial(d.micSerial_);
         return d.mic_->stop();
       })},
      {"meeting.start",
       {{"microphone", "system"},
        false,
        [](D& d, const Json& params) {
          auto started = d.meeting_->start(decodeParams<MeetingStart>("meeting.start", params));
          return D::Call{started.toJson(), [&d] { d.meeting_->answered(); }};
        }}},
      {"meeting.stop", none([](D& d) { return d.meeting_->stop(); })},
      {"meeting.reopen",
       {{"source"},
        false,
        [](D& d, const Json& params) {
          auto reopened = d.meeting_->reopen(decodeParams<MeetingReopen>("meeting.reopen", params));
          return D::Call{reopened.toJson(), [&d] { d.meeting_->answered(); }};
        }}},
      {"meeting.snap", taking<MeetingSnap>("meeting.snap", {"call", "neverLook"},
                                           [](D& d, const MeetingSnap& request) {
                                             return d.meeting_->snap(request);
                                           })},
      {"calendar.access", none([](D& d) { return PermissionAnswer{d.host_->calendarAccess()}; })},
      {"calendar.request",
       none([](D& d) { return PermissionAnswer{d.host_->requestCalendarAccess()}; })},
      {"calendar.events",
       taking<CalendarEventsRequest>("calendar.events", {"from", "to"},
                                     [](D& d, const CalendarEventsRequest& request) {
                                       return CalendarRules::events(request, *d.host_);
                                     })},
      {"windows.list", taking<WindowsListRequest>("windows.list", {"bundleIds"},
                                                  [](D& d, const WindowsListRequest& request) {
                                                    return WindowRules::list(request, *d.host_);
                                                  })},
      {"keys.watch", taking<KeysWatch>("keys.watch", {"watch", "downsWhile"},
                                       [](D& d, const KeysWatch& request) {
                                         return d.areas_.keys->watch(request);
                                       })},
      {"keys.state", none([](D& d) { return d.areas_.keys->state(); })},
      {"apps.front", none([](D& d) { return d.areas_.keys->front(); })},
      {"apps.activate", taking<AppsActivate>("apps.activate", {"pid"},
                                             [](D& d, const AppsActivate& request) {
                                               return d.areas_.keys->activate(request);
                                             })},
      {"dictation.start", none([](D& d) { return d.areas_.dictation->start(); })},
      {"dictation.stop", none([](D& d) { return d.areas_.dictation->stop(); })},
      {"focus.prime", none([](D& d) { return d.areas_.fields->prime(); })},
      {"focus.read", taking<FocusRead>("focus.read", {"surroundingChars", "pid"},
                                       [](D& d, const FocusRead& request) {
                                         return d.areas_.fields->read(request);
                                       })},
      {"element.value", taking<ElementValue>("element.value", {"handle"},
                                             [](D& d, const ElementValue& request) {
                                               return d.areas_.fields->value(request);
                                             })},
      {"clipboard.save", none([](D& d) { return d.areas_.fields->saveClipboard(); })},
      {"clipboard.write", taking<ClipboardWrite>("clipboard.write", {"text", "transient"},
                                                 [](D& d, const ClipboardWrite& request) {
                                                   return d.areas_.fields->writeClipboard(request);
                                                 })},
      {"clipboard.restore",
       taking<ClipboardRestore>("clipboard.restore", {"snapshot", "ifChangeCount"},
                                [](D& d, const ClipboardRestore& request) {
                                  return d.areas_.fields->restoreClipboard(request);
                                })},
      {"clipboard.release", taking<ClipboardRelease>("clipboard.release", {"snapshot"},
                                                     [](D& d, const ClipboardRelease& request) {
                                                       return d.areas_.fields->releaseClipboard(
                                                           request);
                                                     })},
      {"input.paste", none([](D& d) { return d.areas_.fields->paste(); })},
      {"screen.read", taking<ScreenRead>("screen.read", {"pid", "maxChars", "neverLook"},
                                         [](D& d, const ScreenRead& request) {
                                           return d.areas_.screen->read(request);
                                         })},
      {"screen.capture",
       taking<ScreenCapture>("screen.capture",
                             {"pid", "excludePids", "neverLook", "longEdge", "quality"},
                             [](D& d, const ScreenCapture& request) {
                               const bool meetingRunning = d.meeting_->holdsStream();
                               return d.areas_.screen->capture(request, meetingRunning);
                             })},
      {"screen.region",
       taking<ScreenRegion>("screen.region", {"rect", "excludePids", "neverLook", "quality"},
                            [](D& d, const ScreenRegion& request) {
                              const bool meetingRunning = d.meeting_->holdsStream();
                              return d.areas_.screen->region(request, meetingRunning);
                            })},
      {"structure.read", taking<StructureRead>("structure.read", {"pid", "bundleId", "neverLook"},
                                               [](D& d, const StructureRead& request) {
                                                 return d.areas_.screen->structure(request);
                                               })},
      {"pointer.read", none([](D& d) { return d.areas_.pointer->read(); })},
      {"pointer.element",
       taking<PointerElementRequest>(
           "pointer.element", {"x", "y", "excludePids", "beneathHalcy", "neverLook", "selectionOf"},
           [](D& d, const PointerElementRequest& request) {
             return d.areas_.pointer->element(request);
           })},
      {"input.watch",
       taking<InputWatch>("input.watch", {"pointer", "keys", "moves", "scroll", "excludePids"},
                          [](D& d, const InputWatch& request) {
                            return d.areas_.pointer->watch(request);
                          })},
      {"outline.read", taking<OutlineRead>("outline.read", {"pid", "budgetMs", "neverLook"},
                                           [](D& d, const OutlineRead& request) {
                                             return d.areas_.outline->read(request);
                                           })},
      {"outline.frames", taking<OutlineFrames>("outline.frames", {"outline", "refs"},
                                               [](D& d, const OutlineFrames& request) {
                                                 return d.areas_.outline->frames(request);
                                               })},
      {"outline.watch", taking<OutlineWatch>("outline.watch", {"pid"},
                                             [](D& d, const OutlineWatch& request) {
                                               return d.areas_.outline->watch(request);
                                             })},
      {"outline.state", taking<OutlineFrames>("outline.state", {"outline", "refs"},
                                              [](D& d, const OutlineFrames& request) {
                                                return d.areas_.outline->state(request);
                                              })},
      {"outline.visible", taking<OutlineFrames>("outline.visible", {"outline", "refs"},
                                                [](D& d, const OutlineFrames& request) {
                                                  return d.areas_.outline->visible(request);
                                                })},
      {"outline.find", taking<OutlineFind>("outline.find", {"outline", "name", "role", "limit"},
                                           [](D& d, const OutlineFind& request) {
                                             return d.areas_.outline->find(request);
                                           })},
      {"ink.capture", taking<InkCapture>("ink.capture", {"x", "y", "excludePids", "neverLook"},
                                         [](D& d, const InkCapture& request) {
                                           const bool meetingRunning = d.meeting_->holdsStream();
                                           return d.areas_.ink->capture(request, meetingRunning);
                                         })},
      {"ink.compose", taking<InkCompose>("ink.compose", {"pieces", "marks", "context", "readText"},
                                         [](D& d, const InkCompose& request) {
                                           return d.areas_.ink->compose(request);
                                         })},
      {"ink.release", taking<InkRelease>("ink.release", {"captures"},
                                         [](D& d, const InkRelease& request) {
                                           return d.areas_.ink->release(request);
                                         })},
      {"apps.running", none([](D& d) { return d.areas_.desk->running(); })},
      {"apps.quit", taking<AppsQuit>("apps.quit", {"bundleId", "pid"},
                                     [](D& d, const AppsQuit& request) {
                                       return QuitRules::quit(request, *d.areas_.desk);
                                     })},
      {"apps.describe", taking<AppsDescribe>("apps.describe", {"bundleIds", "iconPx"},
                                             [](D& d, const AppsDescribe& request) {
                                               return d.areas_.desk->describe(request);
                                             })},
      {"files.search", taking<FilesSearch>("files.search", {"names", "limit", "patienceMs"},
                                           [](D& d, const FilesSearch& request) {
                                             return d.areas_.desk->search(request);
                                           })},
      {"document.pdfText", taking<DocumentPdfText>("document.pdfText", {"data"},
                                                   [](D& d, const DocumentPdfText& request) {
                                                     return d.areas_.desk->pdfText(request);
                                                   })},
      {"media.decode", taking<MediaDecodeRequest>("media.decode", {"path", "out"},
                                                  [](D& d, const MediaDecodeRequest& request) {
                                                    return MediaDecode::decode(request, *d.host_);
                                                  })},
      {"volume.watch", taking<VolumeWatch>("volume.watch", {"watch"},
                                           [](D& d, const VolumeWatch& request) {
                                             return d.areas_.volume->watch(request);
                                           })},
  };
  return table;
}

Dispatcher::Dispatcher(std::shared_ptr<EngineHost> host, LineOutput& output, EngineAreas areas,
                       PathClassifier pathKind, Clock clock)
    : host_(std::move(host)),
      output_(output),
      mic_(std::make_unique<MicController>(host_, output, std::move(pathKind), clock)),
      meeting_(std::make_unique<MeetingController>(host_, output, clock)),
      areas_(std::move(areas)) {}

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
  const auto& rows = MethodTable::rows();
  auto row = rows.find(envelope->method);
  if (row == rows.end()) {
    return {Frames::failure(envelope->id, EngineFailure(ErrorCode::unknownMethod,
                                                        "No method " + envelope->method + ".")),
            nullptr};
  }
  try {
    const auto* keys = row->second.anyKeys ? nullptr : &row->second.keys;
    const Json& params = checkedParams(envelope->method, request, keys);
    Call call = row->second.handler(*this, params);
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
      [&] { meeting_->shutdown(); },
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
