// korvane-sign: the developer tool for data-file signatures.
//   korvane-sign keygen OUT.cpp
//     makes a new 2048-bit key pair and writes it, scrambled, as the source of the built-in key
//     (src/core/signature_keys.cpp); every manifest must then be signed again.
//   korvane-sign manifest OUT.xml ENTRY FILE [ENTRY FILE ...]
//     signs each FILE with the built-in key under its game path ENTRY (e.g. L\vexastory.obj) and
//     writes the signed manifest. Never changes the files it signs.
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/memory.h"
#include "core/signature.h"
#include "platform/crypto.h"

static int Usage() {
  std::fprintf(stderr,
               "usage: korvane-sign keygen OUT.cpp\n"
               "       korvane-sign manifest OUT.xml ENTRY FILE [ENTRY FILE ...]\n");
  return 2;
}

static bool ReadFile(const char* path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

static bool WriteFile(const char* path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return bool(out.flush());
}

static void AppendArray(std::ostringstream& out, const char* name, const char* sizeName, const uint8_t* bytes,
                        int32_t length) {
  out << "const uint8_t " << name << "[" << sizeName << "] = {";
  char hex[8];
  for (int32_t i = 0; i < length; i++) {
    std::snprintf(hex, sizeof hex, "0x%02x,", bytes[i]);
    out << (i % 12 == 0 ? "\n   " : "") << " " << hex;
  }
  out << "\n};\n";
}

static int MakeKeyPair(const char* outPath) {
  CryptoKey* key = CryptoGenerateKey(kSignatureSize * 8);
  uint8_t publicBlob[kPublicKeyBlobSize];
  uint8_t privateBlob[kPrivateKeyBlobSize];
  const bool exported = key != nullptr &&
                        CryptoExportKeyBlob(key, false, publicBlob, sizeof publicBlob) == sizeof publicBlob &&
                        CryptoExportKeyBlob(key, true, privateBlob, sizeof privateBlob) == sizeof privateBlob;
  CryptoDestroyKey(key);
  if (!exported) {
    std::fprintf(stderr, "korvane-sign: cannot make a key pair\n");
    return 1;
  }
  uint8_t storedPublic[kPublicKeyBlobSize];
  uint8_t storedPrivate[kPrivateKeyBlobSize];
  ScrambleKeyBlob(publicBlob, kPublicKeyBlobSize, storedPublic);
  ScrambleKeyBlob(privateBlob, kPrivateKeyBlobSize, storedPrivate);
  std::ostringstream out;
  out << "// The built-in key pair of the data-file signatures (2048-bit RSA), stored scrambled: the\n"
         "// signature code rebuilds a blob for one operation at a time. Written by korvane-sign keygen;\n"
         "// never edited by hand, and replaced only together with every manifest signed with it.\n"
         "#include \"core/signature.h\"\n\n";
  AppendArray(out, "kStoredPublicKeyBlob", "kPublicKeyBlobSize", storedPublic, kPublicKeyBlobSize);
  out << "\n";
  AppendArray(out, "kStoredPrivateKeyBlob", "kPrivateKeyBlobSize", storedPrivate, kPrivateKeyBlobSize);
  if (!WriteFile(outPath, out.str())) {
    std::fprintf(stderr, "korvane-sign: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}

// The Base64 signature of the bytes with the built-in key, or an empty text.
static std::string Sign(const std::string& bytes) {
  int32_t length = 0;
  char* text = SignData(bytes.data(), int32_t(bytes.size()), &length);
  std::string signature = text != nullptr ? std::string(text, size_t(length)) : std::string();
  if (text != nullptr) MemFree(text, size_t(length) + 1, 0);
  return signature;
}

static int MakeManifest(const char* outPath, int pairCount, char** pairs) {
  std::string data = "<sval type=\"table\" size=\"" + std::to_string(pairCount) + "\">\n";
  for (int i = 0; i < pairCount; i++) {
    const char* entry = pairs[2 * i];
    const char* path = pairs[2 * i + 1];
    if (std::strpbrk(entry, "\"&<>") != nullptr) {
      std::fprintf(stderr, "korvane-sign: entry name needs no XML escapes: %s\n", entry);
      return 1;
    }
    std::string bytes;
    if (!ReadFile(path, &bytes) || bytes.empty() || bytes.size() > size_t(INT32_MAX)) {
      std::fprintf(stderr, "korvane-sign: cannot read %s (or it is empty)\n", path);
      return 1;
    }
    // The engine checks its copy of the story, in which every NUL byte has become a blank.
    if (std::strcmp(entry, kStoryEntryName) == 0) {
      for (char& c : bytes) {
        if (c == '\0') c = ' ';
      }
    }
    const std::string signature = Sign(bytes);
    if (signature.empty()) {
      std::fprintf(stderr, "korvane-sign: cannot sign %s\n", path);
      return 1;
    }
    data += "<sval type=\"string\" val=\"" + std::string(entry) + "\" /><sval type=\"string\" val=\"" + signature +
            "\" />\n";
  }
  data += "</sval>";
  const std::string signature = Sign(data);
  if (signature.empty()) {
    std::fprintf(stderr, "korvane-sign: cannot sign the manifest\n");
    return 1;
  }
  const std::string manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vexafiles>\n<data>\n" + data +
                               "\n</data>\n<signature>\n" + signature + "\n</signature>\n</vexafiles>\n";
  if (!WriteFile(outPath, manifest)) {
    std::fprintf(stderr, "korvane-sign: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "keygen") == 0) return MakeKeyPair(argv[2]);
  if (argc >= 5 && argc % 2 == 1 && std::strcmp(argv[1], "manifest") == 0) {
    return MakeManifest(argv[2], (argc - 3) / 2, argv + 3);
  }
  return Usage();
}
