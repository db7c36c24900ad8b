// Binary body files ("BOB1"): the reader of the compact body form. Called by the body loader and
// by the cut readers for bodies embedded in binary cuts.
#pragma once

#include <cstdint>

struct BodyRecord;
struct DataReader;

// A new body read from the reader (binary mode, from its "BOB1" tag on), linked and cached under
// its id; null when the data is not a well-formed body.
BodyRecord* ReadBodyBinary(int32_t bodyId, DataReader* reader);
