// The frame kind table: every kind the reader and the host exchange.
#include <array>

#include "vscp_frame.h"

namespace lx2d {
namespace {

constexpr KindClass kReq = KindClass::kRequest;
constexpr KindClass kRep = KindClass::kReply;
constexpr KindClass kUns = KindClass::kUnsolicited;

constexpr std::array<KindInfo, 30> kKinds = {{
    {0x40, kReq, 0x50},  // SR     -> SRP
    {0x41, kReq, 0x51},  // SW     -> RSLT
    {0x42, kReq, 0x51},  // CCMD   -> RSLT
    {0x43, kReq, 0x53},  // STR    -> STRP
    {0x44, kReq, 0x54},  // SPR    -> SPRP
    {0x45, kReq, 0x51},  // SPW    -> RSLT
    {0x46, kReq, 0x55},  // SRR    -> SRRP
    {0x47, kReq, 0x56},  // CRR    -> CRRP
    {0x48, kReq, 0x57},  // STPR   -> STPRP
    {0x49, kReq, 0x51},  // STPW   -> RSLT
    {0x4A, kReq, 0x58},  // CPR    -> CPRP
    {0x4B, kReq, 0x51},  // CPW    -> RSLT
    {0x50, kRep, 0},     // SRP
    {0x51, kRep, 0},     // RSLT
    {0x53, kRep, 0},     // STRP
    {0x54, kRep, 0},     // SPRP
    {0x55, kRep, 0},     // SRRP
    {0x56, kRep, 0},     // CRRP
    {0x57, kRep, 0},     // STPRP
    {0x58, kRep, 0},     // CPRP
    {0x60, kUns, 0},     // BCD
    {0x61, kUns, 0},     // EVT
    {0x62, kUns, 0},     // SBCD
    {0x63, kUns, 0},     // BCDEX2
    {0x64, kUns, 0},     // BCDEX
    {0x70, kReq, 0x72},  // IDR    -> IDRP
    {0x71, kUns, 0},     // IDTA
    {0x72, kRep, 0},     // IDRP
    {0xF0, kReq, 0xF1},  // GIRQ   -> GIRP
    {0xF1, kRep, 0},     // GIRP
}};

}  // namespace

std::optional<KindInfo> FindKind(uint8_t kind) {
  for (const KindInfo& info : kKinds) {
    if (info.kind == kind) return info;
  }
  return std::nullopt;
}

}  // namespace lx2d
