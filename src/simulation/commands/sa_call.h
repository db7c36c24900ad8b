// The call frame every `SA_` command runs on, its argument readers and its answer helpers.
// Included by the dispatcher and by the file of each command family. A reader never looks past
// the argument count: a missing argument reads as integer 0, no object, false or no text.
#pragma once

#include <cstdint>

#include "script/value.h"

struct ScriptEngine;
struct ScriptTask;
struct SpaceObject;
struct UniverseBlock;

struct SACall {
  ScriptEngine* engine;
  UniverseBlock* universe;
  int32_t resumeModule;  // the script engine's own module, which wakes a waiting task
  ScriptTask* task;
  int32_t argCount;  // never negative
  ScriptValue* args;
};

// A command: it answers through the call, or stores a waiting call and answers nothing.
using SACommand = void (*)(SACall* call);

// The command of a number, or null for the default answer (unbuilt families, 242, 269, 284 and
// numbers outside 0..369).
SACommand SACommandFor(int32_t command);

// A family's rows: each file of commands lists its numbers and functions, and the dispatcher's
// table is filled from every family in sa_families.cpp. A row outside 0..369 is ignored.
struct SACommandRow {
  int32_t command;
  SACommand run;
};
struct SACommandFamily {
  const SACommandRow* rows;
  int32_t count;
};
template <int32_t N>
constexpr SACommandFamily MakeSACommandFamily(const SACommandRow (&rows)[N]) {
  return {rows, N};
}
// The families the table is built from, ending at a family with no rows.
extern const SACommandFamily kSACommandFamilies[];

// ---- Arguments ------------------------------------------------------------------------------

// The slot, or null beyond the argument count.
ScriptValue* SAArgValue(const SACall* call, int32_t i);
// The 32-bit payload whatever the type says; a slot whose payload is a pointer, and a missing
// slot, read as 0.
int32_t SAArgInt(const SACall* call, int32_t i);
// The object whose id the argument holds, or null.
SpaceObject* SAArgObject(const SACall* call, int32_t i);
bool SAArgBool(const SACall* call, int32_t i);
// Null when the argument is missing or holds no text.
const char* SAArgText(const SACall* call, int32_t i);
// Elements 0, 1 and 2 of an array argument; missing elements read as 0. False (and zeros) when
// the argument is missing or not an array.
bool SAArgTriple(const SACall* call, int32_t i, int32_t out[3]);
// The same for elements 0 to n - 1.
bool SAArgInts(const SACall* call, int32_t i, int32_t* out, int32_t n);

// ---- Answers --------------------------------------------------------------------------------

void SAAnswerInt(SACall* call, int32_t value);
// An array of n integers; an array that cannot be made answers integer 0.
void SAAnswerIntArray(SACall* call, const int32_t* values, int32_t n);
// Stores the calling task as the object's waiting call, overwriting any earlier one unanswered;
// the task waits until `ReleaseModuleHandle` answers it. A missing object answers 0 at once.
void SAWaitOn(SACall* call, SpaceObject* object);

// ---- Common command shapes --------------------------------------------------------------------

// A command that applies Op(object, a, b, c) to the object of argument 0 with the integers of
// arguments 1 to 3 (0 where missing) and answers 0; a missing object changes nothing.
template <auto Op>
void SAApplyToObject(SACall* call) {
  if (SpaceObject* object = SAArgObject(call, 0)) Op(object, SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3));
  SAAnswerInt(call, 0);
}
