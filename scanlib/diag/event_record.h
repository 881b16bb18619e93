// Reading the event log's records back: the data of a record taken apart by
// its type, and the one-line form the `lx2d-evtlog` reader prints. Record
// data come from a segment anyone can write, so every length is checked
// against the record's size.
//
// Record data by type (little-endian):
//   0 text       tick (4), thread (4), record id (4), text, zero byte
//   3 wide text  tick (4), thread (4), text in the writer's code page, zero byte
//   4 dump       tick (4), thread (4), record id (4), element count (4),
//                element size (1), 0 (1), title bytes (2) = title, its zero
//                byte and zero fill up to a multiple of the element size;
//                the title and fill; the elements
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "event_ring.h"

namespace lx2d {

struct TEventRecord {
  std::uint32_t index = 0;  // write index at which it was reserved
  std::uint32_t type = 0;
  std::uint32_t tick = 0;
  std::uint32_t thread = 0;
  std::uint32_t recordId = 0;  // 0 for wide texts
  std::string text;            // texts: the text; dumps: the title
  std::uint32_t count = 0;     // dumps: elements
  std::uint8_t elementSize = 0;
  std::vector<std::uint8_t> elements;
};

// The record's fields, or nullopt for an unknown type or data that do not
// hold what their type and lengths say.
std::optional<TEventRecord> DecodeRecord(const RawRecord& raw);

// "#<index> <tick> <thread> <id>/<severity> <text>"; a dump's text is its
// title, then its elements in hexadecimal (each one a little-endian number of
// its size), e.g.
//   #1042 tick 5123456 thread 2211 id 81A60000/2 RX frame: 02 05 40 ... 03
// Wide texts show "-" for the id. A text's trailing line break is dropped.
std::string FormatRecord(const TEventRecord& record);

}  // namespace lx2d
