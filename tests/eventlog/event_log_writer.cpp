// A writer process of the stress test: sets up the log named by
// LX2D_EVTLOG_PREFIX as the library does, then writes numbered records from
// several threads at once.
//   lx2d_event_log_writer WRITER THREADS RECORDS
#include <string>
#include <thread>
#include <vector>

#include "event_log_init.h"
#include "numbered_record.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  int writer = std::stoi(argv[1]);
  int threads = std::stoi(argv[2]);
  int records = std::stoi(argv[3]);
  lx2d::CEventLogInit log;
  if (!log.HasQueue()) return 3;
  std::vector<std::thread> workers;
  for (int thread = 0; thread < threads; ++thread) {
    workers.emplace_back([&, thread] {
      for (int sequence = 0; sequence < records; ++sequence) {
        lx2d::NumberedRecord record = lx2d::MakeNumberedRecord(writer, thread, sequence);
        if (record.dump) {
          log.WriteDump(lx2d::kStressRecordId, record.bytes.size(), 1, record.bytes.data(),
                        record.text);
        } else {
          log.WriteText(lx2d::kStressRecordId, record.text);
        }
      }
    });
  }
  for (auto& worker : workers) worker.join();
  return 0;
}
