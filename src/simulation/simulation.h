// The universe simulation's header: the per-frame driver the game loop calls. It does nothing
// while the universe is not running.
#pragma once

void StepUniverse();
