#include <iostream>
#include <string_view>
#include <vector>

#include "vscp_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return lx2d::RunVscpCli(args, std::cin, std::cout, std::cerr);
}
