// Picture decoding and resizing: a small bitmap built here decodes to its pixels, a resized
// picture keeps a plain colour plain, and damaged or empty data, sizes out of range and missing
// files fail without a picture.
#include "platform/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

void Put16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 24-bit bottom-up bitmap file of width x height: the left half red, the right half blue.
std::vector<uint8_t> Bitmap(int width, int height) {
  int stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> bytes = {'B', 'M'};
  Put32(&bytes, 54 + stride * height);
  Put32(&bytes, 0);
  Put32(&bytes, 54);
  Put32(&bytes, 40);
  Put32(&bytes, width);
  Put32(&bytes, height);
  Put16(&bytes, 1);
  Put16(&bytes, 24);
  for (int i = 0; i < 6; ++i) Put32(&bytes, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bool left = x < width / 2;
      bytes.push_back(left ? 0 : 255);  // blue
      bytes.push_back(0);               // green
      bytes.push_back(left ? 255 : 0);  // red
    }
    for (int p = width * 3; p < stride; ++p) bytes.push_back(0);
  }
  return bytes;
}

TEST(Image, DecodesABitmapIntoRgbaRows) {
  std::vector<uint8_t> file = Bitmap(6, 3);
  Image image{};
  ASSERT_TRUE(ImageDecode(file.data(), file.size(), &image));
  EXPECT_EQ(image.width, 6);
  EXPECT_EQ(image.height, 3);
  const uint8_t* left = image.pixels;
  const uint8_t* right = image.pixels + 4 * 5;
  EXPECT_EQ(std::vector<uint8_t>(left, left + 4), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(std::vector<uint8_t>(right, right + 4), (std::vector<uint8_t>{0, 0, 255, 255}));
  ImageFree(&image);
  EXPECT_EQ(image.pixels, nullptr);
}

TEST(Image, ResizeKeepsPlainAreasPlainAndRefusesBadSizes) {
  std::vector<uint8_t> file = Bitmap(8, 8);
  Image image{};
  ASSERT_TRUE(ImageDecode(file.data(), file.size(), &image));
  Image large{};
  ASSERT_TRUE(ImageResize(&image, 64, 16, &large));
  EXPECT_EQ(large.width, 64);
  EXPECT_EQ(large.height, 16);
  EXPECT_EQ(large.pixels[0], 255);           // far left still red
  EXPECT_EQ(large.pixels[4 * 63 + 2], 255);  // far right still blue
  ImageFree(&large);

  struct Case {
    int32_t width, height;
  };
  const Case kBad[] = {{0, 10}, {10, 0}, {-5, 10}, {16385, 1}, {1, 16385}};
  for (const Case& c : kBad) {
    Image out{};
    EXPECT_FALSE(ImageResize(&image, c.width, c.height, &out)) << c.width << "x" << c.height;
    EXPECT_EQ(out.pixels, nullptr);
  }
  Image empty{};
  Image out{};
  EXPECT_FALSE(ImageResize(&empty, 4, 4, &out));
  EXPECT_FALSE(ImageCopy(&empty, &out));
  ImageFree(&image);
}

TEST(Image, DamagedDataFailsWithoutAPicture) {
  std::vector<uint8_t> file = Bitmap(16, 16);
  struct Case {
    const char* name;
    size_t size;
  };
  const Case kCases[] = {{"empty", 0}, {"header only", 14}, {"cut in the header", 30}, {"one byte", 1}};
  for (const Case& c : kCases) {
    Image image{};
    EXPECT_FALSE(ImageDecode(c.size ? file.data() : nullptr, c.size, &image)) << c.name;
    EXPECT_EQ(image.pixels, nullptr) << c.name;
  }
  const uint8_t kText[] = "not a picture at all";
  Image image{};
  EXPECT_FALSE(ImageDecode(kText, sizeof kText, &image));
}

// A 2x2 TGA of 24 bits, plain (type 2) or run-length coded (type 10, one run of four).
std::vector<uint8_t> Tga(uint8_t type) {
  std::vector<uint8_t> f = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20};
  if (type == 10) {
    f.insert(f.end(), {0x83, 10, 20, 30});
  } else {
    for (int p = 0; p < 4; ++p) f.insert(f.end(), {10, 20, 30});
  }
  return f;
}

// A JPEG holding only a Huffman table segment of `codes` codes, and its end marker.
std::vector<uint8_t> JpegWithTable(int codes) {
  std::vector<uint8_t> f = {0xFF, 0xD8, 0xFF, 0xC4};
  size_t length = 2 + 17 + size_t(codes);
  f.push_back(uint8_t(length >> 8));
  f.push_back(uint8_t(length));
  f.push_back(0x00);  // DC table 0
  for (int bits = 1; bits <= 16; ++bits) f.push_back(uint8_t(bits == 16 ? codes - 15 * (codes / 16) : codes / 16));
  for (int k = 0; k < codes; ++k) f.push_back(uint8_t(k));
  f.insert(f.end(), {0xFF, 0xD9});
  return f;
}

TEST(Image, PicturesCutShortOrWithOversizedTablesAreRefused) {
  std::vector<uint8_t> bmp = Bitmap(16, 16);
  std::vector<uint8_t> tga = Tga(2), rle = Tga(10);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool decodes;
  };
  const Case kCases[] = {
      {"plain TGA", tga, true},
      {"run-length TGA", rle, true},
      {"TGA shorter than its header", std::vector<uint8_t>(tga.begin(), tga.begin() + 17), false},
      {"TGA missing its last pixel", std::vector<uint8_t>(tga.begin(), tga.end() - 3), false},
      {"TGA run packet without its pixel", std::vector<uint8_t>(rle.begin(), rle.end() - 2), false},
      {"bitmap missing its last row", std::vector<uint8_t>(bmp.begin(), bmp.end() - 48), false},
      {"JPEG table of 257 codes", JpegWithTable(257), false},
      {"JPEG without its end marker", std::vector<uint8_t>({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00}), false},
  };
  for (const Case& c : kCases) {
    Image image{};
    EXPECT_EQ(ImageDecode(c.bytes.data(), c.bytes.size(), &image), c.decodes) << c.name;
    int32_t w = 0, h = 0, channels = 0;
    EXPECT_EQ(ImageProbe(c.bytes.data(), c.bytes.size(), &w, &h, &channels), c.decodes) << c.name;
    if (c.decodes) {
      EXPECT_EQ(w, 2);
      EXPECT_EQ(image.pixels[0], 30) << c.name;  // red of the first pixel
    }
    ImageFree(&image);
  }
}

TEST(Image, LoadsAPictureFileByGamePath) {
  TempDir dir;
  std::vector<uint8_t> file = Bitmap(4, 2);
  dir.Write("Pics/Logo.BMP", std::string(file.begin(), file.end()));
  Image image{};
  // The game spells paths with backslashes and without regard to case.
  std::string gamePath = dir.path() + "\\pics\\logo.bmp";
  ASSERT_TRUE(ImageLoadFile(gamePath.c_str(), &image));
  EXPECT_EQ(image.width, 4);
  ImageFree(&image);
  EXPECT_FALSE(ImageLoadFile((dir.path() + "/missing.png").c_str(), &image));
  EXPECT_FALSE(ImageLoadFile(nullptr, &image));
}

}  // namespace
