// The registry's large cases, each expected well under a second: a key with
// 10,000 values queried and exported, 10,000 keys imported from one file, a
// chain of keys 2,000 deep exported. Every iteration uses a fresh hive folder.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/fakes/temp_directory.h"
#include "platform/sqlite_registry.h"
#include "reg_file.h"

namespace {

using lx2d::platform::CreateSqliteRegistry;
using lx2d::platform::CTempDirectory;
using lx2d::platform::DWORD;
using lx2d::platform::HKEY;
using lx2d::platform::IRegistry;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::unique_ptr<IRegistry> Open(const CTempDirectory& folder) {
  return CreateSqliteRegistry(folder.Path() + "/system", folder.Path() + "/user");
}

void Import(IRegistry& registry, const std::string& text, benchmark::State& state) {
  lx2d::reg::ImportResult result = lx2d::reg::ImportText(registry, text);
  if (!result.error.empty()) state.SkipWithError(result.error.c_str());
}

std::string WideKeyFile(int values) {
  std::string text = std::string(kHeader) + "[HKEY_CURRENT_USER\\Wide]\r\n";
  for (int i = 0; i < values; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
  return text;
}

std::string ManyKeysFile(int keys) {
  std::string text = kHeader;
  for (int i = 0; i < keys; ++i) {
    text += "[HKEY_CURRENT_USER\\Many\\k" + std::to_string(i) + "]\r\n\"v\"=\"text\"\r\n\r\n";
  }
  return text;
}

std::string ChainFile(int depth) {
  std::string text = kHeader;
  std::string path = "HKEY_CURRENT_USER\\Chain";
  for (int i = 0; i < depth; ++i) {
    path += "\\k";
    text += "[" + path + "]\r\n\"v\"=dword:00000002\r\n\r\n";
  }
  return text;
}

void BM_QueryKeyValues(benchmark::State& state) {
  CTempDirectory folder;
  auto registry = Open(folder);
  Import(*registry, WideKeyFile(static_cast<int>(state.range(0))), state);
  for (auto _ : state) {
    HKEY key = 0;
    registry->OpenKey(lx2d::platform::HKEY_CURRENT_USER, "Wide", lx2d::platform::KEY_READ, &key);
    std::string name;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    DWORD count = 0;
    while (registry->EnumValue(key, count, &name, &type, &data) == lx2d::platform::ERROR_SUCCESS) {
      ++count;
    }
    registry->CloseKey(key);
    if (count != state.range(0)) state.SkipWithError("values missing");
  }
}
BENCHMARK(BM_QueryKeyValues)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ExportKeyValues(benchmark::State& state) {
  CTempDirectory folder;
  auto registry = Open(folder);
  Import(*registry, WideKeyFile(static_cast<int>(state.range(0))), state);
  for (auto _ : state) {
    std::string text;
    lx2d::reg::ExportKey(*registry, {lx2d::platform::HKEY_CURRENT_USER, "Wide"}, &text);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ExportKeyValues)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ImportKeys(benchmark::State& state) {
  const std::string text = ManyKeysFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto folder = std::make_unique<CTempDirectory>();
    auto registry = Open(*folder);
    state.ResumeTiming();
    Import(*registry, text, state);
    state.PauseTiming();
    registry.reset();
    folder.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ImportKeys)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ExportChain(benchmark::State& state) {
  CTempDirectory folder;
  auto registry = Open(folder);
  Import(*registry, ChainFile(static_cast<int>(state.range(0))), state);
  for (auto _ : state) {
    std::string text;
    lx2d::reg::ExportKey(*registry, {lx2d::platform::HKEY_CURRENT_USER, "Chain"}, &text);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ExportChain)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
