// Factory connections: the factories of a complex joined by tubes. The connection points of each
// factory's model are found, the factories are linked into one tree of shortest links grown
// from the base factory, and each link is built from two end pieces and a row of stretched tube
// segments in the base factory's container. The factory connection command calls it; it reads
// the script's id array and answers a new script array, and it keeps nothing after the call.
#pragma once

#include <cstdint>

struct ScriptValue;
struct SpaceObject;

constexpr int32_t kMaxConnectionPoints = 32;
// The model nodes that carry a fixed set of connection points.
constexpr int32_t kConnectorBodyFour = 10444;
constexpr int32_t kConnectorBodyThree = 10524;
// Specials (class 20) a link is made of.
constexpr int16_t kSubtypeParentEndPiece = 45;
constexpr int16_t kSubtypeTubeSegment = 46;
constexpr int16_t kSubtypeChildEndPiece = 47;

// `factoryIds` is an array of factory object ids (anything else counts as empty). `result`
// becomes an array with one element per id: {the id of the factory it hangs on (0 for none), its
// own id (0 for an id that names no object), the ids of its link's pieces...}. 1 when the work
// records could be had, else 0 with `result` the integer 0 and nothing made.
int32_t CreateFactoryConnections(SpaceObject* base, ScriptValue* factoryIds, ScriptValue* result);
