#include "event_record.h"

#include <cstdio>
#include <cstring>
#include <span>

namespace lx2d {

namespace {

class CFieldReader {
 public:
  explicit CFieldReader(const std::vector<std::byte>& data) : rest(data) {}

  template <typename T>
  bool Take(T* value) {
    if (rest.size() < sizeof(T)) return false;
    std::memcpy(value, rest.data(), sizeof(T));
    rest = rest.subspan(sizeof(T));
    return true;
  }

  bool TakeBytes(std::size_t count, std::span<const std::byte>* bytes) {
    if (rest.size() < count) return false;
    *bytes = rest.first(count);
    rest = rest.subspan(count);
    return true;
  }

  // Text up to its zero byte, which must lie within the data.
  bool TakeText(std::string* text) {
    const void* zero = std::memchr(rest.data(), 0, rest.size());
    if (zero == nullptr) return false;
    std::size_t length =
        static_cast<std::size_t>(static_cast<const std::byte*>(zero) - rest.data());
    text->assign(reinterpret_cast<const char*>(rest.data()), length);
    rest = rest.subspan(length + 1);
    return true;
  }

 private:
  std::span<const std::byte> rest;
};

std::string TextOf(std::span<const std::byte> bytes) {
  std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return text.substr(0, text.find('\0'));
}

}  // namespace

std::optional<TEventRecord> DecodeRecord(const RawRecord& raw) {
  TEventRecord record;
  record.index = raw.index;
  record.type = raw.type;
  CFieldReader reader(raw.data);
  if (!reader.Take(&record.tick) || !reader.Take(&record.thread)) return std::nullopt;
  if (raw.type == kRecordWideText) {
    if (!reader.TakeText(&record.text)) return std::nullopt;
    return record;
  }
  if (raw.type != kRecordText && raw.type != kRecordDump) return std::nullopt;
  if (!reader.Take(&record.recordId)) return std::nullopt;
  if (raw.type == kRecordText) {
    if (!reader.TakeText(&record.text)) return std::nullopt;
    return record;
  }
  std::uint8_t zero = 0;
  std::uint16_t titleBytes = 0;
  std::span<const std::byte> title;
  std::span<const std::byte> elements;
  if (!reader.Take(&record.count) || !reader.Take(&record.elementSize) || !reader.Take(&zero) ||
      !reader.Take(&titleBytes) || record.elementSize == 0 || titleBytes == 0 ||
      !reader.TakeBytes(titleBytes, &title) ||
      !reader.TakeBytes(static_cast<std::size_t>(record.count) * record.elementSize, &elements)) {
    return std::nullopt;
  }
  record.text = TextOf(title);
  auto bytes = reinterpret_cast<const std::uint8_t*>(elements.data());
  record.elements.assign(bytes, bytes + elements.size());
  return record;
}

std::string FormatRecord(const TEventRecord& record) {
  char head[96];
  if (record.type == kRecordWideText) {
    std::snprintf(head, sizeof head, "#%u tick %u thread %u id -", record.index, record.tick,
                  record.thread);
  } else {
    std::snprintf(head, sizeof head, "#%u tick %u thread %u id %08X/%u", record.index, record.tick,
                  record.thread, record.recordId, record.recordId >> 30);
  }
  std::string line = std::string(head) + " " + record.text;
  if (record.type == kRecordDump) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t at = 0; at + record.elementSize <= record.elements.size();
         at += record.elementSize) {
      if (!line.empty() && line.back() != ' ') line.push_back(' ');
      for (std::size_t byte = record.elementSize; byte-- > 0;) {
        std::uint8_t value = record.elements[at + byte];
        line.push_back(kHex[value >> 4]);
        line.push_back(kHex[value & 0xF]);
      }
    }
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace lx2d
