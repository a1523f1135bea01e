#include "MediaDecode.hpp"

#include "Output.hpp"

namespace halcy {

MediaDecoded MediaDecode::decode(const MediaDecodeRequest&) {
  throw notBuiltYet();
}

}  // namespace halcy
