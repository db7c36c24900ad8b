// The least form of the movie module that the application core needs until the devices are
// built: a module record with no movie, and an empty but well-formed "MOVI" save section.
// Called by the game main, the game loop, the save container and the shutdown; never opens a
// media stream. It registers its stream list with the texture animations so the renderer's
// movie textures reach this module; with no movie records yet a claim finds and opens nothing.
#include "devices/movie.h"

#include <cstring>

#include "core/file_object.h"
#include "render/texture_animation.h"

struct MovieState {
  uint32_t moduleIndex;
};

MovieState* gMovieState = nullptr;

namespace {

MovieState gMovieRecord;

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && std::memcmp(got, tag, 4) == 0;
}

void OpenStream(int32_t id, uint32_t kind) { MovieOpen(id, kind); }
void ConnectStream(int32_t id, int32_t slot) { MovieConnectTexture(id, slot); }
void PlayStream(int32_t id, const int32_t params[6]) { MOV_PlayMovie(id, params); }
void StopStream(int32_t id) { MOV_StopMovie(id); }
void DisconnectStream(int32_t id, int32_t slot) { MovieDisconnectTexture(id, slot); }

constexpr MediaStreamHooks kMovieHooks = {MovieFindStream, OpenStream, ConnectStream,
                                          PlayStream,      StopStream, DisconnectStream};

}  // namespace

MovieState* InitMovieModule() {
  gMovieState = &gMovieRecord;
  TexAnimSetMediaHooks(&kMovieHooks);
  return gMovieState;
}

void UpdateMovies() {}
void StopAllMovies() {}
Movie* FirstMovie() { return nullptr; }
Movie* NextMovie(Movie*) { return nullptr; }
void MovieRelease(Movie*) {}
void MOV_FreeVoiceInfo() {}
bool MovieFindStream(int32_t, uint32_t*, int32_t*) { return false; }
Movie* MovieOpen(int32_t, uint32_t) { return nullptr; }
int32_t MovieConnectTexture(int32_t, int32_t) { return 0; }
int32_t MOV_PlayMovie(int32_t, const int32_t*) { return 0; }
int32_t MOV_StopMovie(int32_t) { return 0; }
int32_t MovieDisconnectTexture(int32_t, int32_t) { return 0; }
void ShutdownMovieModule() {
  TexAnimSetMediaHooks(nullptr);
  gMovieState = nullptr;
}

int32_t WriteMovieState(FileObject* file) {
  return FileWriteBytes(file, "MOVI", 4) == 4 && FileWriteBytes(file, "/MOV", 4) == 4;
}

int32_t ReadMovieState(FileObject* file) { return ReadTag(file, "MOVI") && ReadTag(file, "/MOV"); }
