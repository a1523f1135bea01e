// Dispatch and frame encoding costs: a whole "hello" answered in-process, and the two frame sizes
// audio notices and picture results reach. A plain copy of the same bytes is the floor.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "Dispatcher.hpp"
#include "LinuxHost.hpp"

namespace {

using namespace halcy;

class DiscardOutput final : public LineOutput {
 public:
  void write(std::string) override {}
};

std::string base64Like(std::size_t length) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text(length, 'A');
  for (std::size_t index = 0; index < length; ++index) text[index] = alphabet[(index * 7) % 64];
  return text;
}

void helloRoundTrip(benchmark::State& state) {
  DiscardOutput output;
  Dispatcher dispatcher(
      std::make_shared<LinuxHost>(std::make_shared<LinuxSound>(), std::make_shared<XConnection>()),
      output, EngineAreas::unbuilt());
  const std::string line = R"({"id":1,"method":"hello","params":{"protocol":1}})";
  for (auto _ : state) benchmark::DoNotOptimize(dispatcher.reply(line));
}
BENCHMARK(helloRoundTrip);

void refusedRequest(benchmark::State& state) {
  DiscardOutput output;
  Dispatcher dispatcher(
      std::make_shared<LinuxHost>(std::make_shared<LinuxSound>(), std::make_shared<XConnection>()),
      output, EngineAreas::unbuilt());
  const std::string line = R"({"id":1,"method":"focus.read","params":{"b":1,"a":2}})";
  for (auto _ : state) benchmark::DoNotOptimize(dispatcher.reply(line));
}
BENCHMARK(refusedRequest);

void audioNotice(benchmark::State& state) {
  const std::string text = base64Like(4268);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Frames::notice("dictation.audio", Json::object({{"pcm16", text}, {"at", 1234.5}})));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(audioNotice);

void pictureResult(benchmark::State& state) {
  const std::string text = base64Like(500 * 1000);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Frames::success(7, Json::object({{"jpeg", text}, {"width", 1920}, {"height", 1080}})));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(pictureResult);

void pictureFloorCopy(benchmark::State& state) {
  const std::string text = base64Like(500 * 1000);
  for (auto _ : state) {
    std::string line = R"({"id":7,"result":{"jpeg":")" + text + R"(","width":1920,"height":1080}})";
    benchmark::DoNotOptimize(line);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(pictureFloorCopy);

}  // namespace

BENCHMARK_MAIN();
