// Holds a serial port open, as another program using the reader would:
//   serial_port_holder PORT READY_FILE
// opens PORT exclusively, creates READY_FILE, and keeps the port until its
// standard input ends or it is terminated. Exit status 1 when the port
// cannot be opened.
#include <fstream>
#include <iostream>
#include <string>

#include "platform/serial_port.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: serial_port_holder PORT READY_FILE\n";
    return 2;
  }
  std::unique_ptr<lx2d::platform::ISerialPort> port;
  const uint32_t opened = lx2d::platform::SystemSerialService()->Open(argv[1], 115200, port);
  if (opened != lx2d::platform::kSerialOk) {
    std::cerr << "serial_port_holder: cannot open " << argv[1] << " (error " << opened << ")\n";
    return 1;
  }
  std::ofstream(argv[2]) << "held\n";
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}
