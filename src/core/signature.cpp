// Data-file signatures: Base64, the sign and verify frame over the crypto layer, the built-in key
// pair's scrambling, and the manifest check of the story file. The manifest is read as plain
// text, never through the XML parser: only the data section, the signature section and the story
// entry count, found by their literal markers. Every text handed out is a counted category-0
// block; key blobs live on the stack for one operation and the private one is wiped after use.
#include "core/signature.h"

#include <climits>
#include <cstring>

#include "core/file_object.h"
#include "core/memory.h"
#include "platform/crypto.h"

static const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The manifest's markers. The story entry is a key "sval" naming the story, directly followed by
// the "sval" that holds its signature; the value ends at a quote followed by " />".
static const char kDataOpen[] = "<data>";
static const char kDataClose[] = "</data>";
static const char kSignatureOpen[] = "<signature>";
static const char kSignatureClose[] = "</signature>";
static const char kStoryEntryMarker[] = "val=\"L\\vexastory.obj\" /><sval type=\"string\" val=\"";
static const char kStoryValueEnd[] = "\" />";
static const char kTrimmed[] = " \t\r\n";

// The key-blob scrambling: a cycling 8-byte key ("\xA9" is the Latin-1 copyright sign), a running
// one-byte state and two multipliers. Not a secret worth the name; it only keeps the blobs from
// standing in the program as they are.
static const uint8_t kScrambleKey[8] = {0xA9, 'D', 'O', 'V', 'A', 'R', 'E', 'D'};
constexpr uint8_t kScrambleStart = 0x3C;
constexpr uint8_t kScrambleMultiplier1 = 0x2B;
constexpr uint8_t kScrambleMultiplier2 = 0x65;

int Base64CharValue(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return u - 'A';
  if (u >= 'a' && u <= 'z') return u - 'a' + 26;
  if (u >= '0' && u <= '9') return u - '0' + 52;
  if (u == '+') return 62;
  if (u == '/') return 63;
  return 0;
}

char Base64Char(int value) { return kBase64Alphabet[value & 63]; }

int32_t Base64Encode(const uint8_t* data, int32_t length, char* out) {
  // The output count must stay a 32-bit number.
  if (data == nullptr || out == nullptr || length < 1 || length > INT32_MAX / 4 * 3 - 3) return 0;
  int32_t written = 0;
  for (int32_t i = 0; i < length; i += 3) {
    const int32_t left = length - i;
    const uint32_t group = (uint32_t(data[i]) << 16) | (left > 1 ? uint32_t(data[i + 1]) << 8 : 0) |
                           (left > 2 ? uint32_t(data[i + 2]) : 0);
    out[written++] = Base64Char(int(group >> 18));
    out[written++] = Base64Char(int(group >> 12));
    out[written++] = left > 1 ? Base64Char(int(group >> 6)) : '=';
    out[written++] = left > 2 ? Base64Char(int(group)) : '=';
  }
  return written;
}

int32_t Base64Decode(const char* text, int32_t length, uint8_t* out) {
  // The multiple-of-4 test comes first: it also keeps the padding look-behind inside the text.
  if (text == nullptr || length < 4 || length % 4 != 0) return 0;
  int32_t size = length / 4 * 3;
  if (text[length - 2] == '=') {
    size -= 2;
  } else if (text[length - 1] == '=') {
    size -= 1;
  }
  if (out == nullptr) return size;
  int32_t written = 0;
  for (int32_t i = 0; i < length && written < size; i += 4) {
    const uint32_t group = (uint32_t(Base64CharValue(text[i])) << 18) | (uint32_t(Base64CharValue(text[i + 1])) << 12) |
                           (uint32_t(Base64CharValue(text[i + 2])) << 6) | uint32_t(Base64CharValue(text[i + 3]));
    const uint8_t bytes[3] = {uint8_t(group >> 16), uint8_t(group >> 8), uint8_t(group)};
    for (int j = 0; j < 3 && written < size; j++) out[written++] = bytes[j];
  }
  return written;
}

void DescrambleKeyBlob(const uint8_t* stored, int32_t length, uint8_t* out) {
  if (stored == nullptr || out == nullptr || length < 2 || length % 2 != 0) return;
  uint8_t state = kScrambleStart;
  int k = 0;
  for (int32_t i = 0; i + 1 < length; i += 2) {
    const uint8_t a = stored[i];
    const uint8_t b = stored[i + 1];
    out[i] = kScrambleKey[k] ^ uint8_t(b - state);
    out[length - 1 - i] = kScrambleKey[k] ^ uint8_t(a - b);
    state = uint8_t(b * kScrambleMultiplier1 + a * kScrambleMultiplier2);
    k = (k + 1) & 7;
  }
}

