// The movie module as the application core uses it: start-up (MOV_ module), the per-frame
// update, stopping every movie, the "MOVI" save section and the shutdown. Called by the game
// main, the game loop, the save container and the shutdown.
#pragma once

#include <cstdint>

struct FileObject;
struct MovieState;
struct Movie;

extern MovieState* gMovieState;

MovieState* InitMovieModule();
void UpdateMovies();
void StopAllMovies();
// The movies of the module's list, in order; none after the last.
Movie* FirstMovie();
Movie* NextMovie(Movie* movie);
// Tells the movie's owner that it ends and frees its media stream.
void MovieRelease(Movie* movie);
// The stream list as the renderer's movie textures use it (registered with the texture
// animations at start-up). The movie record's flag word and texture slot (its owner); false
// when no record has the id.
bool MovieFindStream(int32_t id, uint32_t* flags, int32_t* slot);
// A new record for the stream, linked into the list, or null; kind 0 is chosen by the id.
Movie* MovieOpen(int32_t id, uint32_t kind);
// Connects the record to a texture slot; 1, or 0 when the id is unknown.
int32_t MovieConnectTexture(int32_t id, int32_t slot);
// Starts the stream with the six start and end values.
int32_t MOV_PlayMovie(int32_t id, const int32_t params[6]);
int32_t MOV_StopMovie(int32_t id);
// Clears the slot and the connected flag when the record is connected to that slot; 1 then.
int32_t MovieDisconnectTexture(int32_t id, int32_t slot);
// Frees the loaded voice information table.
void MOV_FreeVoiceInfo();
void ShutdownMovieModule();
// The "MOVI" ... "/MOV" save section; non-zero on success.
int32_t WriteMovieState(FileObject* file);
int32_t ReadMovieState(FileObject* file);
