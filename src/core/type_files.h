// The type-file opener: finds "types\" + name among the game files, packed (binary) form first,
// and answers a data reader over it in the form it was found in. Called by every loader of a
// type file (the scene engine's own, the universe's, the sound banks); the caller reads the
// fields and closes the reader with DataReaderClose, then frees it with MemFree.
#pragma once

#include <cstdint>

struct DataReader;
struct DataSectionRow;

// The reader, or null when the file is missing or memory runs out.
DataReader* OpenTypeFile(const char* name, const DataSectionRow* fieldTable, uint32_t fieldCount);
