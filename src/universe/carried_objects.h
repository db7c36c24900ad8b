// Carried objects and break-away: the script events an effect raises when it leaves a wreck or
// debris behind. The object effects call them; they never touch an object record.
#pragma once

#include <cstdint>

// "CreateWreck" and "CreateDebris" on the universe's script module for a script object id, with
// no arguments; the answer lands in the universe block's script value.
void RaiseCreateWreck(int32_t scriptId);
void RaiseCreateDebris(int32_t scriptId);
