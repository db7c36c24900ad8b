// What the text and binary cut readers share with the loader: the cut file's name for messages,
// the cut record's allocation, the freeing of a path's own arrays, entering a finished cut in the
// cut table, and the key block reader in use. Only the cut files' own code includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/cut_records.h"

struct DataReader;

// The cut's file name in the object folder's second pattern, for failure texts and key messages.
std::string CutMessageFileName(int32_t cutId);
// The zeroed cut record; a failed allocation ends the process with code 3 naming the file.
CutRecord* AllocCutRecord(const std::string& fileName);
// The zeroed path array; a failed allocation ends the process with code 3 naming the file.
PathRecord* AllocCutPaths(int32_t count, const std::string& fileName);
void FreeCutPaths(PathRecord* paths, int32_t count);
// Frees the keys, name, notes and constraints of one path and clears it.
void FreePathContents(PathRecord* path);
// An owned, zeroed array in the cut memory category; code 3 when memory runs out.
void* AllocCutArray(size_t bytes, const std::string& fileName);
void FreeCutArray(void* array, size_t bytes);
// Stores id and paths and enters the cut in the engine's cut table.
void EnterCut(CutRecord* cut, int32_t cutId, PathRecord* paths, int32_t pathCount);
// The key block reader in use (ReadPathKeys unless a test set its own).
int32_t ReadKeyBlock(DataReader* reader, uint32_t kind, const char* fileName);
// The body id an embedded body of the cut gets for the given name id (wrapping, never overflowing).
int32_t EmbeddedBodyId(int32_t nameId, int32_t cutId);
