// The running game a save is read into, for the save-game fuzz target and its seeds: the game
// state block, the timer module, the scene engine (the replay target's), the script engine with a story the script-state section loads
// (assembled from text, so any saved story name loads it), and the path of slot 0's save file.
#pragma once

#include <string>

namespace fuzz {

// Sets the game up on the first call; the host path of the save file of slot 0.
const std::string& SaveWorld();
// Loads the story into the engine as the start of a game would (for the seeds).
bool LoadSaveWorldStory();
// Drops what a read left behind: timers, cockpits, the loaded story, the scene engine's records.
void ResetSaveWorld();

}  // namespace fuzz
