// The low-level Blowfish API is the one that takes the halves as words,
// which the driver's little-endian byte order needs; OpenSSL 3 marks it
// deprecated but keeps it in the default library, so no legacy provider
// has to be loaded.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "power_crypto.h"

#include <openssl/blowfish.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>
#include <new>

#include "driver_protocol.h"

namespace lx2d::power {

struct BlowfishContext {
  BF_KEY key;
};
static_assert(sizeof(BlowfishContext) == kBlowfishContextBytes);

namespace {

struct BnDeleter {
  void operator()(BIGNUM* number) const { BN_clear_free(number); }
};
using Bn = std::unique_ptr<BIGNUM, BnDeleter>;

struct BnCtxDeleter {
  void operator()(BN_CTX* context) const { BN_CTX_free(context); }
};

Bn FromLittleEndian(std::span<const uint8_t> bytes) {
  return Bn(BN_lebin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

bool ModExp(const BIGNUM* base, const Exponent& exponent, BigNumber& result) {
  std::unique_ptr<BN_CTX, BnCtxDeleter> context(BN_CTX_secure_new());
  Bn prime(BN_get_rfc2409_prime_1024(nullptr));
  Bn power = FromLittleEndian(exponent);
  Bn value(BN_new());
  if (!context || !prime || !power || !value) return false;
  BN_set_flags(power.get(), BN_FLG_CONSTTIME);
  return BN_mod_exp(value.get(), base, power.get(), prime.get(), context.get()) == 1 &&
         BN_bn2lebinpad(value.get(), result.data(), static_cast<int>(result.size())) ==
             static_cast<int>(result.size());
}

}  // namespace

bool Sha1(std::initializer_list<std::span<const uint8_t>> parts, Digest& digest) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) return false;
  for (std::span<const uint8_t> part : parts) {
    if (EVP_DigestUpdate(context.get(), part.data(), part.size()) != 1) return false;
  }
  unsigned int size = 0;
  return EVP_DigestFinal_ex(context.get(), digest.data(), &size) == 1 && size == digest.size();
}

bool HmacSha1(std::span<const uint8_t> key, std::initializer_list<std::span<const uint8_t>> parts,
              Digest& mac) {
  std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> algorithm(
      EVP_MAC_fetch(nullptr, "HMAC", nullptr), EVP_MAC_free);
  if (!algorithm) return false;
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(
      EVP_MAC_CTX_new(algorithm.get()), EVP_MAC_CTX_free);
  char digestName[] = "SHA1";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string("digest", digestName, 0),
      OSSL_PARAM_construct_end(),
  };
  if (!context || EVP_MAC_init(context.get(), key.data(), key.size(), params) != 1) return false;
  for (std::span<const uint8_t> part : parts) {
    if (EVP_MAC_update(context.get(), part.data(), part.size()) != 1) return false;
  }
  size_t size = 0;
  return EVP_MAC_final(context.get(), mac.data(), &size, mac.size()) == 1 && size == mac.size();
}

bool Pow2Mod(const Exponent& exponent, BigNumber& result) {
  Bn two(BN_new());
  return two && BN_set_word(two.get(), 2) == 1 && ModExp(two.get(), exponent, result);
}

bool PowMod(const BigNumber& base, const Exponent& exponent, BigNumber& result) {
  Bn value = FromLittleEndian(base);
  Bn prime(BN_get_rfc2409_prime_1024(nullptr));
  Bn highest(BN_dup(prime.get()));
  if (!value || !prime || !highest || BN_sub_word(highest.get(), 2) != 1) return false;
  if (BN_cmp(value.get(), BN_value_one()) <= 0 || BN_cmp(value.get(), highest.get()) > 0) {
    return false;
  }
  return ModExp(value.get(), exponent, result);
}

BlowfishContext* AllocateBlowfishContext() { return new (std::nothrow) BlowfishContext{}; }

void FreeBlowfishContext(BlowfishContext* context) {
  if (context == nullptr) return;
  WipeBlowfishContext(context);
  delete context;
}

void WipeBlowfishContext(BlowfishContext* context) {
  if (context != nullptr) OPENSSL_cleanse(context, sizeof *context);
}

bool BlowfishInitialize(BlowfishContext* context, std::span<const uint8_t> key) {
  if (context == nullptr || key.empty()) return false;
  const size_t used = std::min(key.size(), kBlowfishMaxKeyBytes);
  BF_set_key(&context->key, static_cast<int>(used), key.data());
  return true;
}

bool BlowfishEncipher(const BlowfishContext* context,
                      std::span<uint8_t, kBlowfishBlockBytes> block) {
  if (context == nullptr) return false;
  BF_LONG halves[2] = {WordAt(block, 0), WordAt(block, 4)};
  BF_encrypt(halves, &context->key);
  PutWord(block, 0, static_cast<uint32_t>(halves[0]));
  PutWord(block, 4, static_cast<uint32_t>(halves[1]));
  return true;
}

bool BlowfishDecipher(const BlowfishContext* context,
                      std::span<uint8_t, kBlowfishBlockBytes> block) {
  if (context == nullptr) return false;
  BF_LONG halves[2] = {WordAt(block, 0), WordAt(block, 4)};
  BF_decrypt(halves, &context->key);
  PutWord(block, 0, static_cast<uint32_t>(halves[0]));
  PutWord(block, 4, static_cast<uint32_t>(halves[1]));
  return true;
}

void Wipe(std::span<uint8_t> bytes) { OPENSSL_cleanse(bytes.data(), bytes.size()); }

bool EqualSecret(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace lx2d::power
