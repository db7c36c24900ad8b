// The user's registry: a tree of named keys holding typed values (text, 32-bit number, bytes),
// kept as one XML file under the user's configuration folder. The settings and the profile
// values of the application, and the registered-owner lookup, are its callers. It never crashes
// on a damaged file (a file that does not parse is an empty registry) and never replaces the
// last good file with a partly written one.
#pragma once

#include <cstdint>

// Value types, numbered as the stored settings expect them.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// Answers of the registry calls.
constexpr int32_t kRegOk = 0;
constexpr int32_t kRegNotFound = 2;
constexpr int32_t kRegAccessDenied = 5;
constexpr int32_t kRegInvalidParameter = 87;
constexpr int32_t kRegMoreData = 234;
constexpr int32_t kRegWriteFailed = 29;

// Access wanted by an open.
constexpr uint32_t kRegKeyRead = 0x20019;
constexpr uint32_t kRegKeyWrite = 0x20006;

// A value may hold at most this many bytes; a key path at most kRegMaxPath characters.
constexpr uint32_t kRegMaxValueSize = 1u << 20;
constexpr uint32_t kRegMaxPath = 1024;

struct RegistryKey;

// Keys are paths below the current user's root, components separated by "\", compared without
// regard to case. RegistryCreateKey creates every missing component; RegistryOpenKey answers
// kRegNotFound for a key that does not exist. Each opened key is closed with RegistryCloseKey,
// which writes the file when the key changed something; its answer is kRegWriteFailed when that
// write failed (the previous file is then untouched).
int32_t RegistryCreateKey(const char* path, RegistryKey** key);
int32_t RegistryOpenKey(const char* path, uint32_t access, RegistryKey** key);
int32_t RegistryCloseKey(RegistryKey* key);

// Reads a value. type and size may be null. On entry *size is the room in data; on return it is
// the value's size in bytes. When data is null or the room is too small, the answer is
// kRegMoreData (kRegOk for an empty value) with *size set to the size needed, and data is left
// alone. A missing key or value answers kRegNotFound.
int32_t RegistryQueryValue(RegistryKey* key, const char* name, uint32_t* type, void* data, uint32_t* size);

// Writes (creates or replaces) a value with exactly the bytes given; the key must have been
// opened for writing. Text values are stored as given, with or without their terminating NUL.
int32_t RegistrySetValue(RegistryKey* key, const char* name, uint32_t type, const void* data, uint32_t size);

// Removes one value of a key opened for writing.
int32_t RegistryDeleteValue(RegistryKey* key, const char* name);

// Removes the sub-key named subKey of parent (null parent: the root) and its values, and writes
// the file. A key that still has sub-keys of its own is not removed (kRegAccessDenied), so a
// delete never takes more than the one key it names.
int32_t RegistryDeleteKey(RegistryKey* parent, const char* subKey);

// The file behind the registry: $XDG_CONFIG_HOME/korvane/registry.xml, else
// $HOME/.config/korvane/registry.xml. A non-null path replaces it (tests use a temporary folder);
// null returns to the default. Either way the registry is read again from the file at next use.
void RegistrySetFilePath(const char* path);
// The file path in use, or an empty text when no folder could be found.
const char* RegistryGetFilePath();
