// Tests of the data-file signatures: Base64, the key-blob layer, signing and verifying with
// generated and built-in keys, agreement with the openssl command-line tool, and the check of
// the story file against a manifest written in a temporary game folder.
#include "core/signature.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/memory.h"
#include "platform/crypto.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string EncodeText(const Bytes& bytes) {
  std::string text(((bytes.size() + 2) / 3) * 4, '\0');
  const int32_t length = Base64Encode(bytes.data(), int32_t(bytes.size()), text.data());
  text.resize(size_t(length));
  return text;
}

// Takes a counted text block from the signature functions and frees it.
std::string TakeText(char* block, int32_t length) {
  if (block == nullptr) return std::string();
  std::string text(block, size_t(length));
  EXPECT_EQ(block[length], '\0');
  MemFree(block, size_t(length) + 1, 0);
  return text;
}

std::string Verify(const std::string& data, const std::string& signature, const Bytes& blob) {
  int32_t length = -1;
  char* hash = VerifyDataSignature(data.data(), int32_t(data.size()), signature.data(), int32_t(signature.size()),
                                   blob.data(), int32_t(blob.size()), &length);
  if (hash == nullptr) {
    EXPECT_EQ(length, 0);
  }
  return TakeText(hash, length);
}

std::string Sign(const std::string& data) {
  int32_t length = -1;
  char* text = SignData(data.data(), int32_t(data.size()), &length);
  if (text == nullptr) {
    EXPECT_EQ(length, 0);
  }
  return TakeText(text, length);
}

Bytes BuiltInPublicBlob() {
  Bytes blob(kPublicKeyBlobSize);
  DescrambleKeyBlob(kStoredPublicKeyBlob, kPublicKeyBlobSize, blob.data());
  return blob;
}

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// MD5("abc") = 900150983cd24fb0d6963f7d28e17f72, as Base64.
constexpr char kAbcHashText[] = "kAFQmDzST7DWlj99KOF/cg==";

// ---------------------------------------------------------------------------------------------
// Base64

TEST(Base64, EncodesAndDecodesStandardVectors) {
  struct Case {
    const char* plain;
    const char* encoded;
  };
  const Case kCases[] = {
      {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},     {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"a", "YQ=="},       {"ab", "YWI="},
      {"abc", "YWJj"},       {"\xff\xfe\xfd", "//79"}, {"\xfb\xef", "++8="},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.encoded);
    EXPECT_EQ(EncodeText(ToBytes(c.plain)), c.encoded);
    const int32_t length = int32_t(std::strlen(c.encoded));
    const int32_t size = Base64Decode(c.encoded, length, nullptr);
    ASSERT_EQ(size, int32_t(std::strlen(c.plain)));
    // A guard byte after the decoded size shows the decoder writes no further.
    Bytes out(size_t(size) + 1, 0xEE);
    EXPECT_EQ(Base64Decode(c.encoded, length, out.data()), size);
    EXPECT_EQ(std::string(out.begin(), out.begin() + size), c.plain);
    EXPECT_EQ(out[size_t(size)], 0xEE);
  }
}

TEST(Base64, EncodeOfNothingWritesNothing) {
  char out[4] = {'x', 'x', 'x', 'x'};
  const uint8_t byte = 1;
  EXPECT_EQ(Base64Encode(&byte, 0, out), 0);
  EXPECT_EQ(Base64Encode(&byte, -3, out), 0);
  EXPECT_EQ(Base64Encode(nullptr, 1, out), 0);
  EXPECT_EQ(out[0], 'x');
}

TEST(Base64, SizeQueryCountsPaddingAndRefusesBadLengths) {
  struct Case {
    const char* text;
    int32_t length;
    int32_t size;
  };
  const Case kCases[] = {
      {"AAAAAAAAAAAAAAAAAAAAAA==", 24, 16},
      {"AAAAAAAAAAAAAAAAAAAAAAA=", 24, 17},
      {"AAAAAAAAAAAAAAAAAAAAAAAA", 24, 18},
      {"AAAAA", 5, 0},
      {"AAA", 3, 0},
      {"==", 2, 0},
      {"", 0, 0},
      {"AAAA", -4, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Base64Decode(c.text, c.length, nullptr), c.size);
  }
}

