// The save-game container: a whole game written as one gzip stream into a numbered slot of the
// user's save folder ("LSAV", the captions and story name, "SYSB", "TIME", one section per
// subsystem, "RAND" with the random generator's state, "/LSA"), and read back. Called by the
// game loop (a requested save, a start from a save) and, for the file names, the application natives. A save reaches its slot only by a
// rename of a complete temporary file, and the reader never trusts a length it has not checked.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileObject;

// Slot n is file n + 1; slots 10 to 12 are the ring of automatic saves; file 99 is the
// temporary file every save is written into first.
constexpr int32_t kSaveSlotCount = 13;
constexpr int32_t kAutoSaveFirstSlot = 10;
constexpr int32_t kAutoSaveSlotCount = 3;
constexpr int32_t kTempSaveNumber = 99;

// Longest texts the reader accepts in the header.
constexpr uint32_t kSaveCaptionLimit = 1000;
constexpr uint32_t kSaveStoryNameLimit = 100;
// Longest texts the list of saves accepts. The writer cuts captions to this length and refuses
// a longer story name, so every save it writes can be both listed and read.
constexpr uint32_t kSaveListCaptionLimit = 999;
constexpr uint32_t kSaveListStoryNameLimit = 99;

// The message code of a save game that cannot be read.
constexpr uint32_t kShutdownBadSaveGame = 29;

// One section of the container after "TIME": its chunk id, its writer and its reader; each takes
// the open save file and answers true on success. The table holds them in file order; tests
// rebind entries, ResetSaveSections binds them to the subsystems again.
struct SaveSection {
  const char* tag;
  bool (*write)(FileObject* file);
  bool (*read)(FileObject* file);
};
constexpr int kSaveSectionCount = 7;
constexpr int kSaveSectionCockpit = 5;  // written only while a GUI master exists
extern SaveSection gSaveSections[kSaveSectionCount];
void ResetSaveSections();

// The file name of a save number (slot + 1, or kTempSaveNumber) in the user data folder.
void SaveGameFileName(int32_t number, char* out, size_t size);

// True when the save is complete and in place.
bool WriteSaveGame(int32_t slot, const char* caption1, const char* caption2, uint32_t word);
// Reads the save of a slot into the running game: 1 on success. On failure the timer list is
// cleared, the save's file name becomes the failure detail and 0 is returned; nothing else is
// undone (sections read before the failure stay applied).
int32_t LoadSaveGame(int32_t slot);
// LoadSaveGame, ending the process with kShutdownBadSaveGame on failure: returns only 1.
int32_t ReadSaveGame(int32_t slot);

// Checked reads of the container's header fields, shared with the save listing: a big-endian
// word, and a length-prefixed text of at most `limit` bytes into a new accounted buffer of
// length + 1 bytes (terminated), freed with FreeSaveText. False for a short or longer field.
bool ReadSaveWord(FileObject* file, uint32_t* word);
bool ReadSaveText(FileObject* file, uint32_t limit, char** text, uint32_t* length);
void FreeSaveText(char** text, uint32_t length);
