#include "driver_sim.h"

#include <algorithm>
#include <string_view>

#include "capsule_cipher.h"
#include "hdrand.h"
#include "platform/win_types.h"

namespace lx2d::sim {

using namespace lx2d::power;

namespace {

DriverAnswer Refuse(uint32_t error) { return {false, error, {}}; }

DriverAnswer Give(std::vector<uint8_t> output) { return {true, 0, std::move(output)}; }

bool HasTag(std::span<const uint8_t> input, std::string_view tag) {
  return input.size() >= tag.size() && std::equal(tag.begin(), tag.end(), input.begin());
}

}  // namespace

CPowerDriverSim::CPowerDriverSim(const DriverSimConfig& settings) : config(settings) {}

CPowerDriverSim::~CPowerDriverSim() { ForgetSession(); }

void CPowerDriverSim::ForgetSession() {
  FreeBlowfishContext(sessionContext);
  sessionContext = nullptr;
  Wipe(exponent);
  Wipe(proofKey);
  phase = Phase::kNone;
  sessionId = 0;
  clientProven = false;
}

void CPowerDriverSim::Disconnected() { ForgetSession(); }

DriverAnswer CPowerDriverSim::Handle(uint32_t code, uint32_t outputCapacity,
                                     std::span<const uint8_t> input) {
  DriverAnswer answer;
  switch (code) {
    case kIoctlSession:
      answer = HandleSession(input, outputCapacity);
      break;
    case kIoctlEndSession:
      answer = EndSession(input);
      break;
    case kIoctlCapsule:
      answer = Capsule(input, outputCapacity);
      break;
    default:
      answer = Refuse(platform::ERROR_INVALID_PARAMETER);
      break;
  }
  if (answer.output.size() > outputCapacity) answer = Refuse(platform::ERROR_INSUFFICIENT_BUFFER);
  calls.push_back({code,
                   outputCapacity,
                   {input.begin(), input.end()},
                   answer,
                   std::chrono::steady_clock::now()});
  return answer;
}

DriverAnswer CPowerDriverSim::HandleSession(std::span<const uint8_t> input, uint32_t capacity) {
  if (input.empty() && capacity == 0) {
    return config.sessions ? Give({}) : Refuse(platform::ERROR_NOT_SUPPORTED);
  }
  if (!config.sessions) return Refuse(platform::ERROR_NOT_SUPPORTED);
  if (input.size() == kIni1Bytes && HasTag(input, kIni1Tag)) return Ini1(input);
  if (input.size() == kIni2RequestBytes && HasTag(input, kIni2Tag)) return Ini2(input);
  if (input.size() == kIni3RequestBytes && HasTag(input, kIni3Tag)) return Ini3(input);
  return Refuse(platform::ERROR_INVALID_PARAMETER);
}

DriverAnswer CPowerDriverSim::Ini1(std::span<const uint8_t> input) {
  ForgetSession();
  CHdRand generator;
  std::vector<uint8_t> reply(kIni1Bytes, 0);
  const std::span<uint8_t> block =
      std::span(reply).subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes);
  if (!generator.Init() || !generator.DrawBytes(std::span(exponent).first(12)) ||
      !generator.DrawBytes(block) || !Pow2Mod(exponent, driverPublic)) {
    return Refuse(platform::ERROR_INTERNAL_ERROR);
  }
  std::copy_n(input.begin() + kIni1PublicOffset, kBigNumberBytes, clientPublic.begin());
  if (!HmacSha1(config.authKey, {input.subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes), block},
                proofKey)) {
    return Refuse(platform::ERROR_INTERNAL_ERROR);
  }
  sessionId = nextSessionId++;
  PutWord(reply, 0, sessionId);
  std::copy(driverPublic.begin(), driverPublic.end(), reply.begin() + kIni1PublicOffset);
  phase = Phase::kIni1Done;
  return Give(std::move(reply));
}

DriverAnswer CPowerDriverSim::Ini2(std::span<const uint8_t> input) {
  if (phase != Phase::kIni1Done || WordAt(input, kTagBytes) != sessionId) {
    return Refuse(platform::ERROR_INVALID_PARAMETER);
  }
  Digest expected{};
  Digest proof{};
  if (!HmacSha1(proofKey, {clientPublic, driverPublic}, expected) ||
      !HmacSha1(proofKey, {driverPublic, clientPublic}, proof)) {
    return Refuse(platform::ERROR_INTERNAL_ERROR);
  }
  // The driver answers with its own proof either way, so the client judges
  // the driver; a client that failed its proof gets no session key in.
  clientProven = EqualSecret(expected, input.subspan(8, kDigestBytes));
  phase = Phase::kIni2Done;
  return Give({proof.begin(), proof.end()});
}

