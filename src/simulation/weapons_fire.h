// Weapons fire and ammunition: what the flight pass needs of it so far, the visual of a shot
// whose type draws an arc chain. Called once per frame for each such shot.
#pragma once

struct SpaceObject;

void UpdateArcBulletChain(SpaceObject* bullet);
