// The SE_ file and folder natives: files the scripts keep open under handles in the engine's
// open-file registry, formatted writes into them, whole-file reads through the game-file
// lookup and writes (plain or packed), and the path-level operations (remove, rename, size,
// time, folder search, folder creation, current folder). Called by the SE_ dispatcher; the
// unload of the script closes what is still open (FreeScriptFilesAndExpressions). A name,
// mode or pattern that is not a text is a failure, never a read.
#include <cstring>

#include "core/catalog.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "core/paths.h"
#include "script/natives/se_files.h"
#include "script/natives/se_text.h"
#include "script/script_memory.h"

namespace {

// Type lists are "pck " and the name's extension; names without one are texts.
constexpr char kPackedType[] = "pck ";
constexpr char kDefaultTypes[] = "pck txt";

FileObject* FindOpenFile(const SECall* call, int32_t i) {
  const ScriptValue* value = SEArgValue(call, i);
  if (!value || value->type != kValueInt || value->i == 0 || !call->engine || !call->engine->openFiles) return nullptr;
  return reinterpret_cast<FileObject*>(HashGet(call->engine->openFiles, value->u));
}

void CloseAndFree(FileObject* file) {
  if (!file) return;
  FileClose(file);
  MemFreeIfSet(file);
}

// The optional user-folder flag at argument i.
bool UserFolderArg(const SECall* call, int32_t i) { return SEArgInt(call, i, 0) != 0; }

}  // namespace

void FreeScriptFilesAndExpressions(ScriptEngine* engine) {
  if (!engine) return;
  if (engine->openFiles) {
    while (HashCount(engine->openFiles) > 0) {
      uint32_t key = HashNextKey(engine->openFiles, 0);
      if (key == 0) break;
      CloseAndFree(reinterpret_cast<FileObject*>(HashRemove(engine->openFiles, key)));
    }
  }
  FreeScriptExpressions(engine);
}

// ---- Open files -------------------------------------------------------------------------------

int32_t SE_FOpen(SECall* call) {
  const char* name = SEArgText(call, 0);
  const char* mode = SEArgText(call, 1);
  if (!name || !mode || !call->engine || !call->engine->openFiles) return SEAnswerInt(call, 0);
  auto* file = static_cast<FileObject*>(MemCalloc(sizeof(FileObject)));
  if (!file) return SEAnswerInt(call, 0);
  FileObjectInit(file);
  if (!FileOpenFromCatalog(file, name, mode, UserFolderArg(call, 2))) {
    CloseAndFree(file);
    return SEAnswerInt(call, 0);
  }
  uint32_t handle = HashInsertNewKey(call->engine->openFiles, reinterpret_cast<HashValue>(file));
  if (handle == 0) {
    CloseAndFree(file);
    return SEAnswerInt(call, 0);
  }
  return SEAnswerInt(call, static_cast<int32_t>(handle));
}

int32_t SE_FClose(SECall* call) {
  if (FindOpenFile(call, 0)) {
    CloseAndFree(reinterpret_cast<FileObject*>(HashRemove(call->engine->openFiles, SEArgValue(call, 0)->u)));
  }
  return SEAnswerInt(call, 0);
}

int32_t SE_FPrintf(SECall* call) {
  FileObject* file = FindOpenFile(call, 0);
  const char* format = SEArgText(call, 1);
  if (!file || !format) return SEAnswerInt(call, 0);
  const ScriptValue* args = call->args + 2;
  int32_t argCount = call->argCount - 2;
  int32_t length = FormatScriptText(nullptr, format, args, argCount);
  if (length <= 0 || length == INT32_MAX) return SEAnswerInt(call, 0);
  char* text = static_cast<char*>(PoolAlloc(static_cast<uint32_t>(length) + 1, kPoolScratch, call->engine));
  if (!text) return SEAnswerInt(call, 0);
  FormatScriptTextN(text, length + 1, format, args, argCount);
  size_t written = FileWrite(file, text, 1, static_cast<size_t>(length));
  PoolFree(kPoolScratch, text, call->engine, static_cast<uint32_t>(length) + 1);
  return SEAnswerInt(call, static_cast<int32_t>(written));
}

// ---- Whole files ------------------------------------------------------------------------------

