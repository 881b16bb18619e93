// The numbered records of the stress test: writer, thread and sequence
// number decide a record's kind, size and every byte, so a reader can tell
// an intact record from a torn one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lx2d {

inline constexpr std::uint32_t kStressRecordId = 0xC1A60001;

struct NumberedRecord {
  bool dump;                        // a dump record, else a text record
  std::string text;                 // the text, or the dump's title
  std::vector<std::uint8_t> bytes;  // the dump's elements
};

inline NumberedRecord MakeNumberedRecord(int writer, int thread, int sequence) {
  NumberedRecord record;
  record.dump = sequence % 3 == 0;
  std::string name =
      "w" + std::to_string(writer) + "." + std::to_string(thread) + " n" + std::to_string(sequence);
  if (record.dump) {
    record.text = name;
    for (int i = 0; i < 1 + sequence % 50; ++i) {
      record.bytes.push_back(static_cast<std::uint8_t>(sequence * 7 + i + writer * 31 + thread));
    }
  } else {
    record.text = name + " " + std::string(sequence % 40, static_cast<char>('a' + sequence % 26));
  }
  return record;
}

}  // namespace lx2d