TEST(Base64, OneCharacterTextIsRefusedWithoutReadingBeforeIt) {
  // The text sits alone in its own heap block: a look-behind for padding would read before it.
  std::unique_ptr<char[]> text(new char[1]{'='});
  uint8_t out[4] = {};
  EXPECT_EQ(Base64Decode(text.get(), 1, nullptr), 0);
  EXPECT_EQ(Base64Decode(text.get(), 1, out), 0);
}

TEST(Base64, CharactersOutsideTheAlphabetCountAsZero) {
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  EXPECT_EQ(Base64Decode("!*\n~", 4, out), 3);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(Base64CharValue('='), 0);
  EXPECT_EQ(Base64CharValue('\xff'), 0);
  EXPECT_EQ(Base64CharValue('\0'), 0);
}

TEST(Base64, CharAndValueAreInversesOverTheAlphabet) {
  for (int v = 0; v < 64; v++) EXPECT_EQ(Base64CharValue(Base64Char(v)), v) << v;
  EXPECT_EQ(Base64Char(64), 'A');
  EXPECT_EQ(Base64Char(-1), '/');
}

// ---------------------------------------------------------------------------------------------
// Key blobs and signatures with a key pair made for the tests

class GeneratedKey : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CryptoKey* key = CryptoGenerateKey(2048);
    ASSERT_NE(key, nullptr);
    publicBlob_ = new Bytes(CryptoPublicBlobSize(2048));
    privateBlob_ = new Bytes(CryptoPrivateBlobSize(2048));
    EXPECT_EQ(CryptoExportKeyBlob(key, false, publicBlob_->data(), publicBlob_->size()), publicBlob_->size());
    EXPECT_EQ(CryptoExportKeyBlob(key, true, privateBlob_->data(), privateBlob_->size()), privateBlob_->size());
    CryptoDestroyKey(key);
  }
  static void TearDownTestSuite() {
    delete publicBlob_;
    delete privateBlob_;
    publicBlob_ = privateBlob_ = nullptr;
  }

  // The Base64 signature of the data with the test key, made through the crypto layer.
  static std::string SignWithTestKey(const std::string& data) {
    CryptoKey* key = CryptoImportKeyBlob(privateBlob_->data(), privateBlob_->size());
    EXPECT_NE(key, nullptr);
    uint8_t digest[kCryptoMd5Size];
    EXPECT_TRUE(CryptoMd5(data.data(), data.size(), digest));
    Bytes signature(CryptoSignatureSize(key));
    EXPECT_TRUE(CryptoSignMd5(key, digest, signature.data(), signature.size()));
    CryptoDestroyKey(key);
    return EncodeText(signature);
  }

  static Bytes* publicBlob_;
  static Bytes* privateBlob_;
};
Bytes* GeneratedKey::publicBlob_ = nullptr;
Bytes* GeneratedKey::privateBlob_ = nullptr;

TEST_F(GeneratedKey, BlobsHaveTheWindowsLayoutAndSizes) {
  const Bytes& pub = *publicBlob_;
  const Bytes& priv = *privateBlob_;
  ASSERT_EQ(pub.size(), 276u);
  ASSERT_EQ(priv.size(), 1172u);
  EXPECT_EQ(pub[0], 0x06);
  EXPECT_EQ(priv[0], 0x07);
  EXPECT_EQ(pub[1], 0x02);
  EXPECT_EQ(LoadLE32(&pub[4]), 0x2400u);
  EXPECT_EQ(LoadLE32(&pub[8]), 0x31415352u);   // "RSA1"
  EXPECT_EQ(LoadLE32(&priv[8]), 0x32415352u);  // "RSA2"
  EXPECT_EQ(LoadLE32(&pub[12]), 2048u);
  EXPECT_EQ(LoadLE32(&pub[16]), 65537u);
  // The same modulus in both, least significant byte first: odd low byte, non-zero top byte.
  EXPECT_TRUE(std::equal(pub.begin() + 20, pub.end(), priv.begin() + 20));
  EXPECT_EQ(pub[20] & 1, 1);
  EXPECT_NE(pub[275], 0);
}

