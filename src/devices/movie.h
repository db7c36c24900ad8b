// The movie module as the application core uses it: start-up (MOV_ module), the per-frame
// update, stopping every movie, the "MOVI" save section and the shutdown. Called by the game
// main, the game loop, the save container and the shutdown.
#pragma once

#include <cstdint>

struct FileObject;
struct MovieState;

extern MovieState* gMovieState;

MovieState* InitMovieModule();
void UpdateMovies();
void StopAllMovies();
void ShutdownMovieModule();
// The "MOVI" ... "/MOV" save section; non-zero on success.
int32_t WriteMovieState(FileObject* file);
int32_t ReadMovieState(FileObject* file);
