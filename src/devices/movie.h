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
// Frees the loaded voice information table.
void MOV_FreeVoiceInfo();
void ShutdownMovieModule();
// The "MOVI" ... "/MOV" save section; non-zero on success.
int32_t WriteMovieState(FileObject* file);
int32_t ReadMovieState(FileObject* file);
