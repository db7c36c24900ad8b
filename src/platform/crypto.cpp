// The crypto layer over OpenSSL libcrypto: MD5, RSA PKCS#1 v1.5 signatures over an MD5 digest,
// key blobs in the Windows layout read and written field by field (never through a packed
// struct), and key generation for the tools. Signatures are reversed here, so everything above
// sees them least significant byte first. Used by core/signature.cpp and the signing tool.
#include "platform/crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <iterator>
#include <new>

struct CryptoKey {
  EVP_PKEY* pkey;
};

// Order of the private numbers after the modulus, with their size in halves of the modulus
// (the primes and CRT values are half as long as the modulus, the private exponent as long).
struct PrivateField {
  const char* param;
  int halves;
};
static const PrivateField kPrivateFields[] = {
    {OSSL_PKEY_PARAM_RSA_FACTOR1, 1},     {OSSL_PKEY_PARAM_RSA_FACTOR2, 1},
    {OSSL_PKEY_PARAM_RSA_EXPONENT1, 1},   {OSSL_PKEY_PARAM_RSA_EXPONENT2, 1},
    {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, 1}, {OSSL_PKEY_PARAM_RSA_D, 2},
};
constexpr size_t kMaxModulusBytes = kCryptoMaxKeyBits / 8;

static uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

static void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

static bool ValidKeyBits(uint32_t bits) {
  return bits >= kCryptoMinKeyBits && bits <= kCryptoMaxKeyBits && bits % 16 == 0;
}

size_t CryptoPublicBlobSize(uint32_t bits) { return kKeyBlobHeaderSize + bits / 8; }

size_t CryptoPrivateBlobSize(uint32_t bits) { return kKeyBlobHeaderSize + bits / 8 * 2 + bits / 16 * 5; }

bool CryptoMd5(const void* data, size_t length, uint8_t digest[kCryptoMd5Size]) {
  if (digest == nullptr || (data == nullptr && length > 0)) return false;
  static const uint8_t kEmpty = 0;
  unsigned int size = 0;
  return EVP_Digest(data != nullptr ? data : &kEmpty, length, digest, &size, EVP_md5(), nullptr) == 1 &&
         size == kCryptoMd5Size;
}

// Pushes a little-endian number from the blob into the parameter builder.
static bool PushNumber(OSSL_PARAM_BLD* builder, const char* name, const uint8_t* bytes, size_t length,
                       BIGNUM** keep) {
  *keep = BN_lebin2bn(bytes, int(length), nullptr);
  return *keep != nullptr && OSSL_PARAM_BLD_push_BN(builder, name, *keep) == 1;
}

CryptoKey* CryptoImportKeyBlob(const uint8_t* blob, size_t length) {
  if (blob == nullptr || length < kKeyBlobHeaderSize) return nullptr;
  const uint8_t type = blob[0];
  const uint32_t algorithm = LoadLE32(blob + 4);
  const uint32_t magic = LoadLE32(blob + 8);
  const uint32_t bits = LoadLE32(blob + 12);
  const uint32_t exponent = LoadLE32(blob + 16);
  const bool isPrivate = type == kKeyBlobPrivate;
  if (type != kKeyBlobPublic && !isPrivate) return nullptr;
  if (blob[1] != kKeyBlobVersion) return nullptr;
  if (algorithm != kKeyAlgRsaSign && algorithm != kKeyAlgRsaExchange) return nullptr;
  if (magic != (isPrivate ? kKeyMagicPrivate : kKeyMagicPublic)) return nullptr;
  if (!ValidKeyBits(bits) || exponent == 0) return nullptr;
  if (length != (isPrivate ? CryptoPrivateBlobSize(bits) : CryptoPublicBlobSize(bits))) return nullptr;
  const size_t modulusBytes = bits / 8;
  const uint8_t* modulus = blob + kKeyBlobHeaderSize;
  // A modulus shorter than announced would make signatures of another length than the blob says.
  if (modulus[modulusBytes - 1] == 0 || (modulus[0] & 1) == 0) return nullptr;

  OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
  BIGNUM* numbers[2 + std::size(kPrivateFields)] = {};
  BIGNUM* e = BN_new();
  bool ok = builder != nullptr && e != nullptr && BN_set_word(e, exponent) == 1 &&
            PushNumber(builder, OSSL_PKEY_PARAM_RSA_N, modulus, modulusBytes, &numbers[0]) &&
            OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_E, e) == 1;
  if (ok && isPrivate) {
    const uint8_t* cursor = modulus + modulusBytes;
    for (size_t i = 0; ok && i < std::size(kPrivateFields); i++) {
      const size_t size = kPrivateFields[i].halves * (bits / 16);
      ok = PushNumber(builder, kPrivateFields[i].param, cursor, size, &numbers[1 + i]);
      cursor += size;
    }
  }
  OSSL_PARAM* params = ok ? OSSL_PARAM_BLD_to_param(builder) : nullptr;
  EVP_PKEY* pkey = nullptr;
  EVP_PKEY_CTX* context = params != nullptr ? EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr) : nullptr;
  if (context != nullptr && EVP_PKEY_fromdata_init(context) == 1) {
    if (EVP_PKEY_fromdata(context, &pkey, isPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params) != 1) {
      pkey = nullptr;
    }
  }
  EVP_PKEY_CTX_free(context);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(builder);
  BN_free(e);
  for (BIGNUM* number : numbers) BN_clear_free(number);
  if (pkey == nullptr) return nullptr;
  CryptoKey* key = new (std::nothrow) CryptoKey{pkey};
  if (key == nullptr) EVP_PKEY_free(pkey);
  return key;
}

