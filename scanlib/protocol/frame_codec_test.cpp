#include "frame_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace lx2d {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(uint8_t number, uint8_t kind, const Bytes& payload, uint8_t flags,
             uint16_t ext1 = kNoExtension, uint16_t ext2 = kNoExtension) {
  Bytes out;
  EncodeFrame(number, kind, ext1, ext2, payload, flags, out);
  return out;
}

// Feeds every byte and returns the outcomes in order.
std::vector<DecodeStatus> FeedAll(CFrameDecoder& decoder, const Bytes& bytes) {
  std::vector<DecodeStatus> outcomes;
  for (uint8_t byte : bytes) outcomes.push_back(decoder.Feed(byte));
  return outcomes;
}

DecodeStatus LastOutcome(CFrameDecoder& decoder, const Bytes& bytes) {
  return FeedAll(decoder, bytes).back();
}

TEST(VscpChecksum, RunningSums_SecondSumIsChecksum) {
  EXPECT_EQ(VscpChecksum(Bytes{0x01, 0x02, 0x03}), 0x000A);
  EXPECT_EQ(VscpChecksum(Bytes{}), 0x0000);
  // Both sums wrap at 16 bits: 300 bytes of 0xFF.
  uint16_t sum1 = 0, sum2 = 0;
  for (int i = 0; i < 300; ++i) {
    sum1 = static_cast<uint16_t>(sum1 + 0xFF);
    sum2 = static_cast<uint16_t>(sum2 + sum1);
  }
  EXPECT_EQ(VscpChecksum(Bytes(300, 0xFF)), sum2);
}

struct EncodeCase {
  const char* name;
  uint8_t number;
  uint8_t kind;
  Bytes payload;
  uint8_t flags;
  uint16_t ext1;
  uint16_t ext2;
  Bytes wire;
};

TEST(EncodeFrame, Cases_ExactWireBytes) {
  const EncodeCase cases[] = {
      {"payload bytes escaped",
       0x05,
       0x40,
       {0x02, 0x10},
       0x68,
       kNoExtension,
       kNoExtension,
       {0x02, 0x05, 0x40, 0x10, 0x42, 0x10, 0x50, 0x68, 0x01, 0xA7, 0x03}},
      {"empty payload",
       0x01,
       0x41,
       {},
       0x60,
       kNoExtension,
       kNoExtension,
       // sum1 runs 01 42 A2, sum2 runs 01 43 E5
       {0x02, 0x01, 0x41, 0x60, 0x00, 0xE5, 0x03}},
      {"frame number 0x10 escaped",
       0x10,
       0x41,
       {},
       0x60,
       kNoExtension,
       kNoExtension,
       {0x02, 0x10, 0x50, 0x41, 0x60, 0x01, 0x12, 0x03}},
      {"extension bytes sent for GIRQ", 0x01, 0xF0, {0xAA}, 0x60, 0x0102, 0x0003, {}},
      {"one extension value 0xFFFF: no extension", 0x01, 0xF0, {}, 0x60, 0x0001, kNoExtension, {}},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes wire = Encode(c.number, c.kind, c.payload, c.flags, c.ext1, c.ext2);
    if (!c.wire.empty()) EXPECT_EQ(wire, c.wire);
    // Whatever the escapes, decoding gives back the unescaped frame.
    CFrameDecoder decoder;
    ASSERT_EQ(LastOutcome(decoder, wire), DecodeStatus::kFrameAccepted);
    EXPECT_EQ(decoder.Frame().number, c.number);
    EXPECT_EQ(decoder.Frame().kind, c.kind);
    EXPECT_EQ(decoder.Frame().flags, c.flags);
    EXPECT_EQ(decoder.Frame().wireCount, static_cast<int32_t>(wire.size()));
  }
}

TEST(EncodeFrame, Extension_LowBytesSummedNotEscapedAway) {
  // GIRQ with extension values 0x0102 and 0x0003: low bytes 02 and 03 are
  // escaped on the wire and part of the checksum.
  Bytes wire = Encode(0x01, kKindGirq, {0xAA}, 0x60, 0x0102, 0x0003);
  const uint16_t sum = VscpChecksum(Bytes{0x01, 0xF0, 0x02, 0x03, 0xAA, 0x60});
  Bytes expected = {0x02, 0x01, 0xF0, 0x10, 0x42, 0x10, 0x43, 0xAA, 0x60};
  expected.push_back(static_cast<uint8_t>(sum >> 8));
  expected.push_back(static_cast<uint8_t>(sum));
  expected.push_back(0x03);
  EXPECT_EQ(wire, expected);
  // Without extension the checksum differs: the bytes count.
  EXPECT_NE(Encode(0x01, kKindGirq, {0xAA}, 0x60), wire);
}

