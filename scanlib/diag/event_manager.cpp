#include "event_manager.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <type_traits>

#include "platform/system_info.h"
#include "platform/text.h"

namespace lx2d {

namespace {

constexpr std::byte kZeros[256] = {};
constexpr std::string_view kCutEnd = "...\n";
constexpr std::u16string_view kWideCutEnd = u"...\n";

template <typename Char>
std::basic_string_view<Char> Cut(std::basic_string_view<Char> text, Char* buffer,
                                 std::basic_string_view<Char> end) {
  if (text.size() <= kMaxLogText) return text;
  std::copy_n(text.data(), kCutKeep, buffer);
  std::copy(end.begin(), end.end(), buffer + kCutKeep);
  return {buffer, kCutKeep + end.size()};
}

template <typename T>
requires std::is_trivially_copyable_v<T> std::span<const std::byte> Bytes(const T& value) {
  return std::as_bytes(std::span<const T>(&value, 1));
}

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

// Tick count, thread id and, for texts and dumps, the record id.
struct RecordStamp {
  std::uint32_t tick;
  std::uint32_t thread;
  std::uint32_t recordId;
};

RecordStamp Stamp(std::uint32_t recordId) {
  return {platform::GetTickCount(), platform::GetCurrentThreadId(), recordId};
}

// The fields of a dump record between its stamp and its title.
struct DumpFields {
  std::uint32_t count;
  std::uint8_t elementSize;
  std::uint8_t zero;
  std::uint16_t titleBytes;  // title, its zero byte and the fill
};
static_assert(sizeof(RecordStamp) == 12 && sizeof(DumpFields) == 8);

}  // namespace

CEventManager::CEventManager()
    : localFilter(DefaultFilter()), filter(reinterpret_cast<std::byte*>(&localFilter)) {}

CEventManager::~CEventManager() = default;

DWORD CEventManager::Store(std::uint32_t type, std::span<const std::span<const std::byte>> pieces) {
  switch (ring.Append(type, pieces)) {
    case kAppendStored:
      break;
    case kAppendTooLarge:
      return ERROR_BUFFER_OVERFLOW;
    default:
      return ERROR_TIMEOUT;
  }
  if (ring.ReaderWaiting()) hook.Set();
  return platform::ERROR_SUCCESS;
}

DWORD CEventManager::StoreText(std::uint32_t recordId, std::string_view text) {
  char buffer[kMaxLogText + 1];
  text = Cut(text, buffer, kCutEnd);
  RecordStamp stamp = Stamp(recordId);
  const std::span<const std::byte> pieces[] = {Bytes(stamp), Bytes(text), {kZeros, 1}};
  return Store(kRecordText, pieces);
}

DWORD CEventManager::WriteText(std::uint32_t recordId, std::string_view text) {
  if (!ring.Attached()) return platform::ERROR_INVALID_HANDLE;
  if (!filter.Passes(recordId)) return ERROR_CANCELLED;
  return StoreText(recordId, text);
}

DWORD CEventManager::LogText(std::uint32_t recordId, const char* format, ...) {
  if (format == nullptr) return platform::ERROR_INVALID_PARAMETER;
  if (!ring.Attached()) return platform::ERROR_INVALID_HANDLE;
  // One character beyond the limit tells a text to cut from one to keep.
  char text[kMaxLogText + 2];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length < 0) return platform::ERROR_INVALID_PARAMETER;
  return WriteText(recordId, {text, std::min(static_cast<std::size_t>(length), sizeof text - 1)});
}

DWORD CEventManager::WriteWideText(std::u16string_view text) {
  if (!ring.Attached()) return platform::ERROR_INVALID_HANDLE;
  char16_t buffer[kMaxLogText + 1];
  std::string ansi;
  try {
    ansi = platform::Utf16ToAnsi(Cut(text, buffer, kWideCutEnd));
  } catch (const std::bad_alloc&) {
    return platform::ERROR_NOT_ENOUGH_MEMORY;  // a log write never fails its caller
  }
  // The conversion stops at a zero character, as the record's reader would.
  ansi.resize(std::strlen(ansi.c_str()));
  RecordStamp stamp = Stamp(0);
  const std::span<const std::byte> pieces[] = {
      Bytes(stamp).first(8), Bytes(std::string_view(ansi)), {kZeros, 1}};
  return Store(kRecordWideText, pieces);
}

