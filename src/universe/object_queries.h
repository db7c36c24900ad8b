// The rules that answer questions about one space object: its maximum speed, a ship's top thrust
// speed and the turn rates of the lasers in one of its turrets. The steering calls them.
#pragma once

#include <cstdint>

struct SpaceObject;

// Speed.
int32_t GetObjectMaxSpeed(SpaceObject* object);
int32_t ShipGetGlobalsScaledSpeed(const SpaceObject* ship);

// Weapons and turrets.
bool ShipTurretLaserMinima(SpaceObject* ship, int32_t turret, int32_t* outA, int32_t* outB);
