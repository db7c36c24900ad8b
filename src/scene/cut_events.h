// Cut events: the notes of a played cut path that the engine acts on ("camera " switches the
// cut's active camera, "event " and "end speak" raise "CutEvent" on the instance's script
// receiver) and the lookup of the notes at one path time. Called by the cut-scene step and by
// the universe model when it starts a component path between two notes.
#pragma once

#include <cstdint>

struct InstanceRecord;
struct PathRecord;

// "CutEvent" as it reaches a script receiver: the text and the number. The game raises it
// through the script engine; tests watch the events through a sink of their own. Null puts the
// script engine's call back.
using CutEventSink = void (*)(int32_t receiver, const char* text, int32_t value);
void SetCutEventSink(CutEventSink sink);
// Raises "CutEvent" (text, value) on the receiver; nothing for receiver 0.
void RaiseCutEvent(int32_t receiver, const char* text, int32_t value);

// Performs note `index` of the path for the instance; an index outside the path does nothing.
void ParseCutEvents(InstanceRecord* instance, const PathRecord* path, int32_t index);
// Performs, in note order, every note of the instance's played path whose time equals `time`.
// Nothing without a loaded cut or notes. Script frees asked for by the events wait until the
// lookup is done, so it never reads a freed instance.
void InstPathFindEvent(InstanceRecord* instance, int32_t time);
