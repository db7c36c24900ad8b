// The crypto layer: MD5, and RSA signatures (PKCS#1 v1.5 over an MD5 digest) with keys carried
// as key blobs in the classic Windows layout (8-byte blob header, 12-byte RSA header, numbers
// little-endian). Signatures travel byte-reversed (least significant byte first), the order
// those blobs' owners always used; this layer converts both ways so callers never see another
// order. Called by the data-file signatures in core and by the signing tool. It is the only code
// that includes the crypto library; it never logs, and never reads past a length it is given.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kCryptoMd5Size = 16;

// Blob header fields.
constexpr uint8_t kKeyBlobPublic = 0x06;   // PUBLICKEYBLOB
constexpr uint8_t kKeyBlobPrivate = 0x07;  // PRIVATEKEYBLOB
constexpr uint8_t kKeyBlobVersion = 0x02;
constexpr uint32_t kKeyAlgRsaSign = 0x2400;      // the signature key
constexpr uint32_t kKeyAlgRsaExchange = 0xA400;  // accepted on import: other tools write it
constexpr uint32_t kKeyMagicPublic = 0x31415352;   // "RSA1"
constexpr uint32_t kKeyMagicPrivate = 0x32415352;  // "RSA2"
constexpr size_t kKeyBlobHeaderSize = 20;

// Key sizes the layer accepts; signatures of the largest fit a fixed scratch buffer.
constexpr uint32_t kCryptoMinKeyBits = 512;
constexpr uint32_t kCryptoMaxKeyBits = 16384;

// An imported or generated RSA key; lives for one operation, freed with CryptoDestroyKey.
struct CryptoKey;

// Blob sizes for a key of the given bit length (a multiple of 16): 276 and 1172 for 2048 bits.
size_t CryptoPublicBlobSize(uint32_t bits);
size_t CryptoPrivateBlobSize(uint32_t bits);

bool CryptoMd5(const void* data, size_t length, uint8_t digest[kCryptoMd5Size]);

// Imports a public or private key blob whose length is exactly what its header announces;
// null for anything else (wrong type, magic, algorithm, size, or numbers that make no key).
CryptoKey* CryptoImportKeyBlob(const uint8_t* blob, size_t length);
void CryptoDestroyKey(CryptoKey* key);
// The signature length of the key: its modulus in bytes.
size_t CryptoSignatureSize(const CryptoKey* key);

// Signs an MD5 digest with a private key; writes CryptoSignatureSize bytes, least significant
// first. False when the key is public only or the room is too small.
bool CryptoSignMd5(const CryptoKey* key, const uint8_t digest[kCryptoMd5Size], uint8_t* signature, size_t room);
// Checks a signature (least significant byte first, exactly CryptoSignatureSize bytes).
bool CryptoVerifyMd5(const CryptoKey* key, const uint8_t digest[kCryptoMd5Size], const uint8_t* signature,
                     size_t length);

// Key pairs for tests and the signing tool.
CryptoKey* CryptoGenerateKey(uint32_t bits);
// Writes the public or private blob of the key; returns the bytes written, 0 when the room is
// too small or the key holds no private part.
size_t CryptoExportKeyBlob(const CryptoKey* key, bool privateBlob, uint8_t* out, size_t room);
