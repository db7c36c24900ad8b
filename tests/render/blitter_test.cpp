// The software blitter on memory surfaces of every depth: the blit-type table, clipped lines,
// clipped ellipses, byte order of 24-bit spans, fills at the edge, keyed and alpha blocks, mono
// bitmaps, and blocks that reach past their surfaces (ASan watches the rows).
#include "render/blitter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/display_surface.h"

namespace {

// A surface holding its pixels in memory (no device surface), `bits` 1 for mono.
struct MemSurface {
  std::vector<uint8_t> bytes;
  DisplaySurface s{};
  MemSurface(int32_t width, int32_t height, int32_t bits) {
    s.width = static_cast<int16_t>(width);
    s.height = static_cast<int16_t>(height);
    s.bitsPerPixel = static_cast<int16_t>(bits);
    s.bytesPerPixel = static_cast<int16_t>((bits + 7) / 8);
    s.flags = kSurfaceOwnPixels | kSurfaceLocked;
    if (bits == 1) {
      s.rowBytes = static_cast<uint16_t>((width + 7) / 8);
      s.pitch = s.rowBytes;
      s.planeStep = s.planeBytes = static_cast<uint32_t>(s.rowBytes * height);
    } else {
      s.flags |= kSurfaceChunky | (bits == 16 ? kSurface16Bit : bits == 24 ? kSurface24Bit : bits == 32 ? kSurface32Bit : 0);
      s.rowBytes = s.pitch = static_cast<uint16_t>(width * s.bytesPerPixel);
    }
    bytes.assign(static_cast<size_t>(s.pitch) * height, 0);
    s.pixels = bytes.data();
  }
  // The pixel's bytes as a number (little-endian), or its bit for mono.
  uint32_t At(int32_t x, int32_t y) const {
    const uint8_t* row = bytes.data() + static_cast<size_t>(y) * s.pitch;
    if (s.bitsPerPixel == 1) return row[x / 8] >> (7 - x % 8) & 1;
    uint32_t v = 0;
    std::memcpy(&v, row + x * s.bytesPerPixel, static_cast<size_t>(s.bytesPerPixel));
    return v;
  }
  // The picture as rows of '#' (set) and '.' (zero).
  std::string Picture() const {
    std::string out;
    for (int32_t y = 0; y < s.height; ++y) {
      for (int32_t x = 0; x < s.width; ++x) out += At(x, y) ? '#' : '.';
      out += '\n';
    }
    return out;
  }
};

const int32_t kDepths[] = {1, 8, 16, 24, 32};

TEST(Blitter, BlitTypeTableCoversEveryFormatPair) {
  const int32_t expected[5][5] = {
      {15, 16, 17, 18, 19}, {3, 0, 1, 2, 4}, {8, 7, 5, 6, 9}, {13, 12, 11, 10, 14}, {23, 22, 21, 20, 24}};
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) {
      MemSurface a(2, 2, kDepths[i]), b(2, 2, kDepths[j]);
      EXPECT_EQ(GetBlitType(&a.s, &b.s), expected[i][j]) << kDepths[i] << " x " << kDepths[j];
    }
  MemSurface one(2, 2, 24);
  EXPECT_EQ(GetBlitType(&one.s, nullptr), 10);
  EXPECT_EQ(GetBlitType(nullptr, &one.s), 10);
  EXPECT_EQ(GetBlitType(nullptr, nullptr), -1);
}

TEST(Blitter, LinesAreClippedToTheSurfaceInEveryDepth) {
  struct Case {
    int32_t x0, y0, x1, y1;
    const char* picture;
  };
  const Case kCases[] = {
      {-10, 5, 10, 5, "....\n....\n....\n....\n....\n####\n....\n....\n"},
      {-5, -3, 20, -3, "....\n....\n....\n....\n....\n....\n....\n....\n"},
      {1, -100, 1, 100, ".#..\n.#..\n.#..\n.#..\n.#..\n.#..\n.#..\n.#..\n"},
      {0, 0, 3, 3, "#...\n.#..\n..#.\n...#\n....\n....\n....\n....\n"},
      {-30000, 2, 2, 2, "....\n....\n###.\n....\n....\n....\n....\n....\n"},
      {40000, 2, -40000, 2, "....\n....\n....\n....\n....\n....\n....\n....\n"},
  };
  for (int32_t depth : {8, 16, 24, 32})
    for (const Case& c : kCases) {
      MemSurface m(4, 8, depth);
      BlitLine(&m.s, c.x0, c.y0, c.x1, c.y1, 0x123456);
      EXPECT_EQ(m.Picture(), c.picture) << depth << " bits, (" << c.x0 << "," << c.y0 << ")";
    }
}

TEST(Blitter, ClipLineMovesEndpointsOntoTheEdges) {
  MemSurface m(4, 8, 8);
  int32_t x0 = -10, y0 = 5, x1 = 10, y1 = 5;
  ASSERT_EQ(ClipLine(&x0, &y0, &x1, &y1, &m.s), 1);
  EXPECT_EQ(std::min(x0, x1), 0);
  EXPECT_EQ(std::max(x0, x1), 3);
  int32_t a = 0, b = 0, c = 40000, d = 0;
  EXPECT_EQ(ClipLine(&a, &b, &c, &d, &m.s), 0);  // longer than 32767
}

