// The least form of the universe model that the application core needs until the universe is
// built. Called by the game main, the game loop and the shutdown; never creates an object.
#include "universe/universe.h"

UniverseBlock* gUniverse = nullptr;
