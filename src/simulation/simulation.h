// The universe simulation's header: the construction of the universe with its object command
// module, and the per-frame driver the game loop calls.
#pragma once

#include <cstdint>

struct UniverseBlock;

// The body id of the dock tunnel, looked up when the universe is made.
extern int32_t gDockTunnelBodyId;

// Fills the block (empty list, both hashes, cleared state, started flag 0), registers the `SA_`
// module in the script engine's module table and makes the block the universe. Null, with the
// block left unregistered and nothing held, when the module table is full or memory runs out.
UniverseBlock* CreateUniverse(UniverseBlock* block);

// One frame: pass 1 (motion, objects, instances per sector) while the started flag is set,
// then pass 2 (flight, break-away) always, over the simulated sectors of the top-level list.
void StepUniverse();
