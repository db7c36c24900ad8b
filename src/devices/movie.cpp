// The movie module: movie records over media streams, the play protocol and its owner reports,
// the per-frame update, the voice-line tables read from the voice XML files, and the MOV_
// natives. Called by the game main, the game loop, the script reset, the save container, the
// renderer's movie-texture hooks and the SFX_ volume setters. Every walk of the record list keeps
// its next record before it acts, because telling an owner or releasing may free the current
// one; a script value never indexes the voice tables outside 0..998.
#include "devices/movie.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/media_stream.h"
#include "devices/sound_module.h"
#include "render/texture_animation.h"
#include "render/texture_table.h"
#include "script/engine.h"
#include "script/tasks.h"

MovieState* gMovieState = nullptr;

const char* const kMOVNativeNames[] = {
    "MOV_LoadMovie",     "MOV_PlayMovie",     "MOV_FreeMovie",      "MOV_StopMovie",
    "MOV_ConnectMovieToTexture", "MOV_PlayMovieFrom", "MOV_PlayMovieVoice", "MOV_SetRateMovie",
    "MOV_SetVolumeMovie", "MOV_LoadVoiceInfo", "MOV_FreeVoiceInfo", "MOV_GetVoiceStart",
    "MOV_GetVoiceLength", "MOV_GetVoiceStream", nullptr,
};

namespace {

constexpr int32_t kMovieSlotIntro = 66;  // ids 1 and 3
constexpr int32_t kMovieSlotSmall = 61;  // id 2
constexpr uint32_t kKindVideoOnly = kMediaKindNoAudio;
constexpr uint32_t kKindVoiceAudio = kMediaKindVoice | kMediaKindAudioOnly;

bool ValidLanguage(int32_t language) { return language >= 0 && language < kVoiceLanguageCount; }

void Tell(int32_t module, int32_t handle, int32_t value) {
  if (module != 0) ModuleResumeInt(module, value, static_cast<uint32_t>(handle));
}

// Takes the owner off the record before telling it: the owner may play this id again at once.
void TellOwner(MovieRecord* movie, int32_t value) {
  const int32_t module = movie->ownerModule;
  const int32_t handle = movie->ownerHandle;
  movie->ownerModule = movie->ownerHandle = 0;
  Tell(module, handle, value);
}

// Whether the record is still on the list: a told owner may have released any record meanwhile.
// Compares addresses only; a released record is never read.
bool Listed(const MovieRecord* movie) {
  for (const MovieRecord* m = gMovieState ? gMovieState->first : nullptr; m && movie; m = m->next)
    if (m == movie) return true;
  return false;
}

void Unlink(MovieState* state, MovieRecord* movie) {
  if (movie->previous) movie->previous->next = movie->next;
  else state->first = movie->next;
  if (movie->next) movie->next->previous = movie->previous;
  else state->last = movie->previous;
  movie->next = movie->previous = nullptr;
}

int32_t StreamVolumeFor(uint32_t kind) {
  if (!gSystem) return -1;
  if (kind & kMediaKindVoice) return static_cast<int16_t>(gSystem->voiceVolume);
  if (kind & kMediaKindMusic) return static_cast<int32_t>(gSystem->musicVolume);
  return -1;
}

// Voice lines are kept as start << 32 | length in the line table's value.
HashValue PackLine(int32_t start, int32_t length) {
  return (HashValue(uint32_t(start)) << 32) | HashValue(uint32_t(length));
}
int32_t LineStart(HashValue packed) { return int32_t(uint32_t(packed >> 32)); }
int32_t LineLength(HashValue packed) { return int32_t(uint32_t(packed & 0xFFFFFFFFu)); }

VoicePage* FindPage(int32_t language, int32_t page) {
  if (!gMovieState || !ValidLanguage(language) || !gMovieState->voices[language]) return nullptr;
  return reinterpret_cast<VoicePage*>(HashGet(gMovieState->voices[language], uint32_t(page)));
}

const HashEntry* FindLine(int32_t language, int32_t page, int32_t line) {
  const VoicePage* voicePage = FindPage(language, page);
  const uint32_t key = uint32_t(line) + 1;
  return voicePage && key != 0 ? HashLookup(voicePage->lines, key) : nullptr;
}

void FreeVoiceTable(HashTable* table) {
  if (!table) return;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    auto* page = reinterpret_cast<VoicePage*>(HashGet(table, key));
    if (!page) continue;
    HashDestroy(page->lines);
    MemFreeIfSet(page);
  }
  HashDestroy(table);
}

