// lx2d-reg: the registry command line (see reg_cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sqlite_registry.h"
#include "platform/text.h"
#include "reg_cli.h"

int main(int argc, char** argv) {
  lx2d::platform::UseEnvironmentLocale();
  std::vector<std::string> args(argv + 1, argv + argc);
  return lx2d::reg::RunRegCommand(args, lx2d::platform::DefaultRegistry(), std::cout, std::cerr,
                                  lx2d::platform::DefaultHiveFile);
}