void CryptoDestroyKey(CryptoKey* key) {
  if (key == nullptr) return;
  EVP_PKEY_free(key->pkey);
  delete key;
}

size_t CryptoSignatureSize(const CryptoKey* key) {
  if (key == nullptr) return 0;
  const int size = EVP_PKEY_get_size(key->pkey);
  return size > 0 ? size_t(size) : 0;
}

static bool HasPrivatePart(const CryptoKey* key) {
  BIGNUM* d = nullptr;
  const bool has = EVP_PKEY_get_bn_param(key->pkey, OSSL_PKEY_PARAM_RSA_D, &d) == 1 && d != nullptr;
  BN_clear_free(d);
  return has;
}

// A signing or verifying context set for PKCS#1 v1.5 padding with an MD5 DigestInfo.
static EVP_PKEY_CTX* NewMd5Context(const CryptoKey* key, bool sign) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key->pkey, nullptr);
  if (context == nullptr) return nullptr;
  const int init = sign ? EVP_PKEY_sign_init(context) : EVP_PKEY_verify_init(context);
  if (init != 1 || EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_CTX_set_signature_md(context, EVP_md5()) != 1) {
    EVP_PKEY_CTX_free(context);
    return nullptr;
  }
  return context;
}

bool CryptoSignMd5(const CryptoKey* key, const uint8_t digest[kCryptoMd5Size], uint8_t* signature, size_t room) {
  if (key == nullptr || digest == nullptr || signature == nullptr) return false;
  const size_t size = CryptoSignatureSize(key);
  if (size == 0 || room < size || !HasPrivatePart(key)) return false;
  EVP_PKEY_CTX* context = NewMd5Context(key, true);
  if (context == nullptr) return false;
  size_t written = size;
  const bool ok = EVP_PKEY_sign(context, signature, &written, digest, kCryptoMd5Size) == 1 && written == size;
  EVP_PKEY_CTX_free(context);
  if (!ok) return false;
  std::reverse(signature, signature + size);
  return true;
}

bool CryptoVerifyMd5(const CryptoKey* key, const uint8_t digest[kCryptoMd5Size], const uint8_t* signature,
                     size_t length) {
  if (key == nullptr || digest == nullptr || signature == nullptr) return false;
  const size_t size = CryptoSignatureSize(key);
  if (size == 0 || size > kMaxModulusBytes || length != size) return false;
  uint8_t bigEndian[kMaxModulusBytes];
  std::reverse_copy(signature, signature + size, bigEndian);
  EVP_PKEY_CTX* context = NewMd5Context(key, false);
  if (context == nullptr) return false;
  const bool ok = EVP_PKEY_verify(context, bigEndian, size, digest, kCryptoMd5Size) == 1;
  EVP_PKEY_CTX_free(context);
  return ok;
}

CryptoKey* CryptoGenerateKey(uint32_t bits) {
  if (!ValidKeyBits(bits)) return nullptr;
  EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t(bits));
  if (pkey == nullptr) return nullptr;
  CryptoKey* key = new (std::nothrow) CryptoKey{pkey};
  if (key == nullptr) EVP_PKEY_free(pkey);
  return key;
}

// Writes one number little-endian into exactly `size` bytes; false when it does not fit.
static bool ExportNumber(const CryptoKey* key, const char* name, uint8_t* out, size_t size) {
  BIGNUM* number = nullptr;
  if (EVP_PKEY_get_bn_param(key->pkey, name, &number) != 1 || number == nullptr) return false;
  const bool ok = BN_bn2lebinpad(number, out, int(size)) == int(size);
  BN_clear_free(number);
  return ok;
}

size_t CryptoExportKeyBlob(const CryptoKey* key, bool privateBlob, uint8_t* out, size_t room) {
  if (key == nullptr || out == nullptr) return 0;
  const int keyBits = EVP_PKEY_get_bits(key->pkey);
  if (keyBits <= 0 || !ValidKeyBits(uint32_t(keyBits))) return 0;
  const uint32_t bits = uint32_t(keyBits);
  const size_t size = privateBlob ? CryptoPrivateBlobSize(bits) : CryptoPublicBlobSize(bits);
  if (room < size || (privateBlob && !HasPrivatePart(key))) return 0;

  BIGNUM* e = nullptr;
  if (EVP_PKEY_get_bn_param(key->pkey, OSSL_PKEY_PARAM_RSA_E, &e) != 1 || e == nullptr) return 0;
  const bool exponentFits = BN_num_bits(e) <= 32;
  const uint32_t exponent = exponentFits ? uint32_t(BN_get_word(e)) : 0;
  BN_free(e);
  if (!exponentFits) return 0;

  out[0] = privateBlob ? kKeyBlobPrivate : kKeyBlobPublic;
  out[1] = kKeyBlobVersion;
  out[2] = 0;
  out[3] = 0;
  StoreLE32(out + 4, kKeyAlgRsaSign);
  StoreLE32(out + 8, privateBlob ? kKeyMagicPrivate : kKeyMagicPublic);
  StoreLE32(out + 12, bits);
  StoreLE32(out + 16, exponent);
  uint8_t* cursor = out + kKeyBlobHeaderSize;
  bool ok = ExportNumber(key, OSSL_PKEY_PARAM_RSA_N, cursor, bits / 8);
  cursor += bits / 8;
  for (size_t i = 0; ok && privateBlob && i < std::size(kPrivateFields); i++) {
    const size_t fieldSize = kPrivateFields[i].halves * (bits / 16);
    ok = ExportNumber(key, kPrivateFields[i].param, cursor, fieldSize);
    cursor += fieldSize;
  }
  return ok ? size : 0;
}
