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
// The renderer's claim and release of a movie for a texture (registered with the texture
// animations at start-up): the stream `streamId` plays for `owner` with the six start and end
// values; the release stops it when that owner holds it.
void MovieClaimStream(int32_t streamId, int32_t owner, const int32_t params[6], int32_t flags);
void MovieReleaseStream(int32_t streamId, int32_t owner);
// Frees the loaded voice information table.
void MOV_FreeVoiceInfo();
void ShutdownMovieModule();
// The "MOVI" ... "/MOV" save section; non-zero on success.
int32_t WriteMovieState(FileObject* file);
int32_t ReadMovieState(FileObject* file);
