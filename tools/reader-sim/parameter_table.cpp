#include "parameter_table.h"

#include <cstdio>

namespace lx2d::sim {
namespace {

// A few factory settings, so that reads answer before anything was written.
struct DefaultValue {
  uint8_t group;
  uint8_t parameter;
  std::vector<uint8_t> value;
};
const DefaultValue kFactoryDefaults[] = {
    {0x42, 0x40, {0x01}},        // Code 39 enabled
    {0x60, 0x40, {0x00}},        // AIM symbology identifier off
    {0x60, 0xC0, {}},            // prefix: none
    {0x60, 0xC1, {0x0D}},        // suffix: CR
    {0x71, 0x40, {0x01}},        // decoding security
    {0x72, 0x40, {0x01}},        // power-up beep
    {0x72, 0x41, {0x01}},        // good-read beep
    {0x7B, 0x40, {0x00}},        // decoding mode
    {0x7C, 0x80, {0x01, 0x2C}},  // a two-byte value: 300
};

size_t ValueLengthBytes(uint8_t parameter) { return parameter < 0x80 ? 1 : 2; }

}  // namespace

bool SplitRecords(std::span<const uint8_t> bytes, std::vector<ParameterRecord>& records) {
  records.clear();
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 2) return false;
    ParameterRecord record{bytes[at], bytes[at + 1], {}};
    at += 2;
    size_t length = ValueLengthBytes(record.parameter);
    if (record.parameter >= 0xC0) {
      if (bytes.size() - at < 2) return false;
      // Sign-magnitude: the sign bit is no part of a length.
      length = (size_t{bytes[at] & 0x7Fu} << 8) | bytes[at + 1];
      at += 2;
    }
    if (bytes.size() - at < length) return false;
    record.value.assign(bytes.begin() + static_cast<ptrdiff_t>(at),
                        bytes.begin() + static_cast<ptrdiff_t>(at + length));
    at += length;
    records.push_back(std::move(record));
  }
  return true;
}

void AppendRecord(const ParameterRecord& record, std::vector<uint8_t>& out) {
  out.push_back(record.group);
  out.push_back(record.parameter);
  if (record.parameter >= 0xC0) {
    out.push_back(static_cast<uint8_t>(record.value.size() >> 8));
    out.push_back(static_cast<uint8_t>(record.value.size()));
  }
  out.insert(out.end(), record.value.begin(), record.value.end());
}

CParameterTable::CParameterTable() { RestoreDefaults(); }

void CParameterTable::RestoreDefaults() {
  values_.clear();
  for (const DefaultValue& d : kFactoryDefaults) values_[{d.group, d.parameter}] = d.value;
}

bool CParameterTable::Write(std::span<const uint8_t> bytes) {
  std::vector<ParameterRecord> records;
  if (!SplitRecords(bytes, records)) return false;
  for (const ParameterRecord& record : records) {
    values_[{record.group, record.parameter}] = record.value;
    written_[{record.group, record.parameter}] = record.value;
  }
  return true;
}

std::vector<uint8_t> CParameterTable::Read(std::span<const uint8_t> pairs) const {
  std::vector<uint8_t> out;
  for (size_t at = 0; at + 1 < pairs.size(); at += 2) {
    const auto found = values_.find({pairs[at], pairs[at + 1]});
    if (found != values_.end()) AppendRecord({pairs[at], pairs[at + 1], found->second}, out);
  }
  return out;
}

void CParameterTable::PrintWritten(std::ostream& out) const {
  out << "Parameters written: " << written_.size() << "\n";
  if (written_.empty()) return;
  out << "group  param  length  value\n";
  for (const auto& [key, value] : written_) {
    char head[40];
    std::snprintf(head, sizeof head, "0x%02X   0x%02X   %6zu  ", key.first, key.second,
                  value.size());
    out << head;
    for (size_t i = 0; i < value.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", value[i]);
      out << hex;
    }
    if (value.size() == 2) {
      // Two-byte quantities are sign-magnitude.
      const int magnitude = ((value[0] & 0x7F) << 8) | value[1];
      out << "  (" << ((value[0] & 0x80) ? -magnitude : magnitude) << ")";
    } else if (value.size() == 1) {
      out << "  (" << int{value[0]} << ")";
    }
    out << "\n";
  }
}

}  // namespace lx2d::sim
