// The movie module: the open media streams as movie records addressed by their file number, the
// play protocol that tells each record's owner when it ends, the per-frame update that feeds a
// connected texture, the voice-line tables, the MOV_ natives and the "MOVI" save section. Called
// by the game main, the game loop, the script reset, the save container, the renderer's movie
// textures (the claim hooks), the SFX_ volume setters and the shutdown.
#pragma once

#include <cstdint>

struct FileObject;
struct HashTable;
struct DisplaySurface;
struct MediaStream;
struct ScriptTask;
struct ScriptValue;

// MovieRecord flag bits; the stream's kind flags fill the rest.
constexpr uint32_t kMovieLoops = 0x1;
constexpr uint32_t kMovieRunning = 0x2;
constexpr uint32_t kMovieConnected = 0x4;

// Voice languages are 0..998; nothing outside indexes the tables.
constexpr int32_t kVoiceLanguageCount = 999;

struct MovieRecord {
  MovieRecord* next;
  MovieRecord* previous;
  int32_t id;
  int32_t ownerHandle;
  int32_t ownerModule;  // 0 = nobody hears the end
  int32_t start;        // ms
  int32_t end;          // ms; 0 or less plays to the end of the file
  MediaStream* stream;
  DisplaySurface* texture;  // looked up again every frame
  uint32_t flags;
  int32_t textureSlot;
  int32_t voiceLanguage;
  int32_t voicePage;
  int32_t voiceId;
};

struct VoicePage {
  int32_t stream;
  HashTable* lines;  // (line id + 1) -> start << 32 | length, both ms
};

struct MovieState {
  MovieRecord* first;
  MovieRecord* last;
  int32_t moduleIndex;
  HashTable* languages;  // (language + 1) -> 1 for every voice file loaded
  HashTable* voices[kVoiceLanguageCount];  // page id -> VoicePage*
};

extern MovieState* gMovieState;
extern const char* const kMOVNativeNames[];

MovieState* InitMovieModule();
void ShutdownMovieModule();
void UpdateMovies();
void StopAllMovies();
// The records of the module's list, front first; none after the last.
MovieRecord* FirstMovie();
MovieRecord* NextMovie(MovieRecord* movie);
MovieRecord* FindMovie(int32_t id);
// The kind a record of this id opens with when none is asked for, and its texture slot (0: none).
uint32_t MovieKindForId(int32_t id, int32_t* textureSlot);
// A new record at the front of the list with its stream open, not running; null on failure.
MovieRecord* MovieOpen(int32_t id, uint32_t kind);
// Tells the owner 1 when one is set, closes the stream, unlinks and frees the record.
void MovieRelease(MovieRecord* movie);
// The record's frames go to the texture of `slot` from the next frame on; null does nothing.
void MovieConnectTexture(MovieRecord* movie, int32_t slot);
// 1 when the record of `id` was connected to `slot` and now is not, else 0.
int32_t MovieDisconnectTexture(int32_t id, int32_t slot);
// Plays the record of `id` (opened when absent) from start to end for the owner (module,
// handle), whom it tells 0 at once on failure and 1 at the end. A previous owner hears 1 first.
int32_t MoviePlay(int32_t module, int32_t handle, int32_t id, int32_t start, int32_t end, bool loop);
// Stops the record's stream and tells its owner 1; 0 for an unknown id.
int32_t MovieStop(int32_t id);
// Every music (kMediaKindMusic) or voice (kMediaKindVoice) record takes the volume (0..255).
void MovieSetKindVolume(uint32_t kind, int32_t volume);

// The record's flag word and texture slot (its owner); false when no record has the id. The
// renderer's movie textures find their streams through it.
bool MovieFindStream(int32_t id, uint32_t* flags, int32_t* slot);

// Voice lines. Loading reads the file "%05d" of the language from the movie folder; parsing
// takes any voice document. Both answer 1 or 0. Lookups answer -1 for what is not loaded.
int32_t MOV_LoadVoiceInfo(int32_t language);
int32_t ParseVoiceInfo(const char* bytes, uint32_t size);
void MOV_FreeVoiceInfo();
int32_t MOV_GetVoiceStart(int32_t language, int32_t page, int32_t line);
int32_t MOV_GetVoiceLength(int32_t language, int32_t page, int32_t line);
int32_t MOV_GetVoiceStream(int32_t language, int32_t page);

int32_t MOV_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);
int32_t DispatchMOVNative(int32_t module, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args);

// The "MOVI" ... "/MOV" save section (movie_save.cpp): which records were open and connected to
// which texture slots, and whether voice information was loaded. Writing answers 0 without a
// module or when any write fails; reading answers 1 when the section was whole and its end tag
// matched, else 0, and opens nothing unless every record it names is there.
int32_t WriteMovieState(FileObject* file);
int32_t ReadMovieState(FileObject* file);
