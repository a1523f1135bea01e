// Feeds arbitrary bytes to the dispatcher as request lines, with placeholder areas and a host that
// touches nothing outside the process.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "Dispatcher.hpp"
#include "Entry.hpp"
#include "InertEngineHost.hpp"

namespace {

using namespace halcy;

class DiscardOutput final : public LineOutput {
 public:
  void write(std::string) override {}
};

Dispatcher& dispatcher() {
  static DiscardOutput output;
  static Dispatcher instance(std::make_shared<InertEngineHost>(), output, EngineAreas::unbuilt(),
                             [](const std::string&) { return MicStartRules::PathKind::missing; });
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  InputLines lines([](std::string line) {
    if (!line.empty()) dispatcher().reply(line);
  });
  lines.feed(bytes);
  lines.finish();
  return 0;
}
