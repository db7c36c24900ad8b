// Texture animations: the shared definitions read from the "Animations" type file, and the
// per-surface states instances, cameras and the HUD own, advanced with the game clock, stepped by
// the natives and stored in save games. A state never reads a definition or frame it does not
// have: out-of-range indices give texture 0.
#pragma once

#include <cstdint>

struct DataKeyword;
struct DataReader;
struct FileObject;

// 3 x 3 texture-coordinate transform of 16.16 values: two rows of four words, then three.
// Row 0 (scaleU, shearUV, 0), row 1 (shearVU, scaleV, 0), row 2 (translateU, translateV, 1.0).
struct UvTransform {
  int32_t row0[4];
  int32_t row1[4];
  int32_t row2[3];
};

// Definition kinds.
constexpr int32_t TAT_LOOP = 1;
constexpr int32_t TAT_PINGPONG = 2;
constexpr int32_t TAT_ONESHOT = 3;
constexpr int32_t TAT_MOVIE = 4;
constexpr int32_t TAT_TAGLOOP = 5;
constexpr int32_t TAT_TAGPINGPONG = 6;
constexpr int32_t TAT_TAGONESHOT = 7;
constexpr int32_t TAT_TAGCOLLECTION = 8;
constexpr int32_t TAT_TAGONESHOT_REINIT = 9;
constexpr int32_t TAT_SINGLESTEP = 10;
constexpr int32_t TAT_TAGSINGLESTEP = 11;
constexpr int32_t TAT_TAGARRAYSINGLESTEP = 12;

// Definition flags.
constexpr uint16_t TADF_COORDS = 0x2;
// Frame flags.
constexpr uint16_t TATF_REINITLOOP = 0x1;
constexpr uint16_t TATF_COORDS = 0x2;

// The names of the text form: definition kinds, definition flags and frame flags.
extern const DataKeyword* const kTexAnimTypeNames;
extern const DataKeyword* const kTexAnimDefinitionFlagNames;
extern const DataKeyword* const kTexAnimFrameFlagNames;

// Full frame (every kind but TAT_TAGCOLLECTION and TAT_TAGSINGLESTEP).
struct TexAnimFrame {
  uint16_t flags;
  uint16_t texture;
  int16_t duration;  // ms
  int32_t offsetU;
  int32_t offsetV;
};

// Frame of TAT_TAGCOLLECTION: the texture id and six stored integers.
struct TexAnimTagFrame {
  int16_t values[7];
};

struct TextureAnimation {
  int32_t type;
  uint16_t flags;
  uint16_t firstTexture;
  uint16_t lastTexture;
  int32_t startU, startV;  // TAT_MOVIE: cell width and height
  int32_t endU, endV;
  int32_t frameCount;
  union {
    TexAnimFrame* full;
    TexAnimTagFrame* tag;  // TAT_TAGCOLLECTION
    int32_t* ids;          // TAT_TAGSINGLESTEP
  } frames;
  int32_t duration;  // ms; -1 while unset
  int32_t movieStream;
  int32_t movieParams[6];
};

extern TextureAnimation* gTextureAnimations;
extern int16_t gTextureAnimationCount;

// State flags.
constexpr uint32_t kTexAnimImmediate = 0x1;
constexpr uint32_t kTexAnimBackwards = 0x2;
constexpr uint32_t kTexAnimRestartAtReinit = 0x4;
constexpr uint32_t kTexAnimReinitPassed = 0x8;
// The end of a one-shot or a frame-by-frame animation was already reported.
constexpr uint32_t kTexAnimEndReported = 0x10;

struct TexAnimState {
  int32_t anim;  // definition index; for an immediate state the negated texture id
  int32_t cycleStart;
  int32_t spinStart;
  uint32_t flags;
  int32_t elapsedFrames;
  int32_t reinitTime;
  int32_t movieStarted;
  int32_t uvStart[2];
  int32_t uvEnd[2];
  int32_t period;
  int32_t spinCentre[2];
  int32_t spinPeriod;
  int32_t frame;
  UvTransform uv;
  uint16_t texture;
};

