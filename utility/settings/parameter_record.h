// Parameter records: group byte, parameter byte, then one value byte
// (parameters below 0x80), a two-byte value (0x80 to 0xBF), or a two-byte
// length and that many bytes (0xC0 and above).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lx2d {

// Appends a two-byte quantity, big-endian sign-magnitude: bit 7 of the
// first byte is the sign, the other 15 bits the magnitude. Values from 0 to
// 65535 are written as they are (0xFFFF stays FF FF); negative values down
// to -32768 set the sign (-5 is 80 05, -32768 is 80 00).
void AppendSignMagnitude(std::vector<uint8_t>& record, int32_t value);

// A text-type record: group, parameter, the byte count as a two-byte
// quantity, the bytes.
std::vector<uint8_t> MakeTextRecord(uint8_t group, uint8_t parameter, std::string_view bytes);

// The bytes as upper-case hex pairs separated by single blanks ("40 C0 00 00"),
// as people read records.
std::string FormatHexPairs(std::span<const uint8_t> bytes);

}  // namespace lx2d
