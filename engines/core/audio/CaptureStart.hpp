#pragma once
// What dictation and the recorder share when they open the microphone: the permission check, the
// start that leaves nothing behind when it fails, and the words for both failures.

#include <memory>

#include "Output.hpp"
#include "Permission.hpp"

namespace halcy::CaptureStart {

EngineFailure notAllowed();
EngineFailure didNotStart();

// Throws `notAllowed` unless the microphone permission is granted.
void requireMicrophone(PermissionState permission);

// Starts `capture` (none counts as not starting) into `sink`. On failure the sink is discarded,
// so nothing the capture delivered before failing reaches anyone, and the caller is told an
// EngineFailure: the capture's own, or `didNotStart`.
template <class Capture, class Sink>
void startOrDiscard(Capture* capture, const std::shared_ptr<Sink>& sink) {
  try {
    if (capture == nullptr) throw didNotStart();
    capture->start(sink);
  } catch (const EngineFailure&) {
    sink->discard();
    throw;
  } catch (...) {
    sink->discard();
    throw didNotStart();
  }
}

}  // namespace halcy::CaptureStart
