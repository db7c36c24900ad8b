// Cut files: loading a cut by id from its text form or its binary "CUT1" form into a CutRecord
// kept in the engine's cut table, the section table both forms share, the embedded bodies a cut
// may carry, and freeing a loaded cut. Called by the natives, the type loaders, object creation
// and the explosion effects, which ask for a cut whenever they need one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/data_reader.h"
#include "scene/cut_records.h"

struct BodyRecord;

constexpr uint32_t kCutSectionCount = 11;

inline constexpr DataSectionRow kCutSectionTable[kCutSectionCount] = {
    {"", "DATA", "/DAT", "", 0},
    {"", "CUT1", "/CUT", "", 1},
    {"Name", "NAME", "/NAM", "NAME:", 2},
    {"Version", "VERS", "/VER", "VER:", 3},
    {"Path", "PATH", "/PAT", "PATH:", 4},
    {"States", "STAT", "/STA", "STATES:", 5},
    {"Notes", "NOTE", "/NOT", "NOTES:", 6},
    {"Position constraint", "CONS", "/CON", "POSCONSTRAINT:", 7},
    {"Embedded body", "BOB1", "/BOB", "BODY:", 8},
    {"Info", "INFO", "/INF", "INFO:", 9},
    {"", "", "", "", 10},
};

// Rows of the table the readers name.
constexpr int32_t kCutRowFile = 1;
constexpr int32_t kCutRowName = 2;
constexpr int32_t kCutRowVersion = 3;
constexpr int32_t kCutRowPath = 4;
constexpr int32_t kCutRowStates = 5;
constexpr int32_t kCutRowNotes = 6;
constexpr int32_t kCutRowConstraints = 7;
constexpr int32_t kCutRowBody = 8;
constexpr int32_t kCutRowInfo = 9;

// The limits of the text form: paths per cut and notes per path.
constexpr int32_t kCutTextMaxPaths = 4096;
constexpr int32_t kCutTextMaxNotes = 100;
// Bodies embedded in cut c get the id of their name plus (c - 1) times this.
constexpr int32_t kCutBodyIdStep = 100000;
// The path body id while a text path is read and names no body yet.
constexpr int32_t kCutBodyUnset = -99999;

// The loaded cut of this id (loading it on first use), or null: a cut that failed once is marked
// missing in its CutData row and never looked for again.
CutRecord* J3D_LoadCut(int32_t cutId);
// The two forms over an opened reader; the cut is entered in the cut table and the reader's
// buffer released. Null on a failed load.
CutRecord* ParseCutText(int32_t cutId, DataReader* reader);
CutRecord* ReadCutBinary(int32_t cutId, DataReader* reader);

// A body embedded in a cut: the text between its braces, or the binary body from its "BOB1" tag
// on, with `length` the bytes that may belong to it. Null for no text or a failed body.
BodyRecord* ParseEmbeddedBodyText(const char* text, size_t length, int32_t bodyId);
BodyRecord* ReadEmbeddedBodyBinary(const uint8_t* cursor, size_t length, int32_t bodyId);

// Frees a cut and everything its paths own; the caller takes it out of the cut table first.
void FreeCut(CutRecord* cut);

// What runs after a successful load: the game registers its movie update, which picks up movie
// textures the cut's bodies brought in.
using CutLoadedHook = void (*)();
void SetCutLoadedHook(CutLoadedHook hook);

// How the cut readers read one key block. The game keeps ReadPathKeys; a test may watch the
// blocks' kinds through its own reader.
using PathKeyReaderFn = int32_t (*)(DataReader* reader, uint32_t kind, const char* fileName);
void SetPathKeyReader(PathKeyReaderFn reader);
