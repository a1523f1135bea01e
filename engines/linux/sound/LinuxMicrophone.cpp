#include "LinuxMicrophone.hpp"

namespace halcy {

// A lost sound server counts as a device change: the microphone went away, and the next start
// finds it again once a server is back.
void LinuxMeetingMicrophone::start(std::shared_ptr<MeetingSink> sink) {
  SourceRecording::Handlers handlers;
  handlers.onSamples = [sink](const std::vector<float>& samples) { sink->receive(samples); };
  handlers.onBroken = [sink] {
    sink->interrupt(MeetingInterruption::deviceChanged, "The microphone changed.");
  };
  recording_ = sound_->record(LinuxMicrophoneFragments::meetingSeconds, std::move(handlers));
}

void LinuxMeetingMicrophone::stop() {
  if (recording_) recording_->stop();
}

void LinuxMicrophone::start(std::shared_ptr<MicSink> sink) {
  SourceRecording::Handlers handlers;
  handlers.onSamples = [sink](const std::vector<float>& samples) { sink->receive(samples); };
  handlers.onBroken = [sink] { sink->fail("The microphone changed while recording."); };
  recording_ = sound_->record(LinuxMicrophoneFragments::recorderSeconds, std::move(handlers));
}

void LinuxMicrophone::stop() {
  if (recording_) recording_->stop();
}

}  // namespace halcy
