#pragma once
// The microphone recorder behind "mic.start" and "mic.stop".

#include <functional>
#include <memory>
#include <string>

#include "Clock.hpp"
#include "MicProtocol.hpp"
#include "Output.hpp"
#include "Protocol.hpp"

namespace halcy {

namespace MicStartRules {
enum class PathKind { missing, file, folder };
PathKind onDisk(const std::string& path);
}  // namespace MicStartRules

using PathClassifier = std::function<MicStartRules::PathKind(const std::string& path)>;

class MicController {
 public:
  MicController(std::shared_ptr<EngineHost> host, LineOutput& output, PathClassifier pathKind,
                Clock clock);
  MicStarted start(const MicStart& request);
  MicRecording stop();
  void shutdown();

 private:
  std::shared_ptr<EngineHost> host_;
  LineOutput& output_;
  PathClassifier pathKind_;
  Clock clock_;
};

}  // namespace halcy
