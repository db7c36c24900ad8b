// Paths, folders and directory search as the game sees them: game paths with "\", the user data
// folder (documents folder, "Korvane", the product folder), folder creation, the current folder,
// the product disc, and folder searches whose record is accounted. Called by the file layer,
// catalogs, the launcher, saves and script natives. Every path string handed out is an
// accounted string the caller frees with FreeString; nothing here ever consults the catalogs
// to open a file.
#pragma once

#include <cstdint>

#include "platform/os.h"

// The accounted directory search record.
struct FileSearch {
  intptr_t handle;
  OsFindData data;  // holds the current entry's name
  uint32_t firstPending;
};

char* MakeFilePath(const char* name, int inUserFolder);
char* GetUserDataFolder();
int MakeDirectory(const char* name, int inUserFolder);
int SetCurrentDir(const char* path);
char* FindDiscDrive();

FileSearch* OpenFileSearch(const char* pattern, const char* folder, int inUserFolder);
const char* NextFileSearch(FileSearch* search);
void CloseFileSearch(FileSearch* search);