DriverAnswer CPowerDriverSim::Ini3(std::span<const uint8_t> input) {
  if (phase != Phase::kIni2Done || WordAt(input, kTagBytes) != sessionId) {
    return Refuse(platform::ERROR_INVALID_PARAMETER);
  }
  if (!clientProven) return Refuse(platform::ERROR_ACCESS_DENIED);
  BigNumber shared{};
  Digest digest{};
  std::array<uint8_t, kSessionKeyBytes> sessionKey{};
  std::copy_n(input.begin() + 8, kSessionKeyBytes, sessionKey.begin());
  BlowfishContext* context = AllocateBlowfishContext();
  const bool keyed =
      context != nullptr && PowMod(clientPublic, exponent, shared) && Sha1({shared}, digest) &&
      BlowfishInitialize(context, std::span(digest).first(kSessionKeyBytes)) &&
      BlowfishDecipher(context, std::span(sessionKey).first<kBlowfishBlockBytes>()) &&
      BlowfishDecipher(context,
                       std::span(sessionKey).subspan<kBlowfishBlockBytes, kBlowfishBlockBytes>()) &&
      BlowfishInitialize(context, sessionKey);
  Wipe(shared);
  Wipe(digest);
  Wipe(sessionKey);
  std::vector<uint8_t> confirmation(kConfirmation.begin(), kConfirmation.end());
  if (!keyed || !BlowfishEncipher(context, std::span(confirmation).first<kBlowfishBlockBytes>())) {
    FreeBlowfishContext(context);
    return Refuse(platform::ERROR_INTERNAL_ERROR);
  }
  sessionContext = context;
  expectedCounter = 0;
  phase = Phase::kEstablished;
  return Give(std::move(confirmation));
}

DriverAnswer CPowerDriverSim::EndSession(std::span<const uint8_t> input) {
  if (input.size() != 4 || phase == Phase::kNone || WordAt(input, 0) != sessionId) {
    return Refuse(platform::ERROR_INVALID_PARAMETER);
  }
  ForgetSession();
  return Give({});
}

DriverAnswer CPowerDriverSim::Capsule(std::span<const uint8_t> input, uint32_t capacity) {
  const bool enciphered = config.sessions;
  // The header is read only once it is known to be there.
  if (CheckCapsule(input) != CapsuleCheck::kOk) return Refuse(platform::ERROR_INVALID_PARAMETER);
  if (enciphered &&
      (phase != Phase::kEstablished || WordAt(input, kCapsuleSessionOffset) != sessionId)) {
    return Refuse(platform::ERROR_ACCESS_DENIED);
  }
  std::vector<uint8_t> capsule(input.begin(), input.end());
  if (enciphered &&
      DecipherCapsuleBlocks(sessionContext, capsule,
                            CapsuleBlockCount(WordAt(capsule, kCapsuleSizeOffset))) >= 0) {
    return Refuse(platform::ERROR_INTERNAL_ERROR);
  }
  InnerMessage inner;
  const std::span<const uint8_t> content = std::span<const uint8_t>(capsule).subspan(
      kCapsuleHeaderBytes, WordAt(capsule, kCapsuleContentLengthOffset));
  if (!ParseInnerMessage(content, inner) || inner.code != kInnerControlCode ||
      inner.input.size() != kMiscPacketBytes || inner.input[0] != kMiscFunction) {
    return Refuse(platform::ERROR_INVALID_PARAMETER);
  }
  if (enciphered && inner.counter != expectedCounter) return Refuse(platform::ERROR_INVALID_DATA);
  if (CapsuleSize(kMiscPacketBytes) > capacity) return Refuse(platform::ERROR_INSUFFICIENT_BUFFER);

  MiscPacket request{};
  std::copy(inner.input.begin(), inner.input.end(), request.begin());
  const MiscPacket reply = Misc(request);
  std::vector<uint8_t> answer = BuildCapsule(reply, enciphered ? sessionId : 0);
  if (enciphered) {
    EncipherCapsuleBlocks(sessionContext, answer,
                          CapsuleBlockCount(static_cast<uint32_t>(answer.size())));
  }
  ++expectedCounter;
  return Give(std::move(answer));
}

MiscPacket CPowerDriverSim::Misc(const MiscPacket& request) {
  MiscCall call;
  call.item = request[kMiscItemOffset];
  call.operation = request[kMiscOperationOffset];
  MiscPacket reply = request;
  if (config.repeatStatusCalls > 0) {
    --config.repeatStatusCalls;
    call.status = kMiscStatusRepeat;
    call.value = request[kMiscValueOffset];
  } else if (call.operation == kMiscSet) {
    items[call.item] = request[kMiscValueOffset];
    call.value = items[call.item];
  } else {
    call.value = items[call.item];
    reply[kMiscValueOffset] = call.value;
  }
  reply[kMiscStatusOffset] = call.status;
  if (miscObserver) miscObserver(call);
  return reply;
}

}  // namespace lx2d::sim
