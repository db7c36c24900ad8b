// The two top views the cockpit draws into textures: the radar (texture 66) around the carrying
// ship, with its rings, symbols, blink and automatic range, and the nav map (texture 61) of the
// ship's whole sector. Called once a frame by the cockpit's display step and by the nav map panel.
// All arithmetic that could pass 32 bits lives in radar_math; everything is drawn through the
// texture drawing operations, which clip to the texture.
#pragma once

#include <cstdint>

struct CockpitRecord;
struct SpaceObject;

constexpr int32_t kRadarTexture = 66;
constexpr int32_t kNavMapTexture = 61;
constexpr int32_t kNavMapBackgroundTexture = 158;

// Draws the radar of the cockpit for its carrying ship and, with the automatic range on, moves
// the range toward what the scanner list asks for. Nothing when texture 66 is missing or the
// range is 0.
void DrawRadar(CockpitRecord* cockpit, SpaceObject* ship);

// Draws the top view of the ship's sector into texture 61 over the nav map background.
void DrawNavMap(CockpitRecord* cockpit, SpaceObject* ship);

// A ship that carries a mark (its extension's mark word is set) is drawn as neutral and never
// alerts, on the radar as on the nav map.
bool ShipIsMarked(const SpaceObject* object);
