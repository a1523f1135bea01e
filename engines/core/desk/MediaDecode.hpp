#pragma once
// Media files decoded to 16 kHz mono WAV: the media area behind "media.decode".

#include "MediaProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class MediaArea {
 public:
  virtual ~MediaArea() = default;
  virtual MediaDecoded decode(const MediaDecodeRequest& request) = 0;
};

class UnbuiltMedia : public MediaArea {
 public:
  MediaDecoded decode(const MediaDecodeRequest&) override { throw notBuiltYet(); }
};

}  // namespace halcy
