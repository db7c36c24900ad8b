// The engine the replay fuzz target plays recordings into, and the recordings its seeds are: an
// engine state with its lists and tables, the body and cut name tables, an emitter table, three
// memory textures behind materials and a two-piece collection. The seeds are made by the
// engine's own recorder from a small scene driven frame by frame with drawing in between.
#pragma once

#include <string>
#include <vector>

namespace fuzz {

// Sets the engine up on the first call and makes it the current one.
void SetUpReplayEngine();
// Frees what a replay left behind: scenes with their members and cameras, loose instances (lights
// among them), emitters, takes, the placed cut, the engine's links and the added body and cut rows.
void ClearReplayEngine();
// Sets the engine up and fills it with what a busy save holds: free trees, a scene with a member
// tree and a camera under the member, names, a placed cut and takes with 0 and 2 slots.
void FillSaveEngine();
// "B3D " save sections written by the section writer: an empty engine, then the filled one.
std::vector<std::string> EngineSaveSections();
// Recordings written by the recorder, each as its uncompressed stream (the replay reads both).
std::vector<std::string> RecordedStreams();

}  // namespace fuzz
