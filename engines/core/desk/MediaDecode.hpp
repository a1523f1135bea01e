#pragma once
// Media files decoded to 16 kHz mono WAV.

#include "MediaProtocol.hpp"

namespace halcy::MediaDecode {
MediaDecoded decode(const MediaDecodeRequest& request);
}
