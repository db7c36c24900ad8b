// The per-part draw entry of the frame's draw-list walk: a body part of an instance is drawn with
// the two strongest lights of the scene (the sun lights) and the depth range its camera asks for,
// through the renderer's part drawing. Called by the frame driver for every draw node and by the
// immediate drawing of an instance. Never draws a part whose body cannot be loaded.
#pragma once

#include <cstdint>

struct BodyPart;
struct CameraRecord;
struct InstanceRecord;

// A light reaching this far (or one of unlimited range) lights every instance like the sun.
constexpr int32_t kSunLightRange = 2450001;
// The body whose stars are drawn with their own depth terms under the star-depth camera flag.
constexpr char kStarBackgroundBody[] = "environments\\nebulae\\uranus\\nebula_uranus_stars_01";

// The first two sun lights of the engine's light slots, in slot order up to the first empty
// slot; the count found (0, 1 or 2). The rest of `out` is null.
int32_t FindSunLights(InstanceRecord* out[2]);
// False when the part has no render data or its awaited body cannot be loaded; true when drawn
// or hidden. Sets the renderer's projection depth terms for the part before drawing.
bool DrawInstancePart(BodyPart* renderPart, InstanceRecord* instance, CameraRecord* camera);