TEST(Blitter, FilledCircleAtTheCornerDrawsOnlyItsVisiblePart) {
  for (int32_t depth : kDepths) {
    MemSurface m(16, 16, depth);
    BlitFilledCircle(&m.s, 1, 1, 3, 0x10000, 1);
    EXPECT_EQ(m.Picture().substr(0, 17 * 5),
              "#####...........\n"
              "#####...........\n"
              "#####...........\n"
              "####............\n"
              "###.............\n")
        << depth;
    for (int32_t y = 5; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(m.At(x, y), 0u);
  }
}

TEST(Blitter, CircleOutlineIsSymmetricAndClipped) {
  MemSurface m(9, 9, 32);
  BlitCircle(&m.s, 4, 4, 4, 0x10000, 0xFFFFFF);
  const std::string p = m.Picture();
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      EXPECT_EQ(m.At(x, y) != 0, m.At(8 - x, y) != 0);
      EXPECT_EQ(m.At(x, y) != 0, m.At(x, 8 - y) != 0);
    }
  EXPECT_NE(m.At(4, 0), 0u);
  EXPECT_NE(m.At(0, 4), 0u);
  EXPECT_EQ(m.At(4, 4), 0u);
  MemSurface edge(4, 4, 16);
  BlitCircle(&edge.s, 0, 0, 30, 0x8000, 0xFFFF);  // mostly outside: only in-surface pixels
  MemSurface wide(32, 5, 8);
  BlitFilledCircle(&wide.s, 16, 2, 2, 0x8000, 9);  // aspect 0.5: twice as wide as high
  EXPECT_EQ(wide.At(12, 2), 9u);
  EXPECT_EQ(wide.At(20, 2), 9u);
  EXPECT_EQ(wide.At(11, 2), 0u);
}

TEST(Blitter, TwentyFourBitSpansWriteBlueGreenRed) {
  MemSurface m(8, 8, 24);
  BlitFilledCircle(&m.s, 4, 4, 1, 0x10000, 0x112233);
  const uint8_t* p = m.bytes.data() + 4 * m.s.pitch + 4 * 3;
  EXPECT_EQ(p[0], 0x33);
  EXPECT_EQ(p[1], 0x22);
  EXPECT_EQ(p[2], 0x11);
}

TEST(Blitter, UnknownBlitTypePrintsItsLineAndDrawsNothing) {
  MemSurface m(8, 8, 32);
  m.s.bytesPerPixel = 2;  // contradicts the 32-bit flag
  testing::internal::CaptureStdout();
  BlitFilledCircle(&m.s, 4, 4, 2, 0x10000, 0xFFFFFF);
  BlitCircle(&m.s, 4, 4, 2, 0x10000, 0xFFFFFF);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "FilledCircle: Unknown Blittype\n");
  EXPECT_EQ(m.Picture().find('#'), std::string::npos);
}

TEST(Blitter, WritesKeepTheThirtyTwoBitAlphaByte) {
  MemSurface m(4, 4, 32);
  std::memset(m.bytes.data(), 0xAA, m.bytes.size());
  BlitPixelClipped(1, 1, 0x010203, &m.s);
  BlitLine(&m.s, 0, 3, 3, 3, 0x010203);
  EXPECT_EQ(m.At(1, 1), 0xAA010203u);
  EXPECT_EQ(m.At(2, 3), 0xAA010203u);
  BlitPixelClipped(4, 0, 0, &m.s);
  BlitPixelClipped(-1, 0, 0, &m.s);
  EXPECT_EQ(m.At(3, 0), 0xAAAAAAAAu);
}

TEST(Blitter, FillRectOnlyInsideTheSurface) {
  struct Case {
    int32_t x, y, w, h;
    bool fills;
  };
  const Case kCases[] = {{0, 0, 4, 4, true}, {2, 1, 4, 2, false}, {-1, 0, 2, 2, false}, {0, 0, 0, 2, false},
                         {2, 3, 2, 1, true}};
  for (int32_t depth : kDepths)
    for (const Case& c : kCases) {
      MemSurface m(5, 4, depth);
      BlitFillRect(c.x, c.y, c.w, c.h, 1, &m.s);
      EXPECT_EQ(m.Picture().find('#') != std::string::npos, c.fills) << depth << " " << c.x << "," << c.w;
    }
}

