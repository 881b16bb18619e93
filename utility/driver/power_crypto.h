// The cryptography of the power-control driver session, all of it from
// OpenSSL libcrypto: SHA-1, HMAC-SHA-1, modular exponentiation in the RFC 2409
// Second Oakley Group, and Blowfish with the driver's byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lx2d::power {

inline constexpr size_t kDigestBytes = 20;
using Digest = std::array<uint8_t, kDigestBytes>;

// A number below the 1024-bit prime as the driver exchanges it: 33 32-bit
// words, least significant first, little-endian (the top word is 0).
inline constexpr size_t kBigNumberBytes = 132;
using BigNumber = std::array<uint8_t, kBigNumberBytes>;

// The private exponent: 128 bits, little-endian.
inline constexpr size_t kExponentBytes = 16;
using Exponent = std::array<uint8_t, kExponentBytes>;

inline constexpr size_t kBlowfishBlockBytes = 8;
inline constexpr size_t kBlowfishMaxKeyBytes = 16;  // longer keys are cut to this

// The Blowfish context: P-array and S-boxes, 4168 bytes.
struct BlowfishContext;
inline constexpr size_t kBlowfishContextBytes = 4168;

// SHA-1 over the concatenation of `parts`. False when libcrypto fails.
bool Sha1(std::initializer_list<std::span<const uint8_t>> parts, Digest& digest);

// HMAC-SHA-1 with `key` over the concatenation of `parts`.
bool HmacSha1(std::span<const uint8_t> key, std::initializer_list<std::span<const uint8_t>> parts,
              Digest& mac);

// 2 ^ exponent mod P. False when libcrypto fails.
bool Pow2Mod(const Exponent& exponent, BigNumber& result);

// base ^ exponent mod P, for a base of 2 to P - 2 (others would make the
// result guessable: false). False too when libcrypto fails.
bool PowMod(const BigNumber& base, const Exponent& exponent, BigNumber& result);

// A zero-filled context, or null when memory is short. Free it with
// FreeBlowfishContext, which wipes it first.
BlowfishContext* AllocateBlowfishContext();
void FreeBlowfishContext(BlowfishContext* context);

// Overwrites the context with zeros.
void WipeBlowfishContext(BlowfishContext* context);

// Keys `context` with the first 16 bytes of `key`. False for a null context
// or an empty key.
bool BlowfishInitialize(BlowfishContext* context, std::span<const uint8_t> key);

// Enciphers or deciphers one 8-byte block in place: two 32-bit halves read
// little-endian, the first four bytes being the left half. False for a null
// context.
bool BlowfishEncipher(const BlowfishContext* context,
                      std::span<uint8_t, kBlowfishBlockBytes> block);
bool BlowfishDecipher(const BlowfishContext* context,
                      std::span<uint8_t, kBlowfishBlockBytes> block);

// Overwrites `bytes` with zeros in a way the compiler keeps.
void Wipe(std::span<uint8_t> bytes);

// Compares in constant time.
bool EqualSecret(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace lx2d::power
