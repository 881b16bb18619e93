// The simulated reader's parameter table: records keyed by group and
// parameter byte, split by the parameter byte's range:
//   below 0x80  one value byte
//   0x80..0xBF  two value bytes
//   0xC0 and up a two-byte big-endian length n, then n bytes
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <span>
#include <utility>
#include <vector>

namespace lx2d::sim {

struct ParameterRecord {
  uint8_t group;
  uint8_t parameter;
  std::vector<uint8_t> value;  // the value bytes, length field not included
};

// Splits back-to-back records. False (and `records` partial) when the last
// record is cut short.
bool SplitRecords(std::span<const uint8_t> bytes, std::vector<ParameterRecord>& records);

// Appends one record in wire form.
void AppendRecord(const ParameterRecord& record, std::vector<uint8_t>& out);

class CParameterTable {
 public:
  CParameterTable();  // starts with the factory defaults

  void RestoreDefaults();

  // Stores every record of a SetupWrite payload; nothing when the payload
  // is malformed (false).
  bool Write(std::span<const uint8_t> records);

  // The records for the (group, parameter) pairs of a SetupRead payload, in
  // request order; pairs the table does not hold are left out.
  std::vector<uint8_t> Read(std::span<const uint8_t> pairs) const;

  // Prints the parameters written since start as a table.
  void PrintWritten(std::ostream& out) const;

  const std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>>& Values() const {
    return values_;
  }

 private:
  std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> values_;
  std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> written_;
};

}  // namespace lx2d::sim