VoicePage* PageFor(HashTable* table, int32_t pageId, int32_t stream) {
  if (auto* page = reinterpret_cast<VoicePage*>(HashGet(table, uint32_t(pageId)))) return page;
  auto* page = static_cast<VoicePage*>(MemCalloc(sizeof(VoicePage)));
  if (!page) return nullptr;
  page->stream = stream;
  page->lines = HashCreate();
  if (!page->lines || !HashInsert(table, uint32_t(pageId), reinterpret_cast<HashValue>(page))) {
    HashDestroy(page->lines);
    MemFreeIfSet(page);
    return nullptr;
  }
  return page;
}

bool IsElement(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

void ReadPage(VoicePage* page, const xmlNode* pageNode) {
  for (const xmlNode* t = pageNode->children; t; t = t->next) {
    if (!IsElement(t, "t")) continue;
    xmlNode* line = const_cast<xmlNode*>(t);
    const uint32_t key = uint32_t(XmlGetPropInt(line, "id", 0)) + 1;
    // The first line of an id wins; id -1 would make the key no table accepts.
    if (key == 0 || HashLookup(page->lines, key)) continue;
    HashInsert(page->lines, key, PackLine(XmlGetPropInt(line, "s", 0), XmlGetPropInt(line, "l", 0)));
  }
}

bool ReadLanguage(MovieState* state, const xmlNode* languageNode) {
  xmlNode* node = const_cast<xmlNode*>(languageNode);
  const int32_t language = XmlGetPropInt(node, "id", 0);
  if (language <= 0 || !ValidLanguage(language)) return true;
  HashTable*& table = state->voices[language];
  if (!table && !(table = HashCreate())) return false;
  for (const xmlNode* p = languageNode->children; p; p = p->next) {
    if (!IsElement(p, "page")) continue;
    xmlNode* pageNode = const_cast<xmlNode*>(p);
    VoicePage* page = PageFor(table, XmlGetPropInt(pageNode, "id", 0), XmlGetPropInt(pageNode, "stream", 0));
    if (!page) return false;
    ReadPage(page, p);
  }
  return true;
}

bool ReadLanguages(MovieState* state, const xmlNode* node) {
  for (; node; node = node->next) {
    if (IsElement(node, "language")) {
      if (!ReadLanguage(state, node)) return false;
    } else if (node->type == XML_ELEMENT_NODE && !ReadLanguages(state, node->children)) {
      return false;
    }
  }
  return true;
}

}  // namespace

uint32_t MovieKindForId(int32_t id, int32_t* textureSlot) {
  int32_t slot = 0;
  uint32_t kind = 0;
  switch (id) {
    case 1:
    case 3: slot = kMovieSlotIntro; kind = kKindVideoOnly; break;
    case 2: slot = kMovieSlotSmall; kind = kKindVideoOnly; break;
    case 144:
    case 149: kind = kKindVoiceAudio; break;
    case 800:
    case 10001: kind = kKindVideoOnly; break;
    case 810:
    case 811: kind = kMediaKindVoice; break;
    default: kind = id >= 101 && id <= 999 ? kKindVoiceAudio : 0; break;
  }
  if (textureSlot) *textureSlot = slot;
  return kind;
}

// The renderer's movie textures reach the records through these (registered at start-up): a
// texture that claims a stream becomes its owner through the texture slot and the connected mark,
// and plays it from the six values (start min, s, ms, end min, s, ms) with nobody told of its end.
bool MovieFindStream(int32_t id, uint32_t* flags, int32_t* slot) {
  const MovieRecord* movie = FindMovie(id);
  if (!movie) return false;
  *flags = movie->flags;
  *slot = movie->textureSlot;
  return true;
}

