// Cost of one event-log record in a private log: a 64-byte dump and a
// 40-character formatted text, with one writer and with two writing at once
// (the second writer shares the write index and the ring's cache lines).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "event_log_init.h"
#include "platform/fakes/memory_registry.h"
#include "private_event_log.h"

namespace {

constexpr std::uint32_t kFrameDump = 0x81A60000;  // passes the default filter

lx2d::CEventLogInit& BenchLog() {
  static lx2d::CPrivateEventLogNames names;
  static lx2d::platform::CMemoryRegistry registry;
  static lx2d::CEventLogInit log(names.Prefix(), registry);
  return log;
}

void BM_LogDump64(benchmark::State& state) {
  lx2d::CEventLogInit& log = BenchLog();
  std::uint8_t data[64];
  for (std::size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<std::uint8_t>(i);
  for (auto _ : state) {
    benchmark::DoNotOptimize(log.LogDump(kFrameDump, sizeof data, 1, data, "RX frame: "));
  }
}
BENCHMARK(BM_LogDump64)->Threads(1)->Threads(2)->UseRealTime();

void BM_LogText40(benchmark::State& state) {
  lx2d::CEventLogInit& log = BenchLog();
  int size = 64;
  for (auto _ : state) {
    // 40 characters once formatted.
    benchmark::DoNotOptimize(
        log.LogText(kFrameDump, "ReportSize: %d, reader %s id %04X", size, "LX2D-0801", 0xBEEF));
  }
}
BENCHMARK(BM_LogText40)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
