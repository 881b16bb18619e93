#include "event_ring.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace lx2d {

static_assert(std::endian::native == std::endian::little,
              "the ring's words are stored as this machine stores them");
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free);

namespace {

// Header word offsets.
constexpr std::size_t kSlotCountAt = 0;
constexpr std::size_t kReaderWaitingAt = 4;
constexpr std::size_t kLargestRecordAt = 12;
constexpr std::size_t kWriteIndexAt = 16;

constexpr std::uint32_t kLargeRingBytes = 0x100000;
constexpr std::uint32_t kLargeRingRecordSlots = 0x20000;
constexpr std::uint32_t kMinQueueSize = 16;
constexpr std::uint32_t kMaxQueueSize = 0x40000000;

std::uint32_t SizeWord(std::uint32_t size, std::uint32_t type) {
  return (size & kRecordSizeMask) | ((type & 0xF) << 20) | ((~size & 0xFF) << 24);
}

using Atomic32 = std::atomic_ref<std::uint32_t>;
using Atomic64 = std::atomic_ref<std::uint64_t>;

// Collects data bytes into whole 8-byte slots, a staging buffer at a time,
// and stores each slot as a single relaxed word, so a reader racing a
// lapping writer sees whole words (and the check after its copy tells it to
// drop them).
class CSlotFiller {
 public:
  // `firstSlot` starts the ring; `slotMask` is the slot count less one;
  // `index` the header's write index; `first` the first absolute slot.
  CSlotFiller(std::uint64_t* firstSlot, std::uint32_t slotMask, std::uint32_t* index,
              std::uint32_t first)
      : ring(firstSlot), mask(slotMask), writeIndex(index), next(first) {}

  // True once a slot of this record was reserved again by a later writer:
  // this writer was held up for a whole lap and stops writing, so as not to
  // scribble over a newer record.
  bool Lapped() const { return lapped; }

  void Append(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      std::size_t take = std::min(sizeof staging - filled, bytes.size());
      std::memcpy(reinterpret_cast<unsigned char*>(staging) + filled, bytes.data(), take);
      filled += take;
      bytes = bytes.subspan(take);
      if (filled == sizeof staging) Flush();
    }
  }

  void Finish() {
    if (filled == 0) return;
    std::size_t padded = (filled + kSlotBytes - 1) / kSlotBytes * kSlotBytes;
    std::memset(reinterpret_cast<unsigned char*>(staging) + filled, 0, padded - filled);
    filled = padded;
    Flush();
  }

 private:
  void Flush() {
    for (std::size_t i = 0; i < filled / kSlotBytes && !lapped; ++i) {
      if (Atomic32(*writeIndex).load(std::memory_order_relaxed) - next > mask + 1) {
        lapped = true;
        break;
      }
      Atomic64(ring[next++ & mask]).store(staging[i], std::memory_order_relaxed);
    }
    filled = 0;
  }

  std::uint64_t* ring;
  std::uint32_t mask;
  std::uint32_t* writeIndex;
  std::uint32_t next;
  bool lapped = false;
  std::uint64_t staging[32];
  std::size_t filled = 0;
};

}  // namespace

std::optional<RingGeometry> GeometryFor(std::uint32_t queueSize) {
  if (queueSize < kMinQueueSize || queueSize > kMaxQueueSize) return std::nullopt;
  std::uint32_t power = std::bit_floor(queueSize);
  std::uint32_t slotCount = power / kSlotBytes;
  return RingGeometry{slotCount, power >= kLargeRingBytes ? kLargeRingRecordSlots : slotCount};
}

void CEventRing::Format(std::byte* base, RingGeometry geometry) {
  auto word = [base](std::size_t offset) {
    return Atomic32(*reinterpret_cast<std::uint32_t*>(base + offset));
  };
  word(kLargestRecordAt).store(geometry.largestRecord, std::memory_order_relaxed);
  word(kWriteIndexAt).store(0, std::memory_order_relaxed);
  word(kReaderWaitingAt).store(0, std::memory_order_relaxed);
  word(kSlotCountAt).store(geometry.slots, std::memory_order_release);
}

bool CEventRing::Attach(std::byte* mapping, std::size_t bytes,
                        std::optional<std::uint32_t> expected) {
  base = nullptr;
  if (mapping == nullptr || bytes < kRingHeaderBytes) return false;
  std::uint32_t count = Atomic32(*reinterpret_cast<std::uint32_t*>(mapping + kSlotCountAt))
                            .load(std::memory_order_acquire);
  if (count < 2 || !std::has_single_bit(count)) return false;
  if (expected && *expected != count) return false;
  if ((bytes - kRingHeaderBytes) / kSlotBytes < count) return false;
  base = mapping;
  slots = count;
  // The header's own figure is not trusted; it follows from the slot count.
  std::uint64_t ringBytes = static_cast<std::uint64_t>(count) * kSlotBytes;
  largestRecord = ringBytes >= kLargeRingBytes ? kLargeRingRecordSlots : count;
  return true;
}

std::uint32_t* CEventRing::Word(std::size_t offset) const {
  return reinterpret_cast<std::uint32_t*>(base + offset);
}

