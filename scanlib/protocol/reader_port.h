// What the scanner-access library needs of its link to the reader besides
// the engine's byte stream: finding, listing, opening and closing readers,
// and a write that says whether everything went out. CUsbHid implements it;
// a serial transport can take its place without touching the library code.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "link_observer.h"
#include "transport.h"

namespace lx2d {

// Where a transport keeps settings of its own: values beside the library's
// in the host's registry key.
class IPortSettingStore {
 public:
  virtual ~IPortSettingStore() = default;
  // False when the value is missing or not a REG_DWORD.
  virtual bool ReadNumber(std::string_view name, uint32_t& value) = 0;
  // False when the value is missing or not a REG_SZ; ANSI text.
  virtual bool ReadText(std::string_view name, std::string& value) = 0;
  // Unchecked, as the library's own values are written.
  virtual void WriteNumber(std::string_view name, uint32_t value) = 0;
  virtual void WriteText(std::string_view name, std::string_view value) = 0;
};

class IReaderPort : public ITransport {
 public:
  // True if the index-th reader (from 0, in enumeration order) exists; its
  // description ("product serial", or the product alone) goes to
  // `description` when that is not null. The HID transport leaves out readers
  // held open (it cannot open them to read their strings); the serial one
  // lists them.
  virtual bool EnumDevices(int index, std::string* description) = 0;

  // 0 with `path` set to the first reader whose description equals
  // `wanted` (case-sensitive, whole text); 1 when there is none.
  virtual int FindDevice(std::string& path, std::string_view wanted) = 0;

  // Opens the reader at `path`, closing one that is open: 0, or -1 when it
  // cannot be opened or served.
  virtual int Open(std::string_view path) = 0;

  // Closes the reader if one is open. Returns 0.
  virtual int Close() = 0;

  // Sends `data` as WriteReports does, answering what happened instead of
  // how: kTransportOk when every byte was written, kTransportNotOpen when no
  // reader is open, or the system error code of the write that failed.
  virtual uint32_t WriteAll(std::span<const uint8_t> data) = 0;

  // Where the transport's event-log entries go; may be null.
  virtual void SetObserver(ILinkObserver* observer) = 0;

  // The transport's own settings, kept with the library's: back to their
  // defaults, read (a value that cannot be read keeps its default), written.
  // A transport without settings of its own does nothing.
  virtual void DefaultSettings() {}
  virtual void LoadSettings(IPortSettingStore& /*store*/) {}
  virtual void SaveSettings(IPortSettingStore& /*store*/) {}

  // The reader the configuration dialog chose last, by path; it is kept
  // in the transport's settings (a transport without them forgets it).
  virtual void SetChosenReader(std::string_view /*path*/) {}
  virtual std::string ChosenReader() const { return {}; }
};

// The library's transport, made once when the library loads; each transport
// library defines it (the HID one makes a CUsbHid for the reader's ids).
std::unique_ptr<IReaderPort> MakeReaderPort(ILinkObserver* observer);

// Result of ChooseReader when nothing was chosen (the library's code for a
// dialog closed without OK).
inline constexpr uint16_t kReaderChoiceCancelled = 11;

// The configuration dialog's choice of reader, as each transport library
// offers it: 0 with the chosen reader's description in `description` (and
// the reader remembered with SetChosenReader); kReaderChoiceCancelled; or
// 9 ("Interface port not available") when there is no reader to choose.
// Both show the desktop dialog (or ask on the terminal); without a display
// the serial one also takes the first port when there is no terminal
// (ChooseReaderWithoutDisplay).
uint16_t ChooseReader(IReaderPort& port, std::string& description);

}  // namespace lx2d
