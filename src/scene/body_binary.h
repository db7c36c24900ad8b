// Binary body files: the compact "BOB1" form of a body, read into the records both body readers
// fill (scene/body_records.h) and written from them, so text bodies can be converted. Called by
// the body loader, the conversion switch and the tools.
#pragma once

#include <cstdint>

#include "scene/body_records.h"

struct DataReader;

// Vertex field mask of the "POIN" chunk: which fields follow a vertex's mask.
constexpr uint16_t kPointPosition = 0x1;
constexpr uint16_t kPointUv = 0x2;
constexpr uint16_t kPointSecondUv = 0x4;  // only together with kPointUv
constexpr uint16_t kPointNormal = 0x8;
constexpr uint16_t kPointSmoothing = 0x10;
// What the writer gives every vertex: second coordinates are not written.
constexpr uint16_t kPointWrittenFields = kPointPosition | kPointUv | kPointNormal | kPointSmoothing;

// The first mesh of a body read from the binary form sits at this distance.
constexpr int32_t kBinaryFirstMeshDistance = 100000;

// Reads a body from a reader over the whole file (set to binary form here), which must know where
// its data ends. Null for a malformed file: no "BOB1", an unknown chunk, a missing end id, a
// missing "POIN" or "PART", or an index or count the file cannot hold. A failed allocation ends
// through the body readers' fatal end with the memory code (null when that end returns). The
// reader's buffer is released in every case; a body read is linked and cached.
BodyRecord* ReadBodyBinary(int32_t bodyId, DataReader* reader);

// Writes the body as "%05d.bob" of its id, or as "<name>.bob" when its BodyData row names a file,
// in the settings' conversion folder format. The file is replaced only once written whole; 0 when
// it cannot be opened or a write fails, else 1.
int32_t WriteBodyBinary(const BodyRecord* body);
