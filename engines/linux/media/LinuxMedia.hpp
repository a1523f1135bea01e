#pragma once
// "media.decode" on Linux: FFmpeg demuxes the file, decodes its first audio track and resamples
// it to 16 kHz mono signed 16-bit, as the ffmpeg tool does with "-ac 1 -ar 16000".

#include <memory>
#include <string>

#include "MediaDecode.hpp"

namespace halcy {

class LinuxMedia final : public MediaSource {
 public:
  std::unique_ptr<AudioTrackReader> openAudioTrack(const std::string& path) override;
};

}  // namespace halcy