int32_t SE_ReadFile(SECall* call) {
  const char* name = SEArgText(call, 0);
  if (!name) return SEAnswerInt(call, 0);
  // The name's extension becomes the accepted type beside the packed form.
  const char* dot = std::strrchr(name, '.');
  size_t baseLength = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
  char* base = ReplaceStringN(baseLength, nullptr, name);
  // Built in one accounted block: "pck " and the extension, or the default list.
  size_t extensionLength = dot ? std::strlen(dot + 1) : 0;
  size_t typesSize = dot ? sizeof kPackedType - 1 + extensionLength + 1 : sizeof kDefaultTypes;
  char* types = static_cast<char*>(MemAlloc(typesSize, 0));
  if (!base || !types) {
    FreeString(base);
    if (types) MemFree(types, typesSize, 0);
    return SEAnswerInt(call, 0);
  }
  if (dot) {
    std::memcpy(types, kPackedType, sizeof kPackedType - 1);
    std::memcpy(types + sizeof kPackedType - 1, dot + 1, extensionLength + 1);
  } else {
    std::memcpy(types, kDefaultTypes, sizeof kDefaultTypes);
  }
  char* data = LoadGameFile(base, types, UserFolderArg(call, 1));
  uint32_t size = gLastReadSize;
  FreeString(base);
  MemFree(types, typesSize, 0);
  if (!data) return SEAnswerInt(call, 0);
  auto fill = static_cast<char>(SEArgInt(call, 2, 0) & 0xFF);
  if (fill != 0) {
    for (uint32_t k = 0; k < size; ++k) {
      if (data[k] == '\0') data[k] = fill;
    }
  }
  int32_t length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
  SEAnswerTextN(call, data, length);
  MemFree(data, size, 0);
  return 1;
}

int32_t SE_WriteFile(SECall* call) {
  const char* name = SEArgText(call, 0);
  const char* text = SEArgText(call, 1);
  if (!name || !text) return SEAnswerInt(call, 0);
  bool userFolder = UserFolderArg(call, 2);
  bool packed = SEArgInt(call, 3, 0) != 0;
  size_t length = std::strlen(text);
  FileObject file;
  FileObjectInit(&file);
  bool opened = packed ? FileOpen(&file, name, "wb", userFolder) : FileOpenFromCatalog(&file, name, "wb", userFolder);
  size_t written = opened && length > 0 ? FileWrite(&file, text, length, 1) : 0;
  bool closed = opened && FileCloseHandle(&file);
  FileClose(&file);
  // A packed stream counts bytes, a plain file items; only the whole text counts as written.
  bool whole = length > 0 && length <= INT32_MAX && (packed ? written == length : written == 1);
  return SEAnswerInt(call, whole && closed ? static_cast<int32_t>(length) : 0);
}

// ---- Paths and folders ------------------------------------------------------------------------

int32_t SE_DeleteFile(SECall* call) {
  const char* name = SEArgText(call, 0);
  return SEAnswerInt(call, name && FileRemove(name, UserFolderArg(call, 1)) ? 1 : 0);
}

int32_t SE_MoveFile(SECall* call) {
  const char* from = SEArgText(call, 0);
  const char* to = SEArgText(call, 1);
  return SEAnswerInt(call, from && to && FileRename(from, to, UserFolderArg(call, 2)) ? 1 : 0);
}

int32_t SE_FSize(SECall* call) {
  const char* name = SEArgText(call, 0);
  return SEAnswerInt(call, name ? FileGetSize(name, UserFolderArg(call, 1)) : -1);
}

int32_t SE_FTime(SECall* call) {
  const char* name = SEArgText(call, 0);
  int64_t time = name ? FileGetModTime(name, UserFolderArg(call, 1)) : 0;
  return SEAnswerInt(call, static_cast<int32_t>(static_cast<uint32_t>(time)));
}

int32_t SE_GetDir(SECall* call) {
  const char* pattern = SEArgText(call, 0);
  if (!pattern) return SEAnswerInt(call, 0);
  // Scripts pass 0 for "no folder" to reach the flag after it.
  const char* folder = SEArgText(call, 1);
  int userFolder = UserFolderArg(call, 2) ? 1 : 0;
  int32_t count = 0;
  if (FileSearch* search = OpenFileSearch(pattern, folder, userFolder)) {
    while (count < INT32_MAX && NextFileSearch(search)) ++count;
    CloseFileSearch(search);
  }
  if (count == 0) return SEAnswerInt(call, 0);
  ScriptValue names{};
  if (!AllocArrayValue(&names, count)) return SEAnswerInt(call, 0);
  int32_t found = 0;
  if (FileSearch* search = OpenFileSearch(pattern, folder, userFolder)) {
    // The folder may have changed between the passes: never more names than counted.
    while (found < count) {
      const char* name = NextFileSearch(search);
      if (!name) break;
      ArrayWriteString(&names, found++, name);
    }
    CloseFileSearch(search);
  }
  if (found < count) ArrayResize(&names, found);
  return SEAnswerValue(call, &names);
}

int32_t SE_MakeDir(SECall* call) {
  const char* path = SEArgText(call, 0);
  return SEAnswerInt(call, path && MakeDirectory(path, 1) ? 1 : 0);
}

int32_t SE_ChangeDir(SECall* call) {
  const char* path = SEArgText(call, 0);
  return SEAnswerInt(call, path && SetCurrentDir(path) ? 1 : 0);
}