namespace {

void OpenStream(int32_t id, uint32_t kind) { MovieOpen(id, kind); }

void ConnectStream(int32_t id, int32_t slot) { MovieConnectTexture(FindMovie(id), slot); }

void PlayStream(int32_t id, const int32_t params[6]) {
  const int32_t zero[6] = {};
  const int32_t* p = params ? params : zero;
  const int32_t start = (p[0] * 60 + p[1]) * 1000 + p[2];
  const int32_t end = (p[3] * 60 + p[4]) * 1000 + p[5];
  if (id >= 0) MoviePlay(0, 0, id, start, end, false);
}

void StopStream(int32_t id) { MovieStop(id); }
void DisconnectStream(int32_t id, int32_t slot) { MovieDisconnectTexture(id, slot); }

constexpr MediaStreamHooks kMovieHooks = {MovieFindStream, OpenStream, ConnectStream,
                                          PlayStream,      StopStream, DisconnectStream};

}  // namespace

MovieState* InitMovieModule() {
  if (gMovieState) ShutdownMovieModule();
  auto* state = static_cast<MovieState*>(MemCalloc(sizeof(MovieState)));
  if (!state) return nullptr;
  state->languages = HashCreate();
  if (!state->languages) {
    MemFreeIfSet(state);
    return nullptr;
  }
  state->moduleIndex =
      gScriptEngine ? RegisterNativeModule(gScriptEngine, MOV_Dispatch, kMOVNativeNames, nullptr, nullptr, nullptr) : 0;
  gMovieState = state;
  TexAnimSetMediaHooks(&kMovieHooks);
  return state;
}

void ShutdownMovieModule() {
  MovieState* state = gMovieState;
  if (!state) return;
  TexAnimSetMediaHooks(nullptr);
  while (state->first) MovieRelease(state->first);
  MOV_FreeVoiceInfo();
  HashDestroy(state->languages);
  gMovieState = nullptr;
  MemFreeIfSet(state);
}

MovieRecord* FirstMovie() { return gMovieState ? gMovieState->first : nullptr; }
MovieRecord* NextMovie(MovieRecord* movie) { return movie ? movie->next : nullptr; }

MovieRecord* FindMovie(int32_t id) {
  for (MovieRecord* movie = FirstMovie(); movie; movie = movie->next)
    if (movie->id == id) return movie;
  return nullptr;
}

MovieRecord* MovieOpen(int32_t id, uint32_t kind) {
  MovieState* state = gMovieState;
  if (!state) return nullptr;
  int32_t slot = 0;
  const uint32_t chosen = MovieKindForId(id, &slot);
  if (kind == 0) kind = chosen;
  auto* movie = static_cast<MovieRecord*>(MemCalloc(sizeof(MovieRecord)));
  if (!movie) return nullptr;
  movie->stream = OpenMediaStream(id, kind);
  if (!movie->stream) {
    MemFreeIfSet(movie);
    return nullptr;
  }
  movie->flags = movie->stream->kind | (slot ? kMovieConnected : 0);
  movie->textureSlot = slot;
  movie->next = state->first;
  if (state->first) state->first->previous = movie;
  else state->last = movie;
  state->first = movie;
  const int32_t volume = StreamVolumeFor(movie->stream->kind);
  if (volume >= 0) SetMediaStreamVolume(movie->stream, ClampVolume(volume));
  movie->flags &= ~kMovieRunning;
  movie->id = id;
  return movie;
}

void MovieRelease(MovieRecord* movie) {
  if (!movie) return;
  TellOwner(movie, 1);
  // Telling the owner may have run a script that released this record already; only a record
  // still on the list is freed here.
  if (!Listed(movie)) return;
  Unlink(gMovieState, movie);
  ReleaseMediaStream(movie->stream);
  MemFreeIfSet(movie);
}

void MovieConnectTexture(MovieRecord* movie, int32_t slot) {
  if (!movie) return;
  movie->textureSlot = slot;
  movie->flags |= kMovieConnected;
}

int32_t MovieDisconnectTexture(int32_t id, int32_t slot) {
  MovieRecord* movie = FindMovie(id);
  if (!movie || !(movie->flags & kMovieConnected) || movie->textureSlot != slot) return 0;
  movie->textureSlot = 0;
  movie->texture = nullptr;
  if (movie->stream) movie->stream->texture = nullptr;
  movie->flags &= ~kMovieConnected;
  return 1;
}

