// The recording stream: what the engine shows, written frame by frame into one gzip ".rec" file
// as delta-coded records of its scenes, instances, cameras and particle emitters, with the
// drawing records of the texture operations in between, and the dynamic body and cut name tables.
// The field groups of every object record are one table per kind that the recorder and the
// replay share. Called by the engine frame, the natives, the texture drawing and the engine's save
// section (the name tables). A failed write ends the recording; nothing here reads the stream.
#pragma once

#include <cstdint>

#include "scene/draw_records.h"

struct FileObject;
struct HashTable;

// Object record tags and mask bits.
constexpr char kRecordTagHead[] = "RECO";
constexpr char kRecordTagNames[] = "RNAM";
constexpr char kRecordTagFrame[] = "RFRA";
constexpr char kRecordTagScene[] = "RSCE";
constexpr char kRecordTagInstance[] = "RINS";
constexpr char kRecordTagCamera[] = "RCAM";
constexpr char kRecordTagEmitter[] = "RPGE";
constexpr char kRecordTagEnd[] = "REND";
constexpr uint32_t kRecordFormat = 1;

constexpr uint32_t kRecordNew = 0x10000000;
constexpr uint32_t kRecordFreed = 0x20000000;
constexpr uint32_t kRecordLight = 0x40000000;

// Scene groups.
constexpr uint32_t kSceneGroupFlags = 0x1;
constexpr uint32_t kSceneGroupScale = 0x2;
constexpr uint32_t kSceneGroupName = 0x4;
// Instance groups without data or with a name.
constexpr uint32_t kInstGroupListWord = 0x1;
constexpr uint32_t kInstGroupName = 0x20000;
// Camera name group; a new camera always carries its priority.
constexpr uint32_t kCameraGroupName = 0x200;
constexpr uint32_t kCameraGroupPriority = 0x8;
// The longest name a name group carries; a longer one is written as its first bytes.
constexpr uint32_t kRecordMaxName = 0x10000;
// Emitter particle times: a count word, then one word per kind.
constexpr uint32_t kEmitterGroupTimes = 0x100;

// One group of words of an object record: its mask bit, its word count and where its words sit in
// a shadow's word array. Groups stand in the tables in stream order.
struct RecordGroup {
  uint32_t bit;
  int8_t words;
  int8_t offset;
};
constexpr int kShadowWords = 48;

extern const RecordGroup kSceneGroups[2];
extern const RecordGroup kInstanceGroups[19];
extern const RecordGroup kCameraGroups[12];
extern const RecordGroup kEmitterGroups[9];

struct RecordingState {
  FileObject* file;
  HashTable* scenes;
  HashTable* instances;
  HashTable* cameras;
  HashTable* emitters;
  int32_t bodyRows;  // dynamic rows last written
  int32_t cutRows;
};

// Opens "<name>.rec" and writes the head; 1 while recording, 0 with nothing left behind.
int32_t B3D_InitRecording(const char* name);
void RecordFrame();
void B3D_ExitRecording();
// The dynamic BodyData and CutData names; 1, or 0 when a write failed.
int32_t WriteNameTables(FileObject* file);

// Appends one drawing record: `args` holds the kind's arguments as the caller gave them (the
// text length last for text records, whose bytes follow from `text`).
void RecordDrawing(DrawRecord kind, const int32_t* args, const char* text);

// The wall clock of the "RECO" head (seconds since 1970); tests set their own.
using RecordingClock = uint32_t (*)();
void SetRecordingClock(RecordingClock clock);