TEST_F(GeneratedKey, SignatureVerifiesAndAnswersTheDigestText) {
  const std::string signature = SignWithTestKey("abc");
  EXPECT_EQ(signature.size(), 344u);
  EXPECT_EQ(Verify("abc", signature, *publicBlob_), kAbcHashText);
  // A private blob holds the public half too.
  EXPECT_EQ(Verify("abc", signature, *privateBlob_), kAbcHashText);
}

TEST_F(GeneratedKey, AnyChangeToDataSignatureOrKeyFails) {
  const std::string data = "The story as shipped.";
  const std::string signature = SignWithTestKey(data);
  ASSERT_FALSE(Verify(data, signature, *publicBlob_).empty());

  std::string changedData = data;
  changedData[4] ^= 0x01;
  EXPECT_EQ(Verify(changedData, signature, *publicBlob_), "");

  Bytes raw(256);
  ASSERT_EQ(Base64Decode(signature.data(), int32_t(signature.size()), raw.data()), 256);
  for (size_t at : {size_t(0), size_t(128), size_t(255)}) {
    Bytes changed = raw;
    changed[at] ^= 0x80;
    EXPECT_EQ(Verify(data, EncodeText(changed), *publicBlob_), "") << at;
  }
  // The most significant byte first (the plain PKCS#1 order) is the other convention: refused.
  Bytes reversed(raw.rbegin(), raw.rend());
  EXPECT_EQ(Verify(data, EncodeText(reversed), *publicBlob_), "");

  EXPECT_EQ(Verify(data, signature, BuiltInPublicBlob()), "");
}

