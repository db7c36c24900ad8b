// Data-file signatures: Base64, signing data with the built-in private key, checking a Base64
// signature against a key blob, and the check of the story file against the signed manifest
// "vexafiles.xml". Called by the script engine's story loader and the signature natives, and by
// the signing tool. All cryptography goes through platform/crypto.h. Nothing here logs; every
// failure is a null or false answer, and no input length is trusted beyond what it covers.
#pragma once

#include <cstdint>

constexpr char kManifestName[] = "vexafiles.xml";
constexpr char kStoryEntryName[] = "L\\vexastory.obj";

// The built-in key pair: 2048-bit RSA, blobs in the crypto layer's layout.
constexpr int32_t kPublicKeyBlobSize = 276;
constexpr int32_t kPrivateKeyBlobSize = 1172;
constexpr int32_t kSignatureSize = 256;
constexpr int32_t kSignatureTextLength = 344;  // Base64 of kSignatureSize bytes
constexpr int32_t kHashTextLength = 24;        // Base64 of an MD5 digest

// The built-in blobs as stored: scrambled; only DescrambleKeyBlob turns them into keys.
extern const uint8_t kStoredPublicKeyBlob[kPublicKeyBlobSize];
extern const uint8_t kStoredPrivateKeyBlob[kPrivateKeyBlobSize];

// Base64 with the standard alphabet and "=" padding, no line breaks. Encode writes
// ((length + 2) / 3) * 4 characters without a NUL and returns that count (0 for length < 1).
int32_t Base64Encode(const uint8_t* data, int32_t length, char* out);
// With out null: the decoded size, or 0 when length is not a positive multiple of 4.
// With out set: decodes into out (room for the decoded size) and returns the bytes written.
int32_t Base64Decode(const char* text, int32_t length, uint8_t* out);
int Base64CharValue(char c);  // 0..63; any byte outside the alphabet gives 0
char Base64Char(int value);   // the alphabet's character for value & 63

// Verifies the Base64 signature of the data with a public key blob. On success: a new counted
// block (category 0, *outLength + 1 bytes) holding the Base64 text of the data's MD5 digest.
// Null and *outLength 0 otherwise.
char* VerifyDataSignature(const void* data, int32_t dataLength, const char* signature, int32_t signatureLength,
                          const uint8_t* keyBlob, int32_t keyBlobLength, int32_t* outLength);
// Signs the data with the built-in private key: a new counted block with the Base64 signature
// (kSignatureTextLength characters and a NUL), or null.
char* SignData(const void* data, int32_t length, int32_t* outLength);
// True when the manifest verifies with the built-in public key and its story entry is a valid
// signature of these bytes.
bool VerifyStoryFileSignature(const void* storyData, int32_t storyLength);

// Rebuilds a key blob from its stored bytes (an even count); ScrambleKeyBlob is its inverse,
// used by the signing tool to store a new key pair.
void DescrambleKeyBlob(const uint8_t* stored, int32_t length, uint8_t* out);
void ScrambleKeyBlob(const uint8_t* blob, int32_t length, uint8_t* stored);
