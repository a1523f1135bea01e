#include "Microphone.hpp"

#include <filesystem>

#include "Areas.hpp"

namespace halcy {

MicStartRules::PathKind MicStartRules::onDisk(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return PathKind::missing;
  return std::filesystem::is_directory(status) ? PathKind::folder : PathKind::file;
}

MicController::MicController(std::shared_ptr<EngineHost> host, LineOutput& output,
                             PathClassifier pathKind, Clock clock)
    : host_(std::move(host)), output_(output), pathKind_(std::move(pathKind)), clock_(std::move(clock)) {}

MicStarted MicController::start(const MicStart&) { throw notBuiltYet(); }
MicRecording MicController::stop() { throw notBuiltYet(); }
void MicController::shutdown() {}

}  // namespace halcy