int32_t MoviePlay(int32_t module, int32_t handle, int32_t id, int32_t start, int32_t end, bool loop) {
  MovieRecord* movie = FindMovie(id);
  if (!movie) {
    MovieOpen(id, 0);
    movie = FindMovie(id);
  }
  if (!movie || !movie->stream || !StartMediaStream(movie->stream, start < 0 ? 0 : start)) {
    Tell(module, handle, 0);
    return 0;
  }
  movie->stream->endPosition = end > 0 ? end : -1;
  if (!RunMediaStream(movie->stream)) {
    MovieRelease(movie);
    Tell(module, handle, 0);
    return 0;
  }
  movie->start = start;
  movie->end = end;
  movie->flags = (movie->flags & ~kMovieLoops) | kMovieRunning | (loop ? kMovieLoops : 0);
  if (movie->ownerModule != 0) TellOwner(movie, 1);
  movie->ownerModule = module;
  movie->ownerHandle = handle;
  return 1;
}

int32_t MovieStop(int32_t id) {
  MovieRecord* movie = FindMovie(id);
  if (!movie) return 0;
  StopMediaStream(movie->stream);
  movie->flags &= ~kMovieRunning;
  TellOwner(movie, 1);
  return 1;
}

void MovieSetKindVolume(uint32_t kind, int32_t volume) {
  volume = ClampVolume(volume);
  for (MovieRecord* movie = FirstMovie(); movie; movie = movie->next)
    if (movie->stream && (movie->stream->kind & kind)) SetMediaStreamVolume(movie->stream, volume);
}

void UpdateMovies() {
  for (MovieRecord* movie = FirstMovie(); movie;) {
    MovieRecord* next = movie->next;
    if (!(movie->flags & kMovieRunning) || !movie->stream) {
      movie = next;
      continue;
    }
    if (movie->flags & kMovieConnected) movie->texture = TextureGetLoaded(movie->textureSlot);
    movie->stream->texture = (movie->flags & kMovieConnected) ? movie->texture : nullptr;
    const int32_t result = UpdateMediaStream(movie->stream);
    if (result == kMediaUpdateGoesOn) {
      GetMediaStreamPosition(movie->stream);
    } else if (result == kMediaUpdateEnded) {
      if (movie->flags & kMovieLoops) {
        StartMediaStream(movie->stream, movie->start);
        if (movie->end > 0) movie->stream->endPosition = movie->end;
      } else if (movie->id != 0) {
        movie->flags &= ~kMovieRunning;
        TellOwner(movie, 1);
      }
    } else {
      if (movie->id != 0) movie->flags &= ~kMovieRunning;
      MovieRelease(movie);
    }
    // The owner's script may have released the next record too; the rest wait for the next frame.
    movie = Listed(next) ? next : nullptr;
  }
}

void StopAllMovies() {
  for (MovieRecord* movie = FirstMovie(); movie;) {
    MovieRecord* next = movie->next;
    if (movie->flags & kMovieRunning) {
      StopMediaStream(movie->stream);
      if (movie->stream) movie->stream->finished = 1;
      movie->flags &= ~kMovieRunning;
      TellOwner(movie, 1);
    }
    movie = Listed(next) ? next : nullptr;
  }
}


// ---------------------------------------------------------------------------------------------
// Voice lines.

int32_t ParseVoiceInfo(const char* bytes, uint32_t size) {
  MovieState* state = gMovieState;
  if (!state || !bytes) return 0;
  xmlDocPtr document = XmlReadMemoryN(bytes, size, "voice");
  if (!document) return 0;
  const bool ok = ReadLanguages(state, xmlDocGetRootElement(document));
  XmlFreeDoc(document);
  return ok ? 1 : 0;
}

int32_t MOV_LoadVoiceInfo(int32_t language) {
  MovieState* state = gMovieState;
  if (!state || !ValidLanguage(language)) return 0;
  char number[16];
  std::snprintf(number, sizeof number, "%05d", language);
  const char* folder = gSystem && gSystem->product && gSystem->product->movieTemplate
                           ? gSystem->product->movieTemplate
                           : "mov\\%s";
  char name[256];
  std::snprintf(name, sizeof name, folder, number);
  char* text = LoadGameFile(name, "pck xml", false);
  if (!text) return 0;
  const uint32_t size = gLastReadSize;
  const int32_t ok = ParseVoiceInfo(text, size);
  MemFree(text, size, 0);
  if (ok) HashInsert(state->languages, uint32_t(language) + 1, 1);
  return ok;
}

