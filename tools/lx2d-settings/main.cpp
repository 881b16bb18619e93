// lx2d-settings: tools for people who deploy settings files.
//   lx2d-settings plan FILE   what the utility would send and write
//   lx2d-settings check FILE  mistakes the utility would forgive silently
// Exit status: plan 0, 2 file or registry hive unreadable; check 0 clean,
// 1 problems found, 2 file unreadable; 2 for bad usage.
#include <iostream>
#include <string_view>

#include "check.h"
#include "plan.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  constexpr int kUsage = 2;
  if (argc != 3) {
    std::cerr << "usage: lx2d-settings plan FILE | lx2d-settings check FILE\n";
    return kUsage;
  }
  lx2d::platform::UseEnvironmentLocale();
  const std::string_view command = argv[1];
  if (command == "plan") return lx2d::RunPlan(argv[2], std::cout, std::cerr);
  if (command == "check") return lx2d::RunCheck(argv[2], std::cout, std::cerr);
  std::cerr << "lx2d-settings: unknown command '" << command << "' (plan or check)\n";
  return kUsage;
}
