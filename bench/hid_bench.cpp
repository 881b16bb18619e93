// One SetupWrite transaction (request, ACK, RSLT reply, ACK) through CUsbHid
// and the protocol engine against the simulated reader on a virtual HID
// device, without pacing. Target: at most 200 microseconds.
#include <benchmark/benchmark.h>

#include "in_process_reader.h"
#include "protocol.h"

namespace lx2d::test {
namespace {

void BM_SetupWriteTransaction(benchmark::State& state) {
  CInProcessReader reader;
  CUsbHid hid(kReaderVendorId, kReaderProductId, reader.service.get());
  if (reader.created != platform::kHidOk || hid.Open(reader.device->InterfacePath()) != 0) {
    state.SkipWithError("no simulated reader");
    return;
  }
  CQuietHost host;
  CProtocol protocol(hid, host);
  std::lock_guard lock(protocol.CommandMutex());
  const std::vector<uint8_t> record = {0x72, 0x43, 0x02};
  for (auto _ : state) {
    if (protocol.Transact(kKindSw, record, kNoExtension, kNoExtension) != kTransactOk) {
      state.SkipWithError("transaction failed");
      break;
    }
  }
}
BENCHMARK(BM_SetupWriteTransaction)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor under it: one output report to the device and one input report
// back, the host's share of a transaction's four reports.
void BM_ReportRoundTrip(benchmark::State& state) {
  platform::CTempDirectory temp;
  platform::VirtualHidInfo info;
  info.inputReportLength = 64;
  info.outputReportLength = 64;
  std::unique_ptr<platform::IVirtualHidDevice> device;
  std::unique_ptr<platform::IHidDevice> host;
  auto service = platform::MakeHidService({false, temp.Path()});
  if (platform::CreateVirtualHidDevice(temp.Path(), "echo", info, device) != platform::kHidOk ||
      service->Open(device->InterfacePath(), host) != platform::kHidOk) {
    state.SkipWithError("no virtual device");
    return;
  }
  std::vector<uint8_t> report(64, 1);
  std::vector<uint8_t> received(64);
  device->Wait(received, 1000);  // the connection
  for (auto _ : state) {
    host->WriteReport(report);
    device->Wait(received, 1000);
    device->SendReport(received);
    host->ReadReport(received, 1000);
  }
}
BENCHMARK(BM_ReportRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace lx2d::test

BENCHMARK_MAIN();
