// lx2d-win: the message system's command line (see win_cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "win_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return lx2d::win::RunWinCommand(args, std::cout, std::cerr);
}
