// The least form of the binary body reader until it is built: no binary body is read, so a cut
// that embeds one fails to load. Called by the cut readers; never reads a byte.
#include "scene/body_binary.h"

BodyRecord* ReadBodyBinary(int32_t, DataReader*) { return nullptr; }
