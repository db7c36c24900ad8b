// Writes cut key streams in text or binary form as the cut readers meet them: per key its flag
// word, the channels its flags select, the frame delta and the unused word. The key reader's
// tests and the fuzz seeds both use it.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/data_reader.h"

struct CutKeySpec {
  uint32_t flags;
  int32_t position[3];
  int32_t curve[5];     // position keys with 0x4000, axis-angle keys with 0x8000
  int32_t rotation[4];  // three angles, or the angle and the axis
  int32_t target[3];
  int32_t roll;
  int32_t color[3];
  int32_t fov;  // radians, 16.16
  int32_t delta;
};

inline void WriteCutKeySpec(DataReader* w, const CutKeySpec& k) {
  const uint32_t f = k.flags;
  WriteWord(w, f);
  if (!(f & 0x10)) {
    for (int32_t v : k.position) WriteInt(w, v);
    if (f & 0x4000)
      for (int32_t v : k.curve) WriteFixed(w, v);
  }
  if (f & 0x8) {
    if (!(f & 0x40))
      for (int32_t v : k.target) WriteInt(w, v);
    if (!(f & 0x20)) WriteFixed(w, k.roll);
  } else if ((f & 0x2) && !(f & 0x20)) {
    for (int32_t v : k.rotation) WriteFixed(w, v);
    if (f & 0x8000)
      for (int32_t v : k.curve) WriteFixed(w, v);
  } else if (!(f & 0x2) && !(f & 0x20) && !(f & 0x200)) {
    for (int i = 0; i < 3; ++i) WriteFixed(w, k.rotation[i]);
  }
  if ((f & 0x200) && !(f & 0x400))
    for (int32_t v : k.color) WriteFixed(w, v);
  if ((f & 0x800) && !(f & 0x1000)) WriteFixed(w, k.fov);
  WriteInt(w, k.delta);
  WriteInt(w, 0x5EED);
}

// The stream's bytes, written through a file at `path`.
inline std::string CutKeyStream(const std::vector<CutKeySpec>& keys, bool binary, const std::string& path) {
  DataReader w;
  DataWriterOpen(&w, path.c_str(), binary, nullptr, 0);
  for (const CutKeySpec& k : keys) WriteCutKeySpec(&w, k);
  DataReaderClose(&w);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A stream that touches every channel and every rotation form.
inline std::vector<CutKeySpec> SampleCutKeys() {
  return {
      {0x4000 | 0x2 | 0x8000 | 0x200 | 0x800, {10, -20, 30}, {0x8000, 0x4000, -0x4000, 0x1000, 0x2000},
       {0x4000, 0, 0x10000, 0}, {}, 0, {0x10000, 0x8000, 0}, 411774, 100},
      {0x0, {-5, 6, 7}, {}, {0x1000, 0x2000, 0x4000, 0}, {}, 0, {}, 0, 50},
      {0x10 | 0x8, {}, {}, {}, {1, 2, 3}, 0x2000, {}, 0, 25},
      {0x10 | 0x2 | 0x20, {}, {}, {}, {}, 0, {}, 0, 5},
      {0x10 | 0x8 | 0x40 | 0x20, {}, {}, {}, {}, 0, {}, 0, 7},
  };
}