TEST(EncodeFrame, ChecksumByteWithFramingValue_Escaped) {
  // Find a one-byte payload whose checksum has a framing byte in it.
  for (int value = 0; value < 256; ++value) {
    const Bytes payload = {static_cast<uint8_t>(value)};
    const uint16_t sum = VscpChecksum(Bytes{0x01, 0x41, payload[0], 0x60});
    const uint8_t low = static_cast<uint8_t>(sum);
    if (low != kStx && low != kEtx && low != kDle) continue;
    const Bytes wire = Encode(0x01, 0x41, payload, 0x60);
    EXPECT_EQ(wire[wire.size() - 3], kDle);
    EXPECT_EQ(wire[wire.size() - 2], low | kEscapeBit);
    CFrameDecoder decoder;
    EXPECT_EQ(LastOutcome(decoder, wire), DecodeStatus::kFrameAccepted);
    return;
  }
  FAIL() << "no payload gives a framing byte in the checksum";
}

TEST(EncodeFrame, OversizedPayload_LengthTakenModulo65536) {
  const Bytes payload(65536 + 3, 0x20);
  const Bytes wire = Encode(0x01, 0x41, payload, 0x60);
  EXPECT_EQ(wire, Encode(0x01, 0x41, Bytes(3, 0x20), 0x60));
}

TEST(EncodeControl, Bytes_EscapedLikeFullFrames) {
  Bytes out;
  EncodeControl(0x05, kCtlAck, 0x00, out);
  EXPECT_EQ(out, (Bytes{0x02, 0x05, 0x06, 0x00, 0x03}));
  EncodeControl(0x10, kCtlNak, 0x03, out);
  EXPECT_EQ(out, (Bytes{0x02, 0x10, 0x50, 0x15, 0x10, 0x43, 0x03}));
}

TEST(FindKind, Table_ClassesAndReplies) {
  struct Row {
    uint8_t kind;
    KindClass kindClass;
    uint8_t reply;
  };
  const Row rows[] = {
      {0x40, KindClass::kRequest, 0x50},  {0x41, KindClass::kRequest, 0x51},
      {0x4B, KindClass::kRequest, 0x51},  {0x70, KindClass::kRequest, 0x72},
      {0xF0, KindClass::kRequest, 0xF1},  {0x51, KindClass::kReply, 0},
      {0xF1, KindClass::kReply, 0},       {0x60, KindClass::kUnsolicited, 0},
      {0x64, KindClass::kUnsolicited, 0}, {0x71, KindClass::kUnsolicited, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    auto info = FindKind(row.kind);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->kindClass, row.kindClass);
    EXPECT_EQ(info->replyKind, row.reply);
  }
  int known = 0;
  for (int kind = 0; kind < 256; ++kind) known += FindKind(static_cast<uint8_t>(kind)).has_value();
  EXPECT_EQ(known, 30);
  EXPECT_FALSE(FindKind(0x52).has_value());
}

TEST(FrameDecoder, SrExample_AcceptedWithPayloadUnescaped) {
  CFrameDecoder decoder(kAcceptFull);
  const Bytes wire = {0x02, 0x05, 0x40, 0x10, 0x42, 0x10, 0x50, 0x68, 0x01, 0xA7, 0x03};
  const auto outcomes = FeedAll(decoder, wire);
  for (size_t i = 0; i + 1 < outcomes.size(); ++i)
    EXPECT_EQ(outcomes[i], DecodeStatus::kInProgress);
  ASSERT_EQ(outcomes.back(), DecodeStatus::kFrameAccepted);
  const VscpFrame& frame = decoder.Frame();
  EXPECT_EQ(frame.number, 0x05);
  EXPECT_EQ(frame.kind, 0x40);
  EXPECT_EQ(frame.flags, 0x68);
  EXPECT_EQ(frame.length, 2u);
  EXPECT_EQ(frame.payload, (Bytes{0x02, 0x10}));
  EXPECT_EQ(frame.checksum, 0x01A7);
  EXPECT_EQ(frame.wireCount, 11);
  EXPECT_FALSE(decoder.InFrame());
}

