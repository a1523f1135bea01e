#include "Jpeg.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "Base64.hpp"

namespace halcy::Jpeg {

namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};

constexpr double fullColourFrom = 0.9;

}  // namespace

int turboQuality(double quality) {
  if (!(quality > 0)) return 1;
  return std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
}

std::optional<std::string> encode(const Picture& picture, double quality) {
  if (picture.empty()) return std::nullopt;
  std::unique_ptr<void, HandleCloser> handle(tjInitCompress());
  if (!handle) return std::nullopt;
  const int subsampling = quality >= fullColourFrom ? TJSAMP_444 : TJSAMP_420;
  // Written straight into the string, sized for the worst case and cut to what was written.
  std::string file(tjBufSize(picture.width, picture.height, subsampling), '\0');
  auto* out = reinterpret_cast<unsigned char*>(file.data());
  unsigned long size = file.size();
  const int failed = tjCompress2(handle.get(), picture.pixels, picture.width,
                                 static_cast<int>(picture.stride), picture.height, TJPF_BGRX, &out,
                                 &size, subsampling, turboQuality(quality), TJFLAG_NOREALLOC);
  if (failed != 0 || size == 0) return std::nullopt;
  file.resize(size);
  return file;
}

std::optional<std::string> base64(const Picture& picture, double quality) {
  auto file = encode(picture, quality);
  if (!file) return std::nullopt;
  return base64Encode(*file);
}

}  // namespace halcy::Jpeg