void MOV_FreeVoiceInfo() {
  MovieState* state = gMovieState;
  if (!state) return;
  for (HashTable*& table : state->voices) {
    FreeVoiceTable(table);
    table = nullptr;
  }
  if (state->languages) {
    HashDestroy(state->languages);
    state->languages = HashCreate();
  }
}

int32_t MOV_GetVoiceStart(int32_t language, int32_t page, int32_t line) {
  const HashEntry* entry = FindLine(language, page, line);
  return entry ? LineStart(entry->value) : -1;
}

int32_t MOV_GetVoiceLength(int32_t language, int32_t page, int32_t line) {
  const HashEntry* entry = FindLine(language, page, line);
  return entry ? LineLength(entry->value) : -1;
}

int32_t MOV_GetVoiceStream(int32_t language, int32_t page) {
  const VoicePage* voicePage = FindPage(language, page);
  return voicePage ? voicePage->stream : -1;
}

// ---------------------------------------------------------------------------------------------
// The natives.

namespace {

int32_t Arg(const ScriptValue* args, int32_t argCount, int32_t k) { return k < argCount && args ? args[k].i : 0; }

int32_t Answer(ScriptTask* task, int32_t value) {
  ReturnInt(task, gScriptEngine, value);
  return 1;
}

int32_t Ms(int32_t minutes, int32_t seconds, int32_t ms) {
  return int32_t((int64_t(minutes) * 60 + seconds) * 1000 + ms);
}

int32_t PlayVoice(int32_t module, int32_t handle, int32_t id, int32_t language, int32_t page, int32_t line) {
  const HashEntry* entry = FindLine(language, page, line);
  if (!entry) {
    Tell(module, handle, 0);
    return 0;
  }
  const int32_t start = LineStart(entry->value);
  if (!MoviePlay(module, handle, id, start, start + LineLength(entry->value), false)) return 0;
  if (MovieRecord* movie = FindMovie(id)) {
    movie->voiceLanguage = language;
    movie->voicePage = page;
    movie->voiceId = line;
  }
  return 1;
}

}  // namespace

int32_t MOV_Dispatch(int32_t seModuleIndex, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  return DispatchMOVNative(seModuleIndex, task, function, argCount, args);
}

int32_t DispatchMOVNative(int32_t module, ScriptTask* task, int32_t function, int32_t argCount, ScriptValue* args) {
  if (!gMovieState) return Answer(task, 0);
  int32_t a[7];
  for (int32_t k = 0; k < 7; ++k) a[k] = Arg(args, argCount, k);
  const int32_t handle = task->id;
  MovieRecord* movie = function == 0 || function == 2 || function == 4 || function == 7 || function == 8
                           ? FindMovie(a[0])
                           : nullptr;
  switch (function) {
    case 0: return Answer(task, movie || MovieOpen(a[0], uint32_t(a[1])) ? 1 : 0);
    case 1:
      if (a[0] < 0) return Answer(task, 0);
      MoviePlay(module, handle, a[0], 0, 0, false);
      return 1;
    case 2:
      if (!movie || !movie->stream) return Answer(task, 0);
      MovieRelease(movie);
      return Answer(task, 1);
    case 3: return Answer(task, MovieStop(a[0]));
    case 4:
      if (!movie) return Answer(task, 0);
      MovieConnectTexture(movie, a[1]);
      return Answer(task, 1);
    case 5:
      if (a[0] < 0) return Answer(task, 0);
      MoviePlay(module, handle, a[0], Ms(a[1], a[2], a[3]), Ms(a[4], a[5], a[6]), false);
      return 1;
    case 6:
      if (a[0] < 0) return Answer(task, 0);
      PlayVoice(module, handle, a[0], a[1], a[2], a[3]);
      return 1;
    case 7: return Answer(task, movie ? SetMediaStreamRate(movie->stream, a[1]) : 0);
    case 8: return Answer(task, movie ? SetMediaStreamVolume(movie->stream, ClampVolume(a[1])) : 0);
    case 9: return Answer(task, MOV_LoadVoiceInfo(a[0]));
    case 10: MOV_FreeVoiceInfo(); return Answer(task, 0);
    case 11: return Answer(task, MOV_GetVoiceStart(a[0], a[1], a[2]));
    case 12: return Answer(task, MOV_GetVoiceLength(a[0], a[1], a[2]));
    case 13: return Answer(task, MOV_GetVoiceStream(a[0], a[1]));
    default: return Answer(task, 0);
  }
}