TEST_F(GeneratedKey, MalformedInputFailsCleanly) {
  const std::string data = "abc";
  const std::string signature = SignWithTestKey(data);
  const Bytes& blob = *publicBlob_;
  Bytes raw(256);
  ASSERT_EQ(Base64Decode(signature.data(), int32_t(signature.size()), raw.data()), 256);
  const std::string shortSignature = EncodeText(Bytes(raw.begin(), raw.begin() + 255));
  const std::string longSignature = EncodeText([&] {
    Bytes longer = raw;
    longer.push_back(0);
    return longer;
  }());

  struct Case {
    const char* name;
    const char* data;
    int32_t dataLength;
    std::string signature;
    int32_t signatureLength;
    Bytes blob;
  };
  const int32_t sigLength = int32_t(signature.size());
  const int32_t blobLength = int32_t(blob.size());
  auto withByte = [&](size_t at, uint8_t value) {
    Bytes changed = blob;
    changed[at] = value;
    return changed;
  };
  const Case kCases[] = {
      {"data null", nullptr, 3, signature, sigLength, blob},
      {"data empty", "abc", 0, signature, sigLength, blob},
      {"signature empty", "abc", 3, signature, 0, blob},
      {"signature one character", "abc", 3, "k", 1, blob},
      {"signature length not a multiple of 4", "abc", 3, signature, sigLength - 1, blob},
      {"signature one byte short", "abc", 3, shortSignature, int32_t(shortSignature.size()), blob},
      {"signature one byte long", "abc", 3, longSignature, int32_t(longSignature.size()), blob},
      {"key blob empty", "abc", 3, signature, sigLength, Bytes()},
      {"key blob header only", "abc", 3, signature, sigLength, Bytes(blob.begin(), blob.begin() + 20)},
      {"key blob one byte short", "abc", 3, signature, sigLength, Bytes(blob.begin(), blob.end() - 1)},
      {"key blob one byte long", "abc", 3, signature, sigLength, [&] {
         Bytes longer = blob;
         longer.push_back(0);
         return longer;
       }()},
      {"key blob of unknown type", "abc", 3, signature, sigLength, withByte(0, 0x08)},
      {"key blob claims to be private", "abc", 3, signature, sigLength, withByte(0, 0x07)},
      {"key blob of another version", "abc", 3, signature, sigLength, withByte(1, 0x03)},
      {"key blob of another algorithm", "abc", 3, signature, sigLength, withByte(5, 0x66)},
      {"key blob with wrong magic", "abc", 3, signature, sigLength, withByte(11, '2')},
      {"key blob bit length beyond the blob", "abc", 3, signature, sigLength, withByte(13, 0x10)},
      {"key blob bit length not whole", "abc", 3, signature, sigLength, withByte(12, 0x08)},
      {"key blob exponent zero", "abc", 3, signature, sigLength, [&] {
         Bytes changed = blob;
         std::fill(changed.begin() + 16, changed.begin() + 20, 0);
         return changed;
       }()},
      {"key blob with even modulus", "abc", 3, signature, sigLength, withByte(20, 0x02)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    // Each input sits in a block of exactly its size, so a read beyond it shows under ASan.
    std::unique_ptr<char[]> sig(new char[c.signature.size() + 1]);
    std::memcpy(sig.get(), c.signature.data(), c.signature.size());
    std::unique_ptr<uint8_t[]> key(new uint8_t[c.blob.size() + 1]);
    std::copy(c.blob.begin(), c.blob.end(), key.get());
    int32_t length = -1;
    char* hash = VerifyDataSignature(c.data, c.dataLength, sig.get(), c.signatureLength, key.get(),
                                     int32_t(c.blob.size()), &length);
    EXPECT_EQ(hash, nullptr);
    EXPECT_EQ(length, 0);
    if (hash != nullptr) MemFree(hash, size_t(length) + 1, 0);
  }
  EXPECT_EQ(VerifyDataSignature("abc", 3, signature.data(), sigLength, blob.data(), blobLength, nullptr), nullptr);
}

TEST_F(GeneratedKey, PublicKeyCannotSignOrExportAPrivateBlob) {
  CryptoKey* key = CryptoImportKeyBlob(publicBlob_->data(), publicBlob_->size());
  ASSERT_NE(key, nullptr);
  uint8_t digest[kCryptoMd5Size] = {};
  Bytes signature(256);
  EXPECT_FALSE(CryptoSignMd5(key, digest, signature.data(), signature.size()));
  Bytes blob(1172);
  EXPECT_EQ(CryptoExportKeyBlob(key, true, blob.data(), blob.size()), 0u);
  EXPECT_EQ(CryptoExportKeyBlob(key, false, blob.data(), 275), 0u);
  CryptoDestroyKey(key);
}

// ---------------------------------------------------------------------------------------------
// The openssl command-line tool: our blobs and signature order against an independent signer

class OpensslCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl command";
  }
  bool Run(const std::string& arguments) {
    const std::string command = "cd '" + dir_.path() + "' && openssl " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  Bytes ReadBytes(const std::string& name) { return ToBytes(dir_.Read(name)); }
  void WriteBytes(const std::string& name, const Bytes& bytes) {
    dir_.Write(name, std::string(bytes.begin(), bytes.end()));
  }
  // The CLI's signature of data.bin, converted to our order and to Base64.
  std::string CliSignature(const std::string& keyPem) {
    EXPECT_TRUE(Run("dgst -md5 -sign " + keyPem + " -out sig.bin data.bin"));
    Bytes signature = ReadBytes("sig.bin");
    EXPECT_EQ(signature.size(), 256u);
    std::reverse(signature.begin(), signature.end());
    return EncodeText(signature);
  }
  TempDir dir_;
};

