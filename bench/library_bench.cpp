// The scanner-access library as a host program meets it: loaded at run time
// and connected to the simulated reader (a separate process, no pacing).
// Built twice: for libRDLK_HID.so with the simulator on a virtual HID device,
// and (LX2D_BENCH_SERIAL) for libRDLK_Rs.so with it on a pseudo-terminal.
//
// - BM_LibrarySetupWrite: one SetupWrite through the whole library, round
//   trip; counters median_us and p99_us over every request.
// - BM_ReceiveThreadIdle: the process's CPU time while the library is
//   connected and idle for 10 s, in percent of one core (the receive thread
//   is the only thing running).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RDLK_HID.h"
#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/module.h"

namespace {

using Clock = std::chrono::steady_clock;

#if LX2D_BENCH_SERIAL
const std::vector<std::string> kSimulatorArgs = {"--serial"};
constexpr char kReadyFile[] = "serial/lx2d-reader";
#else
const std::vector<std::string> kSimulatorArgs = {};
constexpr char kReadyFile[] = "vhid/lx2d-reader.info";
#endif

template <class Function>
Function Export(lx2d::platform::HMODULE module, const char* name) {
  return reinterpret_cast<Function>(lx2d::platform::GetProcAddress(module, name));
}

// The library loaded, initialised and connected to a simulated reader in
// private folders; everything undone at the end.
class CConnectedLibrary {
 public:
  CConnectedLibrary() {
    folders_.ExportForAllDirectories();
    if (!simulator_.StartWithInput(LX2D_BENCH_SIMULATOR, kSimulatorArgs)) return;
    const std::filesystem::path ready = std::filesystem::path(folders_.Path()) / "run" / kReadyFile;
    for (int wait = 0; wait < 2000 && !std::filesystem::exists(ready); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    module_ = lx2d::platform::LoadLibrary(LX2D_BENCH_LIBRARY);
    if (module_ == nullptr) return;
    auto initialize = Export<decltype(&::Initialize)>(module_, "Initialize");
    auto usbSettings = Export<decltype(&::UsbSettings)>(module_, "UsbSettings");
    auto connect = Export<decltype(&::Connect)>(module_, "Connect");
    disconnect_ = Export<decltype(&::Disconnect)>(module_, "Disconnect");
    setupWrite = Export<decltype(&::SetupWrite)>(module_, "SetupWrite");
    unsigned char initialized = 0;
    if (initialize("HKCU\\Software\\Lx2dBench", &initialized) != RDLK_SUCCESS) return;
    usbSettings("2D Barcode Reader SIM0000001");
    connected = connect() == RDLK_SUCCESS;
  }
  ~CConnectedLibrary() {
    if (module_ != nullptr) {
      disconnect_();
      lx2d::platform::FreeLibrary(module_);
    }
    simulator_.Terminate();
    simulator_.Wait(std::chrono::seconds(10));
  }
  CConnectedLibrary(const CConnectedLibrary&) = delete;
  CConnectedLibrary& operator=(const CConnectedLibrary&) = delete;

  bool connected = false;
  decltype(&::SetupWrite) setupWrite = nullptr;

 private:
  lx2d::platform::CTempDirectory folders_;
  lx2d::platform::CChildProcess simulator_;
  lx2d::platform::HMODULE module_ = nullptr;
  decltype(&::Disconnect) disconnect_ = nullptr;
};

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  const size_t index = std::min(samples.size() - 1, static_cast<size_t>(fraction * samples.size()));
  std::nth_element(samples.begin(), samples.begin() + static_cast<ptrdiff_t>(index), samples.end());
  return samples[index];
}

void BM_LibrarySetupWrite(benchmark::State& state) {
  CConnectedLibrary library;
  if (!library.connected) {
    state.SkipWithError("the library did not connect to the simulated reader");
    return;
  }
  // A few parameter records, as the settings utility sends them.
  const unsigned char request[] = {0x42, 0x01, 0x01, 0x42, 0x02, 0x00, 0x43, 0x81,
                                   0x00, 0x20, 0x44, 0x01, 0x03, 0x45, 0x01, 0x01};
  unsigned char reply[64];
  uint32_t replyLength = 0;
  std::vector<double> roundTrips;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const RDLK_RESULT result =
        library.setupWrite(request, sizeof request, reply, sizeof reply, &replyLength);
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (result != RDLK_SUCCESS) {
      state.SkipWithError(("SetupWrite failed with " + std::to_string(result) + " after " +
                           std::to_string(roundTrips.size()))
                              .c_str());
      break;
    }
  }
  state.counters["median_us"] = Percentile(roundTrips, 0.5);
  state.counters["p99_us"] = Percentile(roundTrips, 0.99);
}
BENCHMARK(BM_LibrarySetupWrite)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_ReceiveThreadIdle(benchmark::State& state) {
  CConnectedLibrary library;
  if (!library.connected) {
    state.SkipWithError("the library did not connect to the simulated reader");
    return;
  }
  constexpr auto kIdle = std::chrono::seconds(10);
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(kIdle);  // this thread sleeps: the rest is the library's
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    state.counters["cpu_percent_of_core"] =
        100.0 * cpu / std::chrono::duration<double>(kIdle).count();
  }
}
BENCHMARK(BM_ReceiveThreadIdle)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
