#include "crash_capture.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/append_file.h"
#include "platform/local_time.h"
#include "platform/paths.h"

namespace lx2d {

namespace {

constexpr char kCrashFileName[] = "ExInfo.dat";

struct NamedCode {
  std::uint32_t code;
  const char* name;
};

constexpr NamedCode kExceptionNames[] = {
    {platform::EXCEPTION_DATATYPE_MISALIGNMENT, "DATATYPE_MISALIGNMENT"},
    {platform::EXCEPTION_BREAKPOINT, "BREAKPOINT"},
    {platform::EXCEPTION_SINGLE_STEP, "SINGLE_STEP"},
    {platform::EXCEPTION_ACCESS_VIOLATION, "ACCESS_VIOLATION"},
    {platform::EXCEPTION_IN_PAGE_ERROR, "IN_PAGE_ERROR"},
    {platform::EXCEPTION_ILLEGAL_INSTRUCTION, "ILLEGAL_INSTRUCTION"},
    {platform::EXCEPTION_NONCONTINUABLE_EXCEPTION, "NONCONTINUABLE_EXCEPTION"},
    {platform::EXCEPTION_INVALID_DISPOSITION, "INVALID_DISPOSITION"},
    {platform::EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "ARRAY_BOUNDS_EXCEEDED"},
    {platform::EXCEPTION_FLT_DENORMAL_OPERAND, "FLT_DENORMAL_OPERAND"},
    {platform::EXCEPTION_FLT_DIVIDE_BY_ZERO, "FLT_DIVIDE_BY_ZERO"},
    {platform::EXCEPTION_FLT_INEXACT_RESULT, "FLT_INEXACT_RESULT"},
    {platform::EXCEPTION_FLT_INVALID_OPERATION, "FLT_INVALID_OPERATION"},
    {platform::EXCEPTION_FLT_OVERFLOW, "FLT_OVERFLOW"},
    {platform::EXCEPTION_FLT_STACK_CHECK, "FLT_STACK_CHECK"},
    {platform::EXCEPTION_FLT_UNDERFLOW, "FLT_UNDERFLOW"},
    {platform::EXCEPTION_INT_DIVIDE_BY_ZERO, "INT_DIVIDE_BY_ZERO"},
    {platform::EXCEPTION_INT_OVERFLOW, "INT_OVERFLOW"},
    {platform::EXCEPTION_PRIV_INSTRUCTION, "PRIV_INSTRUCTION"},
    {platform::EXCEPTION_STACK_OVERFLOW, "STACK_OVERFLOW"},
};

template <class... Args>
void AppendFormatted(std::string& text, const char* format, Args... args) {
  char line[128];
  int length = std::snprintf(line, sizeof line, format, args...);
  if (length > 0) text.append(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

// Text mode on the original platform: every line feed reaches the disk as
// CR LF.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::string ExceptionName(std::uint32_t code) {
  for (const auto& entry : kExceptionNames) {
    if (entry.code == code) return entry.name;
  }
  std::string name;
  AppendFormatted(name, "Unknown (%d)", static_cast<int>(static_cast<std::int32_t>(code)));
  return name;
}

std::string FormatExceptionRecord(const platform::ExceptionRecord& record) {
  std::string text;
  std::string name = ExceptionName(record.code);
  std::uint32_t count = record.numberParameters <= platform::EXCEPTION_MAXIMUM_PARAMETERS
                            ? record.numberParameters
                            : platform::EXCEPTION_MAXIMUM_PARAMETERS;
  AppendFormatted(text, "Code   = %s \nAddr   = 0x%" PRIxPTR "\nFlags  = %d\nNbPrms = %d\n",
                  name.c_str(), record.address, static_cast<int>(record.flags),
                  static_cast<int>(record.numberParameters));
  for (std::uint32_t index = 0; index < count; ++index) {
    AppendFormatted(text, "Prm %d  = %" PRIxPTR "\n", static_cast<int>(index),
                    record.parameters[index]);
  }
  text += '\n';
  return text;
}

void ReportException(const platform::ExceptionRecord& record) {
  AppendExceptionFile(FormatExceptionRecord(record), kCrashFileName);
}

bool AppendExceptionFile(std::string_view text, const char* fileName) {
  std::string folder;
  if (platform::EnsureDirectory(platform::Directory::kState, "", &folder) !=
      platform::ERROR_SUCCESS) {
    return false;
  }
  platform::SYSTEMTIME now{};
  platform::GetLocalTime(&now);
  std::string record;
  AppendFormatted(record, "%d %02d %02d, %02d:%02d:%02d\n", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
  record.append(text);
  return platform::AppendToFile(folder + "/" + fileName, WithCrLf(record)) ==
         platform::ERROR_SUCCESS;
}

}  // namespace lx2d