TEST_F(OpensslCli, CliKeyAndSignatureVerifyAndMatchOurSigner) {
  const std::string data = "Bytes signed by two independent signers.";
  dir_.Write("data.bin", data);
  ASSERT_TRUE(Run("genrsa -out key.pem 2048"));
  ASSERT_TRUE(Run("rsa -in key.pem -pubout -outform MSBLOB -out pub.blob"));
  ASSERT_TRUE(Run("rsa -in key.pem -outform MSBLOB -out priv.blob"));
  const Bytes publicBlob = ReadBytes("pub.blob");
  const Bytes privateBlob = ReadBytes("priv.blob");

  const std::string cliSignature = CliSignature("key.pem");
  EXPECT_FALSE(Verify(data, cliSignature, publicBlob).empty());
  std::string changed = data;
  changed.back() ^= 0x20;
  EXPECT_EQ(Verify(changed, cliSignature, publicBlob), "");

  // PKCS#1 v1.5 signing is deterministic: our signer with the same key gives the same bytes.
  CryptoKey* key = CryptoImportKeyBlob(privateBlob.data(), privateBlob.size());
  ASSERT_NE(key, nullptr);
  uint8_t digest[kCryptoMd5Size];
  ASSERT_TRUE(CryptoMd5(data.data(), data.size(), digest));
  Bytes ours(256);
  ASSERT_TRUE(CryptoSignMd5(key, digest, ours.data(), ours.size()));
  CryptoDestroyKey(key);
  EXPECT_EQ(EncodeText(ours), cliSignature);
}

TEST_F(OpensslCli, OurKeyBlobsAndSignaturesWorkInTheCli) {
  const std::string data = "Signed with a key made here.";
  dir_.Write("data.bin", data);
  CryptoKey* key = CryptoGenerateKey(2048);
  ASSERT_NE(key, nullptr);
  Bytes privateBlob(1172);
  Bytes publicBlob(276);
  ASSERT_EQ(CryptoExportKeyBlob(key, true, privateBlob.data(), privateBlob.size()), 1172u);
  ASSERT_EQ(CryptoExportKeyBlob(key, false, publicBlob.data(), publicBlob.size()), 276u);
  uint8_t digest[kCryptoMd5Size];
  ASSERT_TRUE(CryptoMd5(data.data(), data.size(), digest));
  Bytes ours(256);
  ASSERT_TRUE(CryptoSignMd5(key, digest, ours.data(), ours.size()));
  CryptoDestroyKey(key);

  WriteBytes("ours.blob", privateBlob);
  WriteBytes("ours-pub.blob", publicBlob);
  ASSERT_TRUE(Run("rsa -inform MSBLOB -in ours.blob -out ours.pem"));
  ASSERT_TRUE(Run("rsa -pubin -inform MSBLOB -in ours-pub.blob -pubout -out ours-pub.pem"));
  EXPECT_FALSE(Verify(data, CliSignature("ours.pem"), publicBlob).empty());

  Bytes plainOrder(ours.rbegin(), ours.rend());
  WriteBytes("ours.sig", plainOrder);
  EXPECT_TRUE(Run("dgst -md5 -verify ours-pub.pem -signature ours.sig data.bin"));
  dir_.Write("data.bin", data + "!");
  EXPECT_FALSE(Run("dgst -md5 -verify ours-pub.pem -signature ours.sig data.bin"));
}

// ---------------------------------------------------------------------------------------------
// The built-in key pair

TEST(BuiltInKey, ScramblingRoundTripsAnyEvenBlob) {
  Bytes blob(1172);
  uint32_t state = 12345;
  for (uint8_t& b : blob) {
    state = state * 1103515245u + 12345u;
    b = uint8_t(state >> 16);
  }
  Bytes stored(blob.size());
  Bytes back(blob.size());
  ScrambleKeyBlob(blob.data(), int32_t(blob.size()), stored.data());
  EXPECT_NE(stored, blob);
  DescrambleKeyBlob(stored.data(), int32_t(stored.size()), back.data());
  EXPECT_EQ(back, blob);
}