// Bytes of one stored state.
constexpr uint32_t kTexAnimRecordBytes = 100;

// The movie module's stream list as the texture animations reach it. The movie layer registers
// these once at start-up (layers point down: this renderer never names it); without them a movie
// state is only marked as started.
constexpr uint32_t kMediaStreamRunning = 0x2;
constexpr uint32_t kMediaStreamOwned = 0x4;  // the stream plays into its owner's texture
struct MediaStreamHooks {
  // The stream's flag word and owner; false when no stream has that id.
  bool (*find)(int32_t streamId, uint32_t* flags, int32_t* owner);
  // Opens the stream into the list (kind 0: chosen by its id).
  void (*open)(int32_t streamId, uint32_t kind);
  // Sets the owned mark and the owner.
  void (*connect)(int32_t streamId, int32_t owner);
  void (*play)(int32_t streamId, const int32_t params[6]);
  void (*stop)(int32_t streamId);
  // Clears the owner and the owned mark when `owner` holds the stream.
  void (*disconnect)(int32_t streamId, int32_t owner);
};
void TexAnimSetMediaHooks(const MediaStreamHooks* hooks);
// Finds or opens the stream, makes `owner` (a texture id) its owner and starts it with the six
// parameters. `flags` is the callers' own word (0 from the animations).
void MediaStreamClaim(int32_t streamId, int32_t owner, const int32_t params[6], int32_t flags);
// Stops the stream when `owner` holds it; detaches it from `owner` in every case.
void MediaStreamRelease(int32_t streamId, int32_t owner);
// The stream's flag word and owner; false when no stream has that id or no movie layer exists.
bool MediaStreamState(int32_t streamId, uint32_t* flags, int32_t* owner);

// Transforms.
void UvTransformInit(UvTransform* t, int32_t u, int32_t v);
void UvTransformInitAt(UvTransform* t, int32_t su, int32_t u, int32_t v, int32_t sv);
void UvTransformScale(UvTransform* t, int32_t su, int32_t sv);
void UvTransformRotation(UvTransform* t, float angle);

// Definitions: the "Animations" type file, or a section a reader is already over.
void ReadTextureAnimations();
void ReadTextureAnimationSection(DataReader* reader);
void FreeTextureAnimations();
// Gives the textures of animation `anim` (first, last and every frame's) the flag word `flags`
// (with 0: the material flags of the first of them that has a material record, kept for the
// rest) and loads them. Nothing for an index without a definition.
void PreloadAnimationTextures(int32_t anim, uint32_t flags);

// n zeroed states, state i from element i of each array (any array may be null); an id with bit
// 31 set makes an immediate state. Null when memory runs out or n is below 1.
TexAnimState* TexAnimCreateRecords(int32_t n, const int32_t* ids, const int32_t* uvStarts, const int32_t* uvEnds,
                                   const int32_t* periods, const int32_t* centres, const int32_t* spinPeriods);
void TexAnimFreeRecords(int32_t n, TexAnimState* states);
void TexAnimValue(TexAnimState* state);
// Advances the states to the game time; true when one of them reached its end on this call.
bool TexAnimUpdate(int32_t n, TexAnimState* states);
// Steps the first state of definition `id` (a natives-driven kind) to `index`; its texture, or 0.
int32_t TexAnimFindRecord(int32_t id, int32_t n, TexAnimState* states, int32_t index);
void InstTexAnimRecompute(int32_t n, TexAnimState* states, int32_t cell);
void InstTexAnimRebase(int32_t n, TexAnimState* states, int32_t cell, int32_t cellCount);

// Save games: n 100-byte records, an immediate state's texture name after its record. Save
// answers false when a record cannot be written whole; load answers null on any bad record.
bool SaveTexAnimStates(int32_t n, FileObject* file, const TexAnimState* states);
TexAnimState* LoadTexAnimStates(int32_t n, FileObject* file);