void ScrambleKeyBlob(const uint8_t* blob, int32_t length, uint8_t* stored) {
  if (blob == nullptr || stored == nullptr || length < 2 || length % 2 != 0) return;
  uint8_t state = kScrambleStart;
  int k = 0;
  for (int32_t i = 0; i + 1 < length; i += 2) {
    const uint8_t b = uint8_t((blob[i] ^ kScrambleKey[k]) + state);
    const uint8_t a = uint8_t((blob[length - 1 - i] ^ kScrambleKey[k]) + b);
    stored[i] = a;
    stored[i + 1] = b;
    state = uint8_t(b * kScrambleMultiplier1 + a * kScrambleMultiplier2);
    k = (k + 1) & 7;
  }
}

// Clears key material; the volatile access keeps the compiler from dropping the stores.
static void WipeBytes(void* bytes, size_t length) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(bytes);
  for (size_t i = 0; i < length; i++) p[i] = 0;
}

// A counted block with the Base64 text of the bytes and a NUL; its length goes to *outLength.
static char* EncodeToBlock(const uint8_t* bytes, int32_t length, int32_t* outLength) {
  const size_t size = size_t((length + 2) / 3) * 4 + 1;
  char* block = static_cast<char*>(MemAlloc(size, 0));
  if (block == nullptr) return nullptr;
  const int32_t written = Base64Encode(bytes, length, block);
  block[written] = '\0';
  *outLength = written;
  return block;
}

char* VerifyDataSignature(const void* data, int32_t dataLength, const char* signature, int32_t signatureLength,
                          const uint8_t* keyBlob, int32_t keyBlobLength, int32_t* outLength) {
  if (outLength != nullptr) *outLength = 0;
  if (data == nullptr || signature == nullptr || keyBlob == nullptr || outLength == nullptr) return nullptr;
  if (dataLength < 1 || signatureLength < 1 || keyBlobLength < 1) return nullptr;
  CryptoKey* key = CryptoImportKeyBlob(keyBlob, size_t(keyBlobLength));
  if (key == nullptr) return nullptr;
  char* result = nullptr;
  uint8_t digest[kCryptoMd5Size];
  // A signature of another length than the key's cannot verify; refusing it early also keeps a
  // long script text from costing a large block.
  const int32_t size = Base64Decode(signature, signatureLength, nullptr);
  if (size > 0 && size_t(size) == CryptoSignatureSize(key) && CryptoMd5(data, size_t(dataLength), digest)) {
    uint8_t* raw = static_cast<uint8_t*>(MemAlloc(size_t(size), 0));
    if (raw != nullptr) {
      const int32_t decoded = Base64Decode(signature, signatureLength, raw);
      if (CryptoVerifyMd5(key, digest, raw, size_t(decoded))) {
        result = EncodeToBlock(digest, int32_t(kCryptoMd5Size), outLength);
      }
      MemFree(raw, size_t(size), 0);
    }
  }
  CryptoDestroyKey(key);
  return result;
}

char* SignData(const void* data, int32_t length, int32_t* outLength) {
  if (outLength != nullptr) *outLength = 0;
  if (data == nullptr || outLength == nullptr || length < 1) return nullptr;
  uint8_t blob[kPrivateKeyBlobSize];
  DescrambleKeyBlob(kStoredPrivateKeyBlob, kPrivateKeyBlobSize, blob);
  CryptoKey* key = CryptoImportKeyBlob(blob, sizeof blob);
  WipeBytes(blob, sizeof blob);
  if (key == nullptr) return nullptr;
  char* result = nullptr;
  uint8_t digest[kCryptoMd5Size];
  const size_t size = CryptoSignatureSize(key);
  if (size > 0 && CryptoMd5(data, size_t(length), digest)) {
    uint8_t* raw = static_cast<uint8_t*>(MemAlloc(size, 0));
    if (raw != nullptr) {
      if (CryptoSignMd5(key, digest, raw, size)) result = EncodeToBlock(raw, int32_t(size), outLength);
      MemFree(raw, size, 0);
    }
  }
  CryptoDestroyKey(key);
  return result;
}