TEST(BuiltInKey, StoredBlobsDescrambleToAMatchingPair) {
  const Bytes pub = BuiltInPublicBlob();
  Bytes priv(kPrivateKeyBlobSize);
  DescrambleKeyBlob(kStoredPrivateKeyBlob, kPrivateKeyBlobSize, priv.data());
  EXPECT_EQ(pub[0], 0x06);
  EXPECT_EQ(priv[0], 0x07);
  EXPECT_EQ(LoadLE32(&pub[12]), 2048u);
  EXPECT_TRUE(std::equal(pub.begin() + 20, pub.end(), priv.begin() + 20));
  // The stored form does not show the modulus as it is.
  const uint8_t* storedEnd = kStoredPrivateKeyBlob + kPrivateKeyBlobSize;
  EXPECT_EQ(std::search(kStoredPrivateKeyBlob, storedEnd, pub.begin() + 20, pub.begin() + 52), storedEnd);
}

TEST(BuiltInKey, SignDataRoundTripsAndLeavesNoCountedBytes) {
  const uint32_t before = MemGetCurrentBytes();
  const std::string signature = Sign("abc");
  EXPECT_EQ(signature.size(), size_t(kSignatureTextLength));
  EXPECT_EQ(Verify("abc", signature, BuiltInPublicBlob()), kAbcHashText);
  EXPECT_EQ(Verify("abd", signature, BuiltInPublicBlob()), "");
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

TEST(BuiltInKey, SignDataRefusesNothingToSign) {
  int32_t length = -1;
  EXPECT_EQ(SignData(nullptr, 3, &length), nullptr);
  EXPECT_EQ(length, 0);
  length = -1;
  EXPECT_EQ(SignData("abc", 0, &length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(SignData("abc", 3, nullptr), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The manifest check, with the manifest in a temporary game folder

// The story, its signature and a manifest data section that lists it, all with the built-in key.
struct Signed {
  std::string story;
  std::string storySignature;
  std::string data;
  std::string signature;
};

std::string StoryEntry(const std::string& storySignature) {
  return "<sval type=\"string\" val=\"L\\vexastory.obj\" /><sval type=\"string\" val=\"" + storySignature + "\" />";
}

std::string SignedData(const std::string& storySignature) {
  return "<sval type=\"table\" size=\"2\">\n<sval type=\"string\" val=\"L\\other.obj\" /><sval type=\"string\" "
         "val=\"AAAA\" />\n" +
         StoryEntry(storySignature) + "\n</sval>";
}

std::string Manifest(const std::string& data, const std::string& signature) {
  return "<?xml version=\"1.0\"?>\n<vexafiles>\n<data>\n" + data + "\n</data>\n<signature>\n" + signature +
         "\n</signature>\n</vexafiles>\n";
}

class ManifestCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    signed_ = new Signed;
    signed_->story = "story bytes\x01\x7f with a blank where a NUL was";
    signed_->storySignature = Sign(signed_->story);
    signed_->data = SignedData(signed_->storySignature);
    signed_->signature = Sign(signed_->data);
  }
  static void TearDownTestSuite() {
    delete signed_;
    signed_ = nullptr;
  }
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override { EXPECT_EQ(chdir(oldDir_.c_str()), 0); }

  bool Check(const std::string& story) { return VerifyStoryFileSignature(story.data(), int32_t(story.size())); }

  static Signed* signed_;
  TempDir dir_;
  std::string oldDir_;
};
Signed* ManifestCheck::signed_ = nullptr;

TEST_F(ManifestCheck, ManifestsAcceptedAndRefused) {
  struct Case {
    const char* name;
    std::string (*make)(const Signed&);
    bool accepted;
  };
  const Case kCases[] = {
      {"as signed", [](const Signed& s) { return Manifest(s.data, s.signature); }, true},
      {"blanks, tabs and CR LF around both sections",
       [](const Signed& s) {
         return "<data> \t\r\n" + s.data + "\r\n\t </data><signature>\r\n  \t" + s.signature + " \r\n\r\n</signature>";
       },
       true},
      {"one byte changed in the data section",
       [](const Signed& s) {
         std::string data = s.data;
         data[data.find("other") + 1] = 'T';
         return Manifest(data, s.signature);
       },
       false},
      {"no </signature>",
       [](const Signed& s) { return "<data>" + s.data + "</data><signature>" + s.signature; }, false},
      {"no <data>", [](const Signed& s) { return s.data + "</data><signature>" + s.signature + "</signature>"; },
       false},
      {"</data> before <data>",
       [](const Signed& s) { return "</data>\n<data>" + s.data + "</data><signature>" + s.signature + "</signature>"; },
       false},
      {"</signature> before <signature>",
       [](const Signed& s) {
         return "</signature><data>" + s.data + "</data><signature>" + s.signature + "</signature>";
       },
       false},
      {"signature of one character",
       [](const Signed& s) { return Manifest(s.data, "k"); }, false},
      {"signature of the story in place of the data's",
       [](const Signed& s) { return Manifest(s.data, s.storySignature); }, false},
      {"data section without the story entry",
       [](const Signed&) {
         const std::string data = "<sval type=\"table\" size=\"0\"></sval>";
         return Manifest(data, Sign(data));
       },
       false},
      {"story entry with a blank before its signature element",
       [](const Signed& s) {
         std::string data = s.data;
         data.insert(data.find("/><sval type=\"string\" val=\"" + s.storySignature) + 2, " ");
         return Manifest(data, Sign(data));
       },
       false},
      {"story value ending only after the data section",
       [](const Signed& s) {
         const std::string data =
             "<sval type=\"string\" val=\"L\\vexastory.obj\" /><sval type=\"string\" val=\"" + s.storySignature;
         return "<data>" + data + "</data>\" /><signature>" + Sign(data) + "</signature>";
       },
       false},
      {"empty data section",
       [](const Signed& s) { return "<data> \r\n </data><signature>" + s.signature + "</signature>"; }, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    dir_.Write(kManifestName, c.make(*signed_));
    EXPECT_EQ(Check(signed_->story), c.accepted);
  }
}

TEST_F(ManifestCheck, ChangedStoryFailsWhileTheManifestVerifies) {
  dir_.Write(kManifestName, Manifest(signed_->data, signed_->signature));
  ASSERT_TRUE(Check(signed_->story));
  std::string changed = signed_->story;
  changed[0] ^= 0x01;
  EXPECT_FALSE(Check(changed));
  EXPECT_FALSE(Check(signed_->story + " "));
  EXPECT_FALSE(Check(""));
  EXPECT_FALSE(VerifyStoryFileSignature(nullptr, 10));
}

TEST_F(ManifestCheck, MissingEmptyOrFolderManifestFails) {
  EXPECT_FALSE(Check(signed_->story));
  dir_.Write(kManifestName, "");
  EXPECT_FALSE(Check(signed_->story));
  std::remove(dir_.File(kManifestName).c_str());
  dir_.Write(std::string(kManifestName) + "/inner.txt", Manifest(signed_->data, signed_->signature));
  EXPECT_FALSE(Check(signed_->story));
}

TEST_F(ManifestCheck, ManifestNameIsFoundWithoutRegardToCase) {
  dir_.Write("VexaFiles.XML", Manifest(signed_->data, signed_->signature));
  EXPECT_TRUE(Check(signed_->story));
}

TEST_F(ManifestCheck, CheckLeavesNoCountedBytes) {
  dir_.Write(kManifestName, Manifest(signed_->data, signed_->signature));
  const uint32_t before = MemGetCurrentBytes();
  EXPECT_TRUE(Check(signed_->story));
  std::string changed = signed_->story;
  changed[3] ^= 0x40;
  EXPECT_FALSE(Check(changed));
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

}  // namespace
