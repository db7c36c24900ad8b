// Text body files and what both body readers share: the parser of the text form, the fatal end
// of a reader (a malformed file, memory), the name of a body's file in messages, the allocation,
// linking and freeing of body records. Called by the body loader, the binary body reader and the
// tools; the records are in scene/body_records.h.
#pragma once

#include <cstdint>
#include <string>

#include "scene/body_records.h"

struct DataReader;

// Exit codes of the body readers' fatal ends.
constexpr uint32_t kBodyExitMalformed = 40;
constexpr uint32_t kBodyExitMemory = 3;

// How a body reader ends on a malformed file or a failed allocation: with the body's file name as
// the failure text. The game installs its shutdown (which never returns); a test or a fuzz target
// installs one that returns, and the reader then gives up with null. Without one installed the
// scene engine's fatal exit ends the process.
using BodyReaderFatalFn = void (*)(uint32_t code, const char* fileName);
void SetBodyReaderFatal(BodyReaderFatalFn fn);
// Calls the installed function; returns only when it returns.
void BodyReaderFatal(uint32_t code, const char* fileName);

// The file name of a body in messages: the body folder format applied to its row's name or
// "v\%05d" of the id.
std::string BodyMessageFileName(int32_t bodyId);
// A folder format ("objects\%s") applied to a name; the name itself without a format.
std::string BodyFolderName(const char* folderFormat, const std::string& name);

// Parses a text body file over the whole reader (the reader's buffer is released before it
// returns). Null for a body without usable points, or after a fatal end that returned.
BodyRecord* ParseBodyText(int32_t bodyId, DataReader* reader);

// Counted, zeroed body records and arrays (engine memory at their nominal sizes); null when
// memory runs out.
BodyRecord* NewBodyRecord(int32_t bodyId);
BodyMesh* NewBodyMesh(BodyRecord* body);
BodyPart* NewBodyPart(BodyMesh* mesh);
// Appends the body to the engine's loaded-body list and enters it in the body cache (id + 1).
void BodyLinkAndCache(BodyRecord* body);
// A part or mesh not (or no longer) held by a body, with everything it owns.
void FreeBodyPart(BodyPart* part);
void FreeBodyMesh(BodyMesh* mesh);
// Takes the body out of the list and the cache (when it is there) and frees everything it owns.
void FreeBody(BodyRecord* body);
