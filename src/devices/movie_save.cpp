// The "MOVI" save section: the open movie records (ten words each, most recently opened first),
// the voice languages loaded, then "/MOV". Called by the save container, after the movies were
// stopped, so no record runs and no owner is carried over. Reading opens records again under
// the current sound language and connects their textures; it never starts one, and it opens
// nothing before every record the section names has been read.
#include <cstring>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"

namespace {

constexpr char kMovieTag[] = "MOVI";
constexpr char kMovieEndTag[] = "/MOV";
constexpr size_t kTagSize = 4;
constexpr int kRecordWords = 10;

// Voice streams are numbered 100 + language.
constexpr int32_t kFirstVoiceStream = 101;
constexpr int32_t kLastVoiceStream = 199;
constexpr int32_t kVoiceStreamBase = 100;
constexpr int32_t kFallbackLanguage = 44;

// The words of a saved record that reading uses.
struct SavedMovie {
  int32_t id;
  int32_t textureSlot;
};

int32_t CurrentSoundLanguage() {
  if (gScriptSound) return gScriptSound->language;
  return gSystem ? static_cast<int32_t>(gSystem->language) : kFallbackLanguage;
}

bool WriteWord(FileObject* file, int32_t word) { return FileWriteInt32BE(file, static_cast<uint32_t>(word)); }

bool WriteRecord(FileObject* file, const MovieRecord* movie) {
  const int32_t words[kRecordWords] = {movie->id,    movie->ownerHandle, movie->ownerModule,
                                       movie->start, movie->end,         static_cast<int32_t>(movie->flags),
                                       movie->textureSlot, movie->voiceLanguage, movie->voicePage,
                                       movie->voiceId};
  for (const int32_t word : words) {
    if (!WriteWord(file, word)) return false;
  }
  return true;
}

bool ReadWord(FileObject* file, uint32_t* word) {
  unsigned char bytes[4];
  if (FileReadBytes(file, bytes, sizeof bytes) != sizeof bytes) return false;
  *word = LoadBE32(bytes);
  return true;
}

bool ReadTagIs(FileObject* file, const char* tag) {
  char bytes[kTagSize];
  return FileReadBytes(file, bytes, kTagSize) == kTagSize && std::memcmp(bytes, tag, kTagSize) == 0;
}

// The records as saved; the list only grows with records that were really there, so a count
// larger than the section costs no more than the bytes that follow it.
bool ReadRecords(FileObject* file, std::vector<SavedMovie>* saved) {
  uint32_t count = 0;
  if (!ReadWord(file, &count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t words[kRecordWords];
    for (uint32_t& word : words) {
      if (!ReadWord(file, &word)) return false;
    }
    saved->push_back({static_cast<int32_t>(words[0]), static_cast<int32_t>(words[6])});
  }
  return true;
}

// Whether any language entry was saved; the entries' words say nothing the reader uses.
bool ReadLanguages(FileObject* file, bool* any) {
  uint32_t count = 0;
  if (!ReadWord(file, &count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t word = 0;
    if (!ReadWord(file, &word)) return false;
  }
  *any = count != 0;
  return true;
}

// A voice stream of any language plays in the current one.
int32_t CurrentId(int32_t id, int32_t language) {
  return id >= kFirstVoiceStream && id <= kLastVoiceStream ? kVoiceStreamBase + language : id;
}

}  // namespace

int32_t WriteMovieState(FileObject* file) {
  const MovieState* state = gMovieState;
  if (!state) return 0;
  uint32_t records = 0;
  for (const MovieRecord* movie = state->first; movie; movie = movie->next) ++records;
  if (FileWriteBytes(file, kMovieTag, kTagSize) != kTagSize || !FileWriteInt32BE(file, records)) return 0;
  for (const MovieRecord* movie = state->first; movie; movie = movie->next) {
    if (!WriteRecord(file, movie)) return 0;
  }
  const HashTable* languages = state->languages;
  if (!FileWriteInt32BE(file, languages ? HashCount(languages) : 0)) return 0;
  // The table is keyed by language + 1; the language itself is written.
  for (uint32_t key = languages ? HashNextKey(languages, 0) : 0; key != 0; key = HashNextKey(languages, key)) {
    if (!FileWriteInt32BE(file, key - 1)) return 0;
  }
  return FileWriteBytes(file, kMovieEndTag, kTagSize) == kTagSize ? 1 : 0;
}

int32_t ReadMovieState(FileObject* file) {
  if (!ReadTagIs(file, kMovieTag)) return 0;
  std::vector<SavedMovie> saved;
  bool voices = false;
  if (!ReadRecords(file, &saved) || !ReadLanguages(file, &voices)) return 0;
  const int32_t language = CurrentSoundLanguage();
  // Opened from the oldest on: each opening goes to the front, so the list comes back in the
  // order it was saved in.
  for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
    const int32_t id = CurrentId(it->id, language);
    MovieRecord* movie = FindMovie(id);
    if (!movie) movie = MovieOpen(id, 0);
    if (movie && it->textureSlot != 0) MovieConnectTexture(movie, it->textureSlot);
  }
  // Loading one language again changes nothing, so every saved entry is served by one load.
  if (voices && !MOV_LoadVoiceInfo(language) && language != kFallbackLanguage) MOV_LoadVoiceInfo(kFallbackLanguage);
  return ReadTagIs(file, kMovieEndTag) ? 1 : 0;
}
