// The serial library as a host drives it: libRDLK_Rs.so loaded at run time,
// connected to the simulated reader on a pseudo-terminal (served on a thread
// of this process).
//   BM_SetupWriteThroughSerialLibrary: one SetupWrite export call, request
//     to reply. Target: median at most 300 microseconds.
//   BM_IdleWhileConnected: the process's CPU time while connected and idle
//     (the receive thread polls every 10 ms), as a share of one core in the
//     counter idle_cpu_percent. Target: at most 0.5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "RDLK_HID.h"
#include "in_process_serial_reader.h"
#include "platform/module.h"

namespace lx2d::test {
namespace {

// Private folders, the simulated reader in them, and the library connected
// to it.
class CConnectedSerialLibrary {
 public:
  CConnectedSerialLibrary() {
    folders_.ExportForAllDirectories();
    reader_ =
        std::make_unique<CInProcessSerialReader>(sim::LinkFaults{}, platform::SerialLinkDir());
    module_ = platform::LoadLibrary(LX2D_SERIAL_LIBRARY);
    if (module_ == nullptr || reader_->created != platform::kSerialOk) return;
    auto initialize = Bind<decltype(&::Initialize)>("Initialize");
    auto usbSettings = Bind<decltype(&::UsbSettings)>("UsbSettings");
    auto connect = Bind<decltype(&::Connect)>("Connect");
    setupWrite_ = Bind<decltype(&::SetupWrite)>("SetupWrite");
    disconnect_ = Bind<decltype(&::Disconnect)>("Disconnect");
    unsigned char flag = 0;
    if (initialize == nullptr || usbSettings == nullptr || connect == nullptr ||
        setupWrite_ == nullptr || disconnect_ == nullptr ||
        initialize("HKCU\\Software\\Lx2dBench", &flag) != RDLK_SUCCESS) {
      return;
    }
    usbSettings("2D Barcode Reader SIM0000001");
    connected_ = connect() == RDLK_SUCCESS;
  }

  ~CConnectedSerialLibrary() {
    if (connected_) disconnect_();
    if (module_ != nullptr) platform::FreeLibrary(module_);
    reader_.reset();
  }

  bool Connected() const { return connected_; }

  RDLK_RESULT SetupWrite(const unsigned char* request, uint32_t length) {
    unsigned char reply[16];
    uint32_t replyLength = 0;
    return setupWrite_(request, length, reply, sizeof reply, &replyLength);
  }

 private:
  template <class Function>
  Function Bind(const char* name) {
    return reinterpret_cast<Function>(platform::GetProcAddress(module_, name));
  }

  platform::CTempDirectory folders_;
  std::unique_ptr<CInProcessSerialReader> reader_;
  platform::HMODULE module_ = nullptr;
  decltype(&::SetupWrite) setupWrite_ = nullptr;
  decltype(&::Disconnect) disconnect_ = nullptr;
  bool connected_ = false;
};

// One connection for the whole program: the engine keeps its link state
// across connections of a process, and a fresh simulated reader per run
// would start its own from the beginning.
CConnectedSerialLibrary& Library() {
  static CConnectedSerialLibrary library;
  return library;
}

void BM_SetupWriteThroughSerialLibrary(benchmark::State& state) {
  CConnectedSerialLibrary& library = Library();
  if (!library.Connected()) {
    state.SkipWithError("the serial library did not connect to the simulated reader");
    return;
  }
  const unsigned char record[] = {0x72, 0x43, 0x02};
  for (auto _ : state) {
    const RDLK_RESULT result = library.SetupWrite(record, sizeof record);
    if (result != RDLK_SUCCESS) {
      state.SkipWithError(("SetupWrite failed with result " + std::to_string(result)).c_str());
      break;
    }
  }
}
BENCHMARK(BM_SetupWriteThroughSerialLibrary)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_IdleWhileConnected(benchmark::State& state) {
  CConnectedSerialLibrary& library = Library();
  if (!library.Connected()) {
    state.SkipWithError("the serial library did not connect to the simulated reader");
    return;
  }
  double cpuSeconds = 0;
  double wallSeconds = 0;
  for (auto _ : state) {
    const std::clock_t cpuStart = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    cpuSeconds += static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    wallSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  }
  state.counters["idle_cpu_percent"] = 100.0 * cpuSeconds / wallSeconds;
}
BENCHMARK(BM_IdleWhileConnected)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace lx2d::test

BENCHMARK_MAIN();
