// The event log's side of ILinkObserver: the protocol engine's and the HID
// transport's records ("RX frame: ", "Tx frame: ", "WriteReport: ",
// "ReadReport: ", "ReportSize: %d", the HID error texts) go to the log under
// the record ids their callers give. Dumps are of bytes (element size 1).
#pragma once

#include "event_manager.h"
#include "link_observer.h"

namespace lx2d {

class CEventLogObserver final : public ILinkObserver {
 public:
  explicit CEventLogObserver(CEventManager& target) : log(target) {}

  void LogText(uint32_t recordId, std::string_view text) override { log.WriteText(recordId, text); }

  void LogDump(uint32_t recordId, std::string_view title, std::span<const uint8_t> data) override {
    log.WriteDump(recordId, data.size(), 1, data.data(), title);
  }

 private:
  CEventManager& log;
};

}  // namespace lx2d
