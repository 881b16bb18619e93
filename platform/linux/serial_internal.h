// Pieces shared by the Linux serial port service's sources.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_port.h"

namespace lx2d::platform {

// The termios speed constant of a line speed in bits per second; none for a
// speed that is not one of the standard rates.
std::optional<speed_t> SpeedConstant(uint32_t baudRate);

// Raw mode, 8N1, receiver on, modem lines ignored, reads that wait for one
// byte (so that a read of 0 bytes means a hang-up, not "nothing yet").
void MakeRaw(termios& settings);

// NAME.info of a simulated port: `key=value` lines.
std::string FormatSerialIdentity(const SerialPortIdentity& identity);
// Missing keys keep their defaults; false for a malformed number.
bool ParseSerialIdentity(std::string_view text, SerialPortIdentity& identity);

// Letters, digits, '-', '_' and '.', not empty, not starting with '.'.
bool ValidSerialPortName(std::string_view name);

// udev's ttys of the readers' vendor, and the simulated ports of a folder.
std::vector<SerialPortInfo> EnumerateUdevSerial();
std::vector<SerialPortInfo> EnumerateSerialLinks(const std::string& directory);

// Opens and configures the tty at `path` (ISerialService::Open).
uint32_t OpenTty(std::string_view path, uint32_t baudRate, std::unique_ptr<ISerialPort>& port);

}  // namespace lx2d::platform