std::uint64_t* CEventRing::Slot(std::uint32_t position) const {
  return reinterpret_cast<std::uint64_t*>(
      base + kRingHeaderBytes + static_cast<std::size_t>(position & (slots - 1)) * kSlotBytes);
}

int CEventRing::Append(std::uint32_t type, std::span<const std::span<const std::byte>> pieces) {
  std::size_t size = 0;
  for (auto piece : pieces) size += piece.size();
  std::uint64_t needed = SlotsFor(size);
  if (needed >= largestRecord) return kAppendTooLarge;
  std::uint32_t index =
      Atomic32(*Word(kWriteIndexAt))
          .fetch_add(static_cast<std::uint32_t>(needed), std::memory_order_relaxed);
  // Readers that see any of the data below must also see the reservation.
  std::atomic_thread_fence(std::memory_order_release);
  CSlotFiller filler(Slot(0), slots - 1, Word(kWriteIndexAt), index + 1);
  for (auto piece : pieces) filler.Append(piece);
  filler.Finish();
  std::uint32_t* writeIndex = Word(kWriteIndexAt);
  if (filler.Lapped() || Atomic32(*writeIndex).load(std::memory_order_relaxed) - index > slots) {
    return kAppendLapped;  // its slots hold newer records now
  }
  auto* header = reinterpret_cast<std::uint32_t*>(Slot(index));
  Atomic32(header[0]).store(SizeWord(static_cast<std::uint32_t>(size), type),
                            std::memory_order_relaxed);
  Atomic32(header[1]).store(index, std::memory_order_release);
  return kAppendStored;
}

bool CEventRing::ReaderWaiting() const {
  return Atomic32(*Word(kReaderWaitingAt)).load(std::memory_order_relaxed) != 0;
}

std::uint32_t CEventRing::WriteIndex() const {
  return Atomic32(*Word(kWriteIndexAt)).load(std::memory_order_acquire);
}

void CEventRing::AddReaderWaiting(std::int32_t delta) {
  Atomic32(*Word(kReaderWaitingAt))
      .fetch_add(static_cast<std::uint32_t>(delta), std::memory_order_relaxed);
}

ReadStatus CEventRing::Read(std::uint32_t position, RawRecord* record) const {
  std::uint32_t ahead = WriteIndex() - position;
  if (ahead == 0) return ReadStatus::kEnd;
  if (ahead > slots) return ReadStatus::kOverwritten;
  auto* header = reinterpret_cast<std::uint32_t*>(Slot(position));
  if (Atomic32(header[1]).load(std::memory_order_acquire) != position) return ReadStatus::kNoRecord;
  std::uint32_t sizeWord = Atomic32(header[0]).load(std::memory_order_relaxed);
  std::uint32_t size = sizeWord & kRecordSizeMask;
  if ((sizeWord >> 24) != (~size & 0xFF)) return ReadStatus::kNoRecord;
  std::uint64_t needed = SlotsFor(size);
  if (needed >= largestRecord || needed > ahead) return ReadStatus::kNoRecord;

  record->data.resize(static_cast<std::size_t>(needed - 1) * kSlotBytes);
  for (std::uint32_t i = 0; i + 1 < needed; ++i) {
    std::uint64_t word = Atomic64(*Slot(position + 1 + i)).load(std::memory_order_relaxed);
    std::memcpy(record->data.data() + static_cast<std::size_t>(i) * kSlotBytes, &word, kSlotBytes);
  }
  // Pairs with the writers' fence after their reservation: a writer whose
  // data this copy saw has its reservation seen below.
  std::atomic_thread_fence(std::memory_order_acquire);
  std::uint32_t now = Atomic32(*Word(kWriteIndexAt)).load(std::memory_order_relaxed);
  if (now - position > slots) return ReadStatus::kOverwritten;
  record->data.resize(size);
  record->index = position;
  record->type = (sizeWord >> 20) & 0xF;
  record->slots = static_cast<std::uint32_t>(needed);
  return ReadStatus::kRecord;
}

CRingWalker::CRingWalker(const CEventRing& walked)
    : ring(walked), position(walked.WriteIndex() - walked.Slots()) {}

CRingWalker::CRingWalker(const CEventRing& walked, std::uint32_t start)
    : ring(walked), position(start) {}

bool CRingWalker::Next(RawRecord* record, bool waitForUnfinished) {
  for (;;) {
    switch (ring.Read(position, record)) {
      case ReadStatus::kRecord:
        position += record->slots;
        return true;
      case ReadStatus::kEnd:
        return false;
      case ReadStatus::kOverwritten: {
        std::uint32_t oldest = ring.WriteIndex() - ring.Slots();
        skipped += oldest - position;
        position = oldest;
        break;
      }
      case ReadStatus::kNoRecord:
        // A writer a quarter of a ring behind is still worth waiting for.
        if (waitForUnfinished && ring.WriteIndex() - position < ring.Slots() / 4 * 3) return false;
        ++position;
        ++skipped;
        break;
    }
  }
}

}  // namespace lx2d
