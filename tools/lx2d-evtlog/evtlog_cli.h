// lx2d-evtlog: read the system-wide event log and manage its filter.
//
//   lx2d-evtlog dump
//       the records still in the ring, oldest first, one line each:
//       "#<index> tick <ms> thread <id> id <record id>/<severity> <text>",
//       a dump's title followed by its elements in hex
//   lx2d-evtlog follow [--count N]
//       waits on "EventHook" and prints records as they come; ends after N
//       records, or when killed
//   lx2d-evtlog filter show
//       the registry's "EventFilter" in a readable form, and the live block
//       when it differs
//   lx2d-evtlog filter set [--default MASK] [--rule CATEGORY:MASK]...
//                          [--id ID]... [--trigger ID] [--trigger-count N]
//                          [--trigger-on]
//       writes a new filter (unnamed fields as in the default filter) to the
//       registry and to the live block of a running log
//   lx2d-evtlog reset
//       removes the log's shared segments when no process holds them, so
//       that the next process creates them afresh (a new "QueueSize" or
//       "EventFilter" takes effect)
//
// LX2D_EVTLOG_PREFIX selects a private log (tests, trials) instead of the
// machine's. Numbers are decimal or 0x hex.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "event_filter.h"
#include "platform/registry.h"

namespace lx2d::evtlog {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // no log, log still held, registry refused
inline constexpr int kExitUsage = 2;

// The readable form of a filter, one item per line:
//   default mask 12 (severities 2 3)
//   rule category 0x1A6 mask 1 (severities 0)
//   id 0xC1A60000
//   trigger id 0x41040004 off, count 0, state waiting
//   queue size 0x8000
std::string DescribeFilter(const TEventFilter& filter);

// Runs one command on the log that `prefix` names, with `registry` for the
// filter. Returns the exit code.
int RunEvtlogCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     platform::IRegistry& registry, std::string_view prefix);

}  // namespace lx2d::evtlog
