// Throughput of frame encoding and decoding against memcpy of the same
// bytes, measured in the same run as the baseline.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "frame_codec.h"

namespace {

// Payload sizes: 64 bytes, 1 KiB and the largest request (64 KiB - 1).
constexpr int64_t kSizes[] = {64, 1024, 65535};

std::vector<uint8_t> RandomPayload(size_t size) {
  std::mt19937 random(42);
  std::vector<uint8_t> payload(size);
  for (uint8_t& byte : payload) byte = static_cast<uint8_t>(random());
  return payload;
}

void BM_Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> payload = RandomPayload(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> copy(payload.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), payload.data(), payload.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_EncodeFrame(benchmark::State& state) {
  const std::vector<uint8_t> payload = RandomPayload(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> wire;
  for (auto _ : state) {
    lx2d::EncodeFrame(0x05, lx2d::kKindSw, lx2d::kNoExtension, lx2d::kNoExtension, payload, 0x60,
                      wire);
    benchmark::DoNotOptimize(wire.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The wire bytes of a reply carrying a random payload of the benchmark's size.
std::vector<uint8_t> ReplyWire(const benchmark::State& state) {
  std::vector<uint8_t> wire;
  lx2d::EncodeFrame(0x05, lx2d::kKindRslt, lx2d::kNoExtension, lx2d::kNoExtension,
                    RandomPayload(static_cast<size_t>(state.range(0))), 0x60, wire);
  return wire;
}

void BM_DecodeFrame(benchmark::State& state) {
  const std::vector<uint8_t> wire = ReplyWire(state);
  lx2d::CFrameDecoder decoder(lx2d::kAcceptFull);
  for (auto _ : state) {
    const auto result = decoder.FeedRun(wire);
    if (result.status != lx2d::DecodeStatus::kFrameAccepted) {
      state.SkipWithError("frame not accepted");
    }
    benchmark::DoNotOptimize(decoder.Frame().payload.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The link layer's path: one byte at a time.
void BM_DecodeFrameByteByByte(benchmark::State& state) {
  const std::vector<uint8_t> wire = ReplyWire(state);
  lx2d::CFrameDecoder decoder(lx2d::kAcceptFull);
  for (auto _ : state) {
    lx2d::DecodeStatus status = lx2d::DecodeStatus::kOutsideFrame;
    for (uint8_t byte : wire) status = decoder.Feed(byte);
    if (status != lx2d::DecodeStatus::kFrameAccepted) state.SkipWithError("frame not accepted");
    benchmark::DoNotOptimize(decoder.Frame().payload.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : kSizes) b->Arg(size);
}

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_EncodeFrame)->Apply(Sizes);
BENCHMARK(BM_DecodeFrame)->Apply(Sizes);
BENCHMARK(BM_DecodeFrameByteByByte)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