TEST(FrameDecoder, ControlFrame_AcceptedOnlyWhereAllowed) {
  const Bytes ack = {0x02, 0x05, 0x06, 0x00, 0x03};
  CFrameDecoder control(kAcceptControl);
  ASSERT_EQ(LastOutcome(control, ack), DecodeStatus::kControlAccepted);
  EXPECT_EQ(control.Frame().kind, kCtlAck);
  EXPECT_EQ(control.Frame().length, 1u);
  EXPECT_EQ(control.Frame().payload, Bytes{0x00});
  EXPECT_EQ(control.Frame().flags, 0);

  CFrameDecoder fullOnly(kAcceptFull);
  EXPECT_EQ(LastOutcome(fullOnly, ack), DecodeStatus::kDropped);

  // A 7-byte full frame is never taken for a control frame.
  CFrameDecoder controlOnly(kAcceptControl);
  EXPECT_EQ(LastOutcome(controlOnly, Encode(1, 0x41, {}, 0x60)), DecodeStatus::kDropped);
}

struct DropCase {
  const char* name;
  Bytes wire;
  FrameAccept accept;
};

TEST(FrameDecoder, MalformedFrames_Dropped) {
  Bytes badSum = Encode(0x05, 0x40, {0x11}, 0x68);
  badSum[badSum.size() - 2] ^= 0x01;
  const DropCase cases[] = {
      {"DLE DLE", {0x02, 0x05, 0x10, 0x10}, kAcceptBoth},
      {"DLE then a byte that is no escape", {0x02, 0x05, 0x10, 0x41}, kAcceptBoth},
      {"checksum mismatch", badSum, kAcceptBoth},
      {"six bytes", {0x02, 0x01, 0x06, 0x00, 0x00, 0x03}, kAcceptBoth},
      {"four bytes", {0x02, 0x01, 0x06, 0x03}, kAcceptBoth},
      {"GIRP too short for its extension", {0x02, 0x01, 0xF1, 0x60, 0x01, 0xB3, 0x03}, kAcceptFull},
  };
  for (const DropCase& c : cases) {
    SCOPED_TRACE(c.name);
    CFrameDecoder decoder(c.accept);
    EXPECT_EQ(LastOutcome(decoder, c.wire), DecodeStatus::kDropped);
    EXPECT_FALSE(decoder.InFrame());
    // After a drop, bytes are outside a frame until the next STX, which
    // starts a fresh frame.
    EXPECT_EQ(decoder.Feed(0x41), DecodeStatus::kOutsideFrame);
    EXPECT_EQ(LastOutcome(decoder, Encode(7, 0x41, {1, 2}, 0x60)), DecodeStatus::kFrameAccepted);
    EXPECT_EQ(decoder.Frame().number, 7);
  }
}

TEST(FrameDecoder, StxInsideFrame_RestartsAndLosesEarlierBytes) {
  CFrameDecoder decoder;
  FeedAll(decoder, {0x02, 0x09, 0x41, 0x33});
  const Bytes good = Encode(5, 0x41, {0x44}, 0x60);
  const auto outcomes = FeedAll(decoder, good);
  EXPECT_EQ(outcomes.front(), DecodeStatus::kRestarted);
  ASSERT_EQ(outcomes.back(), DecodeStatus::kFrameAccepted);
  EXPECT_EQ(decoder.Frame().number, 5);
  EXPECT_EQ(decoder.Frame().payload, Bytes{0x44});
  EXPECT_EQ(decoder.Frame().wireCount, static_cast<int32_t>(good.size()));
}

TEST(FrameDecoder, BytesOutsideFrame_ReportedAsRaw) {
  CFrameDecoder decoder;
  EXPECT_EQ(decoder.Feed('A'), DecodeStatus::kOutsideFrame);
  EXPECT_EQ(decoder.Feed(kEtx), DecodeStatus::kOutsideFrame);
  EXPECT_EQ(decoder.Feed(kDle), DecodeStatus::kOutsideFrame);
}

TEST(FrameDecoder, GirpReply_ExtensionSummedButNotPayload) {
  // The reader's GIRP: extension bytes 0x07 0x08, payload 0xAB.
  Bytes wire = Encode(0x03, kKindGirp, {0xAB}, 0x60, 0x07, 0x08);
  CFrameDecoder decoder(kAcceptFull);
  ASSERT_EQ(LastOutcome(decoder, wire), DecodeStatus::kFrameAccepted);
  EXPECT_EQ(decoder.Frame().payload, Bytes{0xAB});
  EXPECT_EQ(decoder.Frame().length, 1u);
  EXPECT_EQ(decoder.Frame().checksum, VscpChecksum(Bytes{0x03, 0xF1, 0x07, 0x08, 0xAB, 0x60}));
}

