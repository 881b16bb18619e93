#include "symbology_table.h"

#include <algorithm>

namespace lx2d {
namespace {

constexpr SendRule E = SendRule::kEnable;
constexpr SendRule N = SendRule::kOk;
constexpr SendRule Z = SendRule::kOkOrEmpty;
constexpr SendRule T = SendRule::kText;
constexpr SendRule X = SendRule::kExclusive;

}  // namespace

// clang-format off
const std::array<SymbologySection, 47> kSymbologySections = {{
    {u"Aztec", 0x53, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Codabar", 0x40, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH_MODE", 0x53, E}, {u"LENGTH1", 0x50, N},
                         {u"LENGTH2", 0x51, N}, {u"LENGTH3", 0x52, N}, {u"UDSI_DATA", 0xC0, T},
                         {u"START_STOP_CHARA", 0x58, Z}}}},
    {u"CODABLOCK_A", 0x4D, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"CODABLOCK_F", 0x4D, {{{u"ACTIVATE", 0x41, E}, {u"UDSI_DATA", 0xC1, T}}}},
    {u"Code11", 0x4A, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Code128", 0x43, {{{u"ACTIVATE", 0x40, X}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Code_128_FrenchCIP", 0x43, {{{u"ACTIVATE", 0x4C, E}}}},
    {u"EAN_128", 0x43, {{{u"ACTIVATE", 0x42, X}, {u"LENGTH1", 0x50, N}, {u"GTIN", 0x60, Z},
                         {u"GS1_128_ID", 0x58, Z}, {u"UDSI_DATA", 0xC1, T}}}},
    {u"EAN_128_Irregular", 0x43, {{{u"ACTIVATE", 0x43, E}}}},
    {u"ISBT", 0x43, {{{u"ACTIVATE", 0x41, X}, {u"LENGTH1", 0x50, N}, {u"TRANSMIT_MODE", 0x5A, Z},
                      {u"CONCATENATE", 0x5B, Z}}}},
    {u"Code39", 0x42, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T},
                        {u"CHECK_DIGIT_VERIF", 0x4C, Z}, {u"CHECK_DIGIT_TRANS", 0x54, Z}}}},
    {u"Code93", 0x41, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"DataMatrix", 0x54, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"EAN.UCC Composite_AB", 0x56, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"EAN.UCC Composite_C", 0x56, {{{u"ACTIVATE", 0x41, E}, {u"UDSI_DATA", 0xC1, T}}}},
    {u"EAN.UCC Composite_Lin", 0x56, {{{u"ACTIVATE", 0x44, E}}}},
    {u"Interleaved2of5", 0x44, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH_MODE", 0x53, E},
                                 {u"LENGTH1", 0x50, N}, {u"LENGTH2", 0x51, N},
                                 {u"LENGTH3", 0x52, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"ISBN", 0x4B, {{{u"ACTIVATE", 0x44, E}}}},
    {u"EAN_ISMN", 0x4B, {{{u"ACTIVATE", 0x61, E}}}},
    {u"EAN_ISSN", 0x4B, {{{u"ACTIVATE", 0x62, E}}}},
    {u"Matrix", 0x45, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Maxicode", 0x52, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"PDF417", 0x4C, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"MicroPDF 417", 0x4C, {{{u"ACTIVATE", 0x42, E}, {u"UDSI_DATA", 0xC1, T}}}},
    {u"MSI", 0x46, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Plessey", 0x47, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Telepen", 0x49, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH1", 0x50, N}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"QR", 0x55, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"RSS_14", 0x4F, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"RSS_Limited", 0x4F, {{{u"ACTIVATE", 0x41, E}, {u"UDSI_DATA", 0xC1, T}}}},
    {u"RSS_Expanded", 0x4F, {{{u"ACTIVATE", 0x42, E}, {u"UDSI_DATA", 0xC2, T}}}},
    {u"Standard2of5", 0x48, {{{u"ACTIVATE", 0x40, E}, {u"LENGTH_MODE", 0x53, E},
                              {u"LENGTH1", 0x50, N}, {u"LENGTH2", 0x51, N}, {u"LENGTH3", 0x52, N},
                              {u"FORMAT", 0x58, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"UPC_A", 0x4B, {{{u"ACTIVATE", 0x40, E}, {u"GTIN", 0x60, Z}, {u"UDSI_DATA", 0xC0, T},
                       {u"RE_ENCODE", 0x5A, Z}}}},
    {u"UPC_E", 0x4B, {{{u"ACTIVATE", 0x41, E}, {u"GTIN", 0x60, Z}, {u"UDSI_DATA", 0xC1, T},
                       {u"RE_ENCODE", 0x5B, Z}}}},
    {u"UPC_E1", 0x4B, {{{u"ACTIVATE", 0x4C, E}}}},
    {u"EAN_8", 0x4B, {{{u"ACTIVATE", 0x42, E}, {u"GTIN", 0x60, Z}, {u"UDSI_DATA", 0xC2, T},
                       {u"RE_ENCODE", 0x5C, Z}}}},
    {u"EAN_13", 0x4B, {{{u"ACTIVATE", 0x43, E}, {u"GTIN", 0x60, Z}, {u"UDSI_DATA", 0xC3, T}}}},
    {u"TLC39", 0x4E, {{{u"ACTIVATE", 0x40, E}, {u"LINEAR_TRANS_ONLY", 0x44, Z},
                       {u"UDSI_DATA", 0xC0, T}}}},
    {u"AustralianPost", 0x34, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"BPOCode", 0x32, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"DutchPost", 0x36, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"JapanPost", 0x35, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Planet", 0x31, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Postnet", 0x30, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"CanadaPost", 0x33, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"Infomail", 0x39, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
    {u"SwedenPost", 0x37, {{{u"ACTIVATE", 0x40, E}, {u"UDSI_DATA", 0xC0, T}}}},
}};

const std::array<ExclusiveEnable, 3> kExclusiveEnables = {{
    {0x40, {0x41, 0x00}},  // Code128: ISBT off
    {0x42, {0x41, 0x00}},  // EAN_128: ISBT off
    {0x41, {0x40, 0x42}},  // ISBT: Code128 off, then EAN_128 off
}};
// clang-format on

std::span<const SymbologyKey> KeysOf(const SymbologySection& section) {
  const auto end =
      std::find_if(section.keys.begin(), section.keys.end(),
                   [](const SymbologyKey& key) { return key.rule == SendRule::kNone; });
  return {section.keys.begin(), end};
}

}  // namespace lx2d