// A counted, terminated copy of the text between the first `open` and the first `close` of the
// buffer, trimmed of blanks and line breaks; null when a marker is missing or the end comes
// before the start. The buffer is NUL-terminated, so no search runs past it.
static char* CopySection(const char* text, const char* open, const char* close, int32_t* length) {
  const char* start = std::strstr(text, open);
  const char* end = std::strstr(text, close);
  if (start == nullptr || end == nullptr) return nullptr;
  start += std::strlen(open);
  if (end < start) return nullptr;
  while (start < end && std::strchr(kTrimmed, *start) != nullptr) start++;
  while (end > start && std::strchr(kTrimmed, end[-1]) != nullptr) end--;
  const size_t size = size_t(end - start);
  if (size >= size_t(INT32_MAX)) return nullptr;
  char* copy = static_cast<char*>(MemAlloc(size + 1, 0));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, start, size);
  copy[size] = '\0';
  *length = int32_t(size);
  return copy;
}

// The whole manifest in a counted block with a NUL after its last byte; *size is its byte count.
static char* ReadManifest(int32_t* size) {
  // A folder of that name, a missing file and an empty one all fail here: -2, -1 and 0.
  const int32_t fileSize = FileGetSize(kManifestName, false);
  if (fileSize < 1 || fileSize == INT32_MAX) return nullptr;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, kManifestName, "rb", false)) return nullptr;
  char* text = static_cast<char*>(MemAlloc(size_t(fileSize) + 1, 0));
  size_t read = 0;
  if (text != nullptr) read = FileReadBytes(&file, text, size_t(fileSize));
  FileClose(&file);
  if (text == nullptr) return nullptr;
  if (read != size_t(fileSize)) {
    MemFree(text, size_t(fileSize) + 1, 0);
    return nullptr;
  }
  text[fileSize] = '\0';
  *size = fileSize;
  return text;
}

bool VerifyStoryFileSignature(const void* storyData, int32_t storyLength) {
  int32_t manifestSize = 0;
  char* manifest = ReadManifest(&manifestSize);
  if (manifest == nullptr) return false;
  int32_t dataLength = 0;
  int32_t signatureLength = 0;
  char* dataSection = CopySection(manifest, kDataOpen, kDataClose, &dataLength);
  char* signature = CopySection(manifest, kSignatureOpen, kSignatureClose, &signatureLength);
  MemFree(manifest, size_t(manifestSize) + 1, 0);

  bool verified = false;
  if (dataSection != nullptr && signature != nullptr) {
    uint8_t publicBlob[kPublicKeyBlobSize];
    DescrambleKeyBlob(kStoredPublicKeyBlob, kPublicKeyBlobSize, publicBlob);
    int32_t hashLength = 0;
    char* hash = VerifyDataSignature(dataSection, dataLength, signature, signatureLength, publicBlob,
                                     kPublicKeyBlobSize, &hashLength);
    if (hash != nullptr) {
      MemFree(hash, size_t(hashLength) + 1, 0);
      // Searching the terminated copy keeps the entry and its value inside the data section.
      const char* entry = std::strstr(dataSection, kStoryEntryMarker);
      const char* value = entry != nullptr ? entry + std::strlen(kStoryEntryMarker) : nullptr;
      const char* valueEnd = value != nullptr ? std::strstr(value, kStoryValueEnd) : nullptr;
      if (valueEnd != nullptr) {
        const int32_t valueLength = int32_t(valueEnd - value);
        char* storySignature = static_cast<char*>(MemAlloc(size_t(valueLength) + 1, 0));
        if (storySignature != nullptr) {
          std::memcpy(storySignature, value, size_t(valueLength));
          storySignature[valueLength] = '\0';
          char* storyHash = VerifyDataSignature(storyData, storyLength, storySignature, valueLength, publicBlob,
                                                kPublicKeyBlobSize, &hashLength);
          verified = storyHash != nullptr;
          if (storyHash != nullptr) MemFree(storyHash, size_t(hashLength) + 1, 0);
          MemFree(storySignature, size_t(valueLength) + 1, 0);
        }
      }
    }
  }
  if (dataSection != nullptr) MemFree(dataSection, size_t(dataLength) + 1, 0);
  if (signature != nullptr) MemFree(signature, size_t(signatureLength) + 1, 0);
  return verified;
}
