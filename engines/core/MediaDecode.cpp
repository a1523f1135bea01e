#include "MediaDecode.hpp"

#include "Areas.hpp"

namespace halcy {

MediaDecoded MediaDecode::decode(const MediaDecodeRequest&) {
  throw notBuiltYet();
}

}  // namespace halcy
