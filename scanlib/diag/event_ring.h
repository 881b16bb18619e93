// The event log's ring queue: the layout every writer and reader of the
// shared segment agrees on, and the protocol that lets any number of
// writers in any number of processes append at once without a lock while
// readers follow.
//
// Layout (little-endian), at the start of the segment:
//   0  slot count (a power of two)       12 largest record, in slots
//   4  reader waiting (set by readers)   16 write index: slots ever reserved
//   8  0                                 20 0
//   24 the ring: slot count x 8 bytes
// A record is one header slot and its data rounded up to whole slots,
// wrapping from the ring's end to its start. Header slot: bytes 0-3 hold the
// data size (bits 0-19), the record type (bits 20-23) and the complement of
// the size's low byte (bits 24-31); bytes 4-7 hold the write index at which
// the record was reserved.
//
// Publishing: a writer reserves its slots by one atomic add to the write
// index, writes the data, then bytes 0-3, then bytes 4-7 last with release
// ordering. A reader loads bytes 4-7 with acquire ordering, accepts the
// header only when they equal the record's own index and the complement
// matches, copies the data, and then checks that the write index has not
// moved a whole ring past the record, which would mean a later writer may
// have overwritten it while it was being copied.
//
// The segment is writable by everyone, so nothing in it is trusted: the
// ring is used only when its slot count fits the caller's own mapping, and
// every index is reduced modulo that count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lx2d {

inline constexpr std::size_t kRingHeaderBytes = 24;
inline constexpr std::size_t kSlotBytes = 8;
inline constexpr std::uint32_t kRecordSizeMask = 0xFFFFF;  // bits 0-19 of a header

// Record types.
inline constexpr std::uint32_t kRecordText = 0;
inline constexpr std::uint32_t kRecordWideText = 3;
inline constexpr std::uint32_t kRecordDump = 4;

struct RingGeometry {
  std::uint32_t slots;          // slot count, a power of two
  std::uint32_t largestRecord;  // a record must take fewer slots than this
};

// The ring a queue size gives: the largest power of two not above it, in
// 8-byte slots; the largest record is the slot count, or 0x20000 from a
// power of two of 0x100000 on (the size field's reach). Nullopt for sizes
// below 16 bytes (fewer than two slots) and above 1 GiB.
std::optional<RingGeometry> GeometryFor(std::uint32_t queueSize);

// Bytes of the shared segment of a queue size: the size plus 32.
inline std::size_t QueueMappingBytes(std::uint32_t queueSize) {
  return static_cast<std::size_t>(queueSize) + 32;
}

// Slots a record of `dataBytes` takes: its data rounded up, plus the header.
inline std::uint64_t SlotsFor(std::size_t dataBytes) {
  return (static_cast<std::uint64_t>(dataBytes) + kSlotBytes - 1) / kSlotBytes + 1;
}

// One record as a reader found it.
struct RawRecord {
  std::uint32_t index = 0;  // write index at which it was reserved
  std::uint32_t type = 0;
  std::uint32_t slots = 0;  // slots it takes, header included
  std::vector<std::byte> data;
};

enum class ReadStatus {
  kRecord,       // a complete record, copied intact
  kNoRecord,     // no finished record starts here: a record still being
                 // written, the middle of one, or damage
  kOverwritten,  // writers have lapped this position
  kEnd,          // the position is the write index: nothing more yet
};

// Result codes of Append.
inline constexpr int kAppendStored = 0;
inline constexpr int kAppendTooLarge = 1;  // not fewer slots than the largest record
inline constexpr int kAppendLapped = 2;    // held up while writers went a whole lap round:
                                           // the slots were reused, the record is lost

class CEventRing {
 public:
  // Writes a new ring's header for `geometry` into `base` (the segment,
  // zero-filled, at least kRingHeaderBytes + slots x 8 bytes).
  static void Format(std::byte* base, RingGeometry geometry);

  // Uses the ring at `base` of a mapping of `bytes`. False (and unusable)
  // when the header's slot count is not a power of two whose ring fits
  // `bytes`. `expected`, when given, must match the header's slot count.
  bool Attach(std::byte* base, std::size_t bytes,
              std::optional<std::uint32_t> expected = std::nullopt);

  bool Attached() const { return base != nullptr; }
  std::uint32_t Slots() const { return slots; }
  std::uint32_t LargestRecord() const { return largestRecord; }

  // Writer: appends one record of `type` whose data are `pieces` one after
  // the other. Results: kAppendStored; kAppendTooLarge (nothing reserved).
  int Append(std::uint32_t type, std::span<const std::span<const std::byte>> pieces);

  // True when the header says a reader waits for "EventHook".
  bool ReaderWaiting() const;

  // Reader side.
  std::uint32_t WriteIndex() const;
  void AddReaderWaiting(std::int32_t delta);

  // Reads the record reserved at `position`, an absolute write index.
  ReadStatus Read(std::uint32_t position, RawRecord* record) const;

 private:
  std::uint32_t* Word(std::size_t offset) const;
  std::uint64_t* Slot(std::uint32_t position) const;

  std::byte* base = nullptr;
  std::uint32_t slots = 0;
  std::uint32_t largestRecord = 0;
};

// Walks the records a ring still holds, from the oldest position that can
// hold one up to the write index, in reservation order. Positions without a
// finished record are skipped slot by slot; a lapped position jumps to the
// oldest one still in the ring.
class CRingWalker {
 public:
  // Starts at the oldest position of `ring` (write index minus slot count).
  explicit CRingWalker(const CEventRing& walked);

  // Starts at `start` (to follow records from a known point).
  CRingWalker(const CEventRing& walked, std::uint32_t start);

  // The next finished record, or false when the write index is reached.
  // With `waitForUnfinished`, a position whose record is reserved but not yet
  // published stops the walk there (false) instead of being skipped, as
  // long as it is not about to be lapped.
  bool Next(RawRecord* record, bool waitForUnfinished = false);

  std::uint32_t Position() const { return position; }
  std::uint64_t Skipped() const { return skipped; }  // slots passed without a record

 private:
  const CEventRing& ring;
  std::uint32_t position;
  std::uint64_t skipped = 0;
};

}  // namespace lx2d
