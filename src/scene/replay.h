// Replay of ".rec" recordings: rebuilds the recorded scenes, instances, lights, cameras and
// particle emitters in the running engine one recorded frame at a time, at the recorded pace of
// the game clock, and runs the recorded drawing into textures again. Started and ended by the
// B3D_ natives; the engine frame calls ReplayFrame while the replay flag is set. Every record is
// read through the field tables the recorder writes with; a damaged or cut stream ends the replay
// and never reads or writes outside what it allocated.
#pragma once

#include <cstdint>

struct FileObject;
struct HashTable;

struct ReplayState {
  FileObject* file;
  HashTable* scenes;  // recorded handle to shadow
  HashTable* instances;
  HashTable* cameras;
  HashTable* emitters;
  HashTable* droppedScenes;  // live handles of scenes whose shadow a freed record dropped
  int32_t timeOffset;        // game time at start minus the first frame's time
  uint32_t dueTime;
  int32_t priorityOffset;
  int32_t a, b, c, d;  // target rectangle, 16.16 fractions of the screen
  bool failed;         // a short read or a bad record: the replay ends
};

// Opens "<name>.rec"; 1 while the replay runs, else 0 with nothing left allocated.
int32_t B3D_InitReplay(const char* name, int32_t priorityOffset, int32_t a, int32_t b, int32_t c, int32_t d);
// Frees what replay made (instances, lights, cameras, scenes, emitters), the shadows and the
// stream, and clears the replay flag.
void B3D_ExitReplay();
void ReplayFrame();

// Reads the dynamic body and cut name tables (the save section's layout too) and reloads the
// types that may name those bodies; 1, or 0 when the stream ended or a count is beyond reason.
int32_t ReadBodyNameTables(FileObject* file);
