// lx2d-evtlog: the event log's reader and filter tool (see evtlog_cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "event_log_names.h"
#include "evtlog_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return lx2d::evtlog::RunEvtlogCommand(args, std::cout, std::cerr,
                                        lx2d::platform::DefaultRegistry(),
                                        lx2d::EventLogPrefixFromEnvironment());
}