DWORD CEventManager::LogWideText(const wchar_t* format, ...) {
  if (format == nullptr) return platform::ERROR_INVALID_PARAMETER;
  if (!ring.Attached()) return platform::ERROR_INVALID_HANDLE;
  wchar_t text[kMaxLogText + 2] = {};
  va_list arguments;
  va_start(arguments, format);
  int length = std::vswprintf(text, std::size(text), format, arguments);
  va_end(arguments);
  std::size_t kept = std::wcslen(text);
  // -1 also means "did not fit", which leaves the buffer full; anything
  // shorter was a character the format could not render.
  if (length < 0 && kept < std::size(text) - 1) return platform::ERROR_INVALID_PARAMETER;
  // At most 129 wide characters, two units each: no allocation can fail.
  char16_t wide[std::size(text) * 2];
  std::size_t units = 0;
  for (std::size_t i = 0; i < kept; ++i) {
    auto code = static_cast<char32_t>(text[i]);
    if (code < 0x10000) {
      wide[units++] = static_cast<char16_t>(code);
    } else {
      code -= 0x10000;
      wide[units++] = static_cast<char16_t>(0xD800 + (code >> 10));
      wide[units++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
  }
  return WriteWideText({wide, units});
}

DWORD CEventManager::WriteDump(std::uint32_t recordId, std::size_t count, std::uint8_t elementSize,
                               const void* data, std::string_view title) {
  if (elementSize == 0 || (data == nullptr && count > 0)) return platform::ERROR_INVALID_PARAMETER;
  if (!ring.Attached()) return platform::ERROR_INVALID_HANDLE;
  if (!filter.Passes(recordId)) return ERROR_CANCELLED;
  title = title.substr(0, std::min(title.find('\0'), title.size()));
  std::size_t titleBytes = (title.size() + 1 + elementSize - 1) / elementSize * elementSize;
  std::uint64_t dataBytes = static_cast<std::uint64_t>(count) * elementSize;
  std::uint64_t size = sizeof(RecordStamp) + sizeof(DumpFields) + titleBytes + dataBytes;
  if (count > 0xFFFF || titleBytes > 0xFFFF || SlotsFor(size) >= ring.LargestRecord()) {
    // Filtered once already: a second pass would count the trigger twice.
    char text[kMaxLogText + 2];
    int length = std::snprintf(text, sizeof text, "%.*s: (%zu binary elements)",
                               static_cast<int>(std::min<std::size_t>(title.size(), sizeof text)),
                               title.data(), count);
    if (length < 0) return platform::ERROR_INVALID_PARAMETER;
    return StoreText(recordId, {text, std::min(static_cast<std::size_t>(length), sizeof text - 1)});
  }
  RecordStamp stamp = Stamp(recordId);
  DumpFields fields{static_cast<std::uint32_t>(count), elementSize, 0,
                    static_cast<std::uint16_t>(titleBytes)};
  const std::span<const std::byte> pieces[] = {
      Bytes(stamp),
      Bytes(fields),
      Bytes(title),
      {kZeros, titleBytes - title.size()},
      {static_cast<const std::byte*>(data), static_cast<std::size_t>(dataBytes)}};
  return Store(kRecordDump, pieces);
}

DWORD CEventManager::LogDump(std::uint32_t recordId, std::uint16_t count, std::uint8_t elementSize,
                             const void* data, const char* title) {
  if (title == nullptr) return platform::ERROR_INVALID_PARAMETER;
  return WriteDump(recordId, count, elementSize, data, title);
}

}  // namespace lx2d