TEST(Blitter, KeyedBlockSkipsPixelsAtOrBelowTheKey) {
  MemSurface source(2, 1, 32), target(2, 1, 32);
  const uint32_t pixels[2] = {0xFF000000, 0x7F102030};  // black (alpha only), coloured
  std::memcpy(source.bytes.data(), pixels, 8);
  std::memset(target.bytes.data(), 0x55, 8);
  BlitBlock(&target.s, &source.s, 0, 0, 0, 0, 2, 1, 0);
  EXPECT_EQ(target.At(0, 0), 0x55555555u);
  EXPECT_EQ(target.At(1, 0), 0x55102030u);  // colour copied, target alpha kept

  struct Case {
    int32_t depth;
    uint32_t source, key;
    bool copied;
  };
  const Case kCases[] = {{8, 5, 5, false}, {8, 6, 5, true}, {16, 0x0100, 0xFF, true}, {16, 0x00FF, 0xFF, false},
                         {24, 0x000010, 0x10, false}, {24, 0x110000, 0x10, true}};
  for (const Case& c : kCases) {
    MemSurface s(1, 1, c.depth), t(1, 1, c.depth);
    std::memcpy(s.bytes.data(), &c.source, static_cast<size_t>(s.s.bytesPerPixel));
    BlitBlock(&t.s, &s.s, 0, 0, 0, 0, 1, 1, c.key);
    EXPECT_EQ(t.At(0, 0), c.copied ? c.source : 0u) << c.depth << " " << c.source;
  }
}

TEST(Blitter, SpriteAlphaFollowsTheBlendFormula) {
  struct Case {
    uint32_t source, target, tint, expected;
  };
  const Case kCases[] = {
      // alpha 0: colour bytes (t x 255 x 256) >> 16, alpha (t x 255) >> 8
      {0x00FFFFFF, 0x80C86432, 0xFFFFFF, 0x7FC76331},
      // alpha 255 under a white tint: nearly the source, alpha 255
      {0xFF804020, 0x00000000, 0xFFFFFF, 0xFF7F3F1F},
      // the tint scales each channel
      {0xFFFFFFFF, 0x00000000, 0x0000FF, 0xFF0000FD},
  };
  for (const Case& c : kCases) {
    MemSurface s(1, 1, 32), t(1, 1, 32);
    std::memcpy(s.bytes.data(), &c.source, 4);
    std::memcpy(t.bytes.data(), &c.target, 4);
    BlitSpriteAlpha(&s.s, &t.s, 0, 0, 0, 0, 1, 1, c.tint);
    EXPECT_EQ(t.At(0, 0), c.expected) << std::hex << c.source;
  }
  MemSurface s16(1, 1, 16), t32(1, 1, 32);
  s16.bytes.assign(2, 0xFF);
  BlitSpriteAlpha(&s16.s, &t32.s, 0, 0, 0, 0, 1, 1, 0xFFFFFF);  // not 32 to 32: nothing
  EXPECT_EQ(t32.At(0, 0), 0u);
}

TEST(Blitter, MonoBitmapSetsPixelsUnderSetBits) {
  MemSurface bitmap(10, 2, 1);
  bitmap.bytes = {0xA0, 0x40, 0xFF, 0xC0};  // row 0: #.#......#, row 1: ##########
  bitmap.s.pixels = bitmap.bytes.data();
  for (int32_t depth : kDepths) {
    MemSurface m(4, 2, depth);
    BlitMonoBitmap(&m.s, &bitmap.s, 8, 0, 4, 2, 1, 0, 1);  // columns 8.. reach past the bitmap
    EXPECT_EQ(m.Picture(), "..#.\n.##.\n") << depth;
    BlitMonoBitmap(&m.s, &bitmap.s, 0, 0, 10, 1, -1, 0, 1);
    EXPECT_EQ(m.Picture(), ".##.\n.##.\n") << depth;  // columns 1.. land at 0..
  }
}

TEST(Blitter, BlocksHalfOutsideDrawOnlyTheInsidePart) {
  struct Case {
    int32_t sx, sy, tx, ty, w, h;
    const char* picture;
  };
  const Case kCases[] = {
      {0, 0, 2, 2, 4, 4, "....\n....\n..##\n..##\n"},
      {0, 0, -3, -3, 4, 4, "#...\n....\n....\n....\n"},
      {-2, 0, 0, 0, 3, 1, "..#.\n....\n....\n....\n"},
      {2, 2, 0, 0, 100, 100, "##..\n##..\n....\n....\n"},
      {0, 0, 0, 0, -1, 4, "....\n....\n....\n....\n"},
  };
  for (int32_t depth : {8, 16, 24, 32})
    for (const Case& c : kCases) {
      MemSurface source(4, 4, depth);
      std::memset(source.bytes.data(), 0x7F, source.bytes.size());
      MemSurface a(4, 4, depth), b(4, 4, depth), d(4, 4, depth);
      BlitBlockTo(&source.s, &a.s, c.sx, c.sy, c.tx, c.ty, c.w, c.h);
      BlitBlock(&b.s, &source.s, c.sx, c.sy, c.tx, c.ty, c.w, c.h, 0);
      EXPECT_EQ(a.Picture(), c.picture) << depth << " " << c.tx;
      EXPECT_EQ(b.Picture(), c.picture) << depth << " " << c.tx;
      if (depth == 32) {
        BlitSpriteAlpha(&source.s, &d.s, c.sx, c.sy, c.tx, c.ty, c.w, c.h, 0xFFFFFF);
        EXPECT_EQ(d.Picture(), c.picture);
      }
    }
}

}  // namespace