TEST(FrameDecoder, FrameSizeLimit_LargestKeptOneMoreDropped) {
  // The unescaped frame may be kMaxFrameBytes long, ETX included.
  const size_t largestPayload = kMaxFrameBytes - kFullFrameOverhead;
  Bytes payload(largestPayload, 0x20);
  Bytes out;
  // Encode by hand: EncodeFrame caps request payloads at 65535 bytes.
  std::vector<uint8_t> body = {0x01, 0x51};
  body.insert(body.end(), payload.begin(), payload.end());
  body.push_back(0x60);
  const uint16_t sum = VscpChecksum(body);
  auto frameOf = [&](const Bytes& inner) {
    Bytes wire = {kStx};
    wire.insert(wire.end(), inner.begin(), inner.end());
    wire.push_back(static_cast<uint8_t>(sum >> 8));
    wire.push_back(static_cast<uint8_t>(sum));
    wire.push_back(kEtx);
    return wire;
  };
  ASSERT_NE(static_cast<uint8_t>(sum >> 8), kDle);  // keep the frame escape-free
  CFrameDecoder decoder(kAcceptFull);
  ASSERT_EQ(LastOutcome(decoder, frameOf(body)), DecodeStatus::kFrameAccepted);
  EXPECT_EQ(decoder.Frame().length, largestPayload);

  body.insert(body.begin() + 2, 0x20);
  EXPECT_EQ(LastOutcome(decoder, frameOf(body)), DecodeStatus::kDropped);
}

TEST(FrameDecoder, FeedRun_SameOutcomesAsSingleBytes) {
  // Escapes on and across 16-byte block edges, raw bytes, a broken escape,
  // a restart and a frame cut off at the end.
  Bytes payload(40, 0x20);
  for (size_t at : {0, 14, 15, 16, 31, 32, 39})
    payload[at] = static_cast<uint8_t>(at % 3 ? 0x10 : 0x02);
  Bytes stream = {'r', 'a', 'w'};
  for (int i = 0; i < 3; ++i) {
    const Bytes frame = Encode(static_cast<uint8_t>(i), 0x51, payload, 0x60);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const Bytes broken = {0x02, 0x01, 0x51, 0x20, 0x10, 0x20, 'x'};
  stream.insert(stream.end(), broken.begin(), broken.end());
  stream.insert(stream.end(), {0x02, 0x09, 0x41, 0x02, 0x07, 0x10});

  for (size_t split = 1; split <= stream.size(); ++split) {
    SCOPED_TRACE(split);
    CFrameDecoder single, runs;
    std::vector<std::pair<size_t, DecodeStatus>> expected, actual;
    for (size_t i = 0; i < stream.size(); ++i) {
      const DecodeStatus status = single.Feed(stream[i]);
      if (status != DecodeStatus::kInProgress) expected.emplace_back(i, status);
    }
    // Hand the stream over in pieces of `split` bytes.
    for (size_t start = 0; start < stream.size(); start += split) {
      const std::span<const uint8_t> piece(stream.data() + start,
                                           std::min(split, stream.size() - start));
      for (size_t at = 0; at < piece.size();) {
        const auto result = runs.FeedRun(piece.subspan(at));
        ASSERT_GT(result.consumed, 0u);
        at += result.consumed;
        if (result.status != DecodeStatus::kInProgress)
          actual.emplace_back(start + at - 1, result.status);
        if (result.status == DecodeStatus::kFrameAccepted) EXPECT_EQ(runs.Frame().payload, payload);
      }
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(runs.InFrame(), single.InFrame());
  }
}

TEST(FrameDecoder, ReusedRecord_PayloadMatchesLatestFrame) {
  CFrameDecoder decoder;
  ASSERT_EQ(LastOutcome(decoder, Encode(1, 0x41, Bytes(100, 7), 0x60)),
            DecodeStatus::kFrameAccepted);
  ASSERT_EQ(LastOutcome(decoder, Encode(2, 0x41, {9}, 0x60)), DecodeStatus::kFrameAccepted);
  EXPECT_EQ(decoder.Frame().payload, Bytes{9});
  EXPECT_EQ(decoder.Frame().length, 1u);
}

}  // namespace
}  // namespace lx2d
