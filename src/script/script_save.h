// The script state section of a save game: the loaded compiled script's name and revision, the
// registries' key counters, every string object, array, table and instance under its id, the
// static variables of every class record and every task with its value stack; and reading it
// back, including saves from an older revision of the compiled script (patch mode). Called by
// the save-game container. Saves store ids, never pointers; a section that does not fit the
// loaded script fails the read cleanly, never with a read or write outside a block.
#pragma once

#include <cstdint>

#include "script/engine.h"

struct FileObject;

constexpr uint32_t kScriptStateVersion = 4;
constexpr uint32_t kScriptStateNameLimit = 1000;

bool WriteScriptState(FileObject* stream);
bool ReadScriptState(FileObject* stream);

// One saved value: a type byte and its payload. Doubles travel as 16.16 fixed point and 64-bit
// integers as their low 32 bits. The write is false only when the stream refuses bytes; the read
// is false for a short stream or an id that names no array, table, object or string object.
bool WriteSavedValue(FileObject* stream, const ScriptValue* value);
bool ReadSavedValue(FileObject* stream, ScriptValue* slot);

// Stack slots a task's active frames need under the loaded code.
uint32_t TaskStackNeed(ScriptTask* task);

// The reader loads the compiled script by the saved name through this loader (LoadScriptStore
// unless replaced). The game main installs one that loads its save-or-story name instead when
// that is set (the script engine does not reach the game main's options); tests install one
// that loads assembled bytes. Null restores the default.
using ScriptStoreLoader = bool (*)(ScriptEngine* engine, const char* name);
void SetScriptStateLoader(ScriptStoreLoader loader);
