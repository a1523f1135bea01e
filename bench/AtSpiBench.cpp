// Desktop reads against a live GTK window (the test fixture), on the test desktop:
//   scripts/desktop run build/bin/atspi_bench
// One attribute read; the focused element; a whole window's tree three ways: the application's own
// cache in one call, a naive walk that asks node by node, and a walk that pipelines each level; and
// the window list and application identity that every front-application question starts from.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

#include "AtSpi.hpp"
#include "FixtureProcess.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"

namespace {

using halcy::AtSpi;
using halcy::AtSpiRef;

struct Fixture {
  pid_t pid = 0;
  AtSpiRef app;
  AtSpiRef field;  // the focused "Name" entry
};

using halcy::bench::FixtureProcess;

AtSpi& atspi() {
  static AtSpi client;
  return client;
}

const Fixture& fixture() {
  static FixtureProcess process(HALCY_FIXTURE_APP, {"--title", "Bench Window"});
  static Fixture found = [] {
    Fixture f{process.pid(), {}, {}};
    for (int i = 0; i < 500; ++i) {
      if (auto field = atspi().focused(f.pid, AtSpi::fieldTimeout)) {
        f.field = *field;
        f.app = *atspi().application(f.pid, AtSpi::fieldTimeout);
        return f;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fputs("atspi_bench: the fixture did not appear on the accessibility bus\n", stderr);
    std::exit(1);
  }();
  return found;
}

void AttributeRead(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) benchmark::DoNotOptimize(atspi().name(f.field, AtSpi::fieldTimeout));
}
BENCHMARK(AttributeRead)->UseRealTime();

void FocusedElement(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) benchmark::DoNotOptimize(atspi().focused(f.pid, AtSpi::fieldTimeout));
}
BENCHMARK(FocusedElement)->UseRealTime();

void TreeFromCache(benchmark::State& state) {
  const Fixture& f = fixture();
  std::size_t nodes = 0;
  for (auto _ : state) {
    auto items = atspi().cacheItems(f.app.bus, AtSpi::walkTimeout);
    nodes = items ? items->size() : 0;
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(TreeFromCache)->UseRealTime();

// Role, name, states and children of every node, one call after another.
void TreeNodeByNode(benchmark::State& state) {
  const Fixture& f = fixture();
  std::size_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    std::deque<AtSpiRef> queue{f.app};
    while (!queue.empty()) {
      const AtSpiRef node = queue.front();
      queue.pop_front();
      ++nodes;
      benchmark::DoNotOptimize(atspi().role(node, AtSpi::walkTimeout));
      benchmark::DoNotOptimize(atspi().name(node, AtSpi::walkTimeout));
      benchmark::DoNotOptimize(atspi().states(node, AtSpi::walkTimeout));
      for (AtSpiRef& child : atspi().children(node, AtSpi::walkTimeout)) queue.push_back(child);
    }
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(TreeNodeByNode)->UseRealTime();

// The same facts, every node of a level asked at once.
void TreePipelined(benchmark::State& state) {
  const Fixture& f = fixture();
  std::size_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    std::vector<AtSpiRef> level{f.app};
    while (!level.empty()) {
      nodes += level.size();
      std::vector<AtSpiRef> next;
      for (auto& facts : atspi().nodeFacts(level, AtSpi::walkTimeout)) {
        next.insert(next.end(), facts.children.begin(), facts.children.end());
      }
      level = std::move(next);
    }
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(TreePipelined)->UseRealTime();

halcy::LinuxDisplay& display() {
  static halcy::LinuxDisplay shared(std::make_shared<halcy::XConnection>());
  return shared;
}

void WindowList(benchmark::State& state) {
  fixture();
  std::size_t windows = 0;
  for (auto _ : state) windows = display().windows().size();
  state.counters["windows"] = static_cast<double>(windows);
}
BENCHMARK(WindowList)->UseRealTime();

// A fresh table each time: the identity is resolved from the window and the desktop entries.
void AppIdentityResolved(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    halcy::LinuxApps apps(display());
    benchmark::DoNotOptimize(apps.app(f.pid));
  }
}
BENCHMARK(AppIdentityResolved)->UseRealTime();

void AppIdentityKnown(benchmark::State& state) {
  const Fixture& f = fixture();
  halcy::LinuxApps apps(display());
  apps.app(f.pid);
  for (auto _ : state) benchmark::DoNotOptimize(apps.app(f.pid));
}
BENCHMARK(AppIdentityKnown)->UseRealTime();

// Every process on the machine is looked at.
void RunningPidsOfApp(benchmark::State& state) {
  fixture();
  halcy::LinuxApps apps(display());
  for (auto _ : state) benchmark::DoNotOptimize(apps.pids("org.halcy.Fixture"));
}
BENCHMARK(RunningPidsOfApp)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
