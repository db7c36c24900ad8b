// Least form of the engine natives' helpers: the length of a path (for the jobs).
// Called by the jobs; reads nothing but the path's key lists.
#include "scene/engine_natives.h"

#include "scene/cut_keys.h"
#include "scene/instance_records.h"

namespace {

template <typename Key>
int32_t LastTime(const KeyList<Key>& list, int32_t longest) {
  if (list.count > 0 && list.keys && list.keys[list.count - 1].time > longest) return list.keys[list.count - 1].time;
  return longest;
}

}  // namespace

int32_t PathAnimEndTime(const PathRecord* path) {
  int32_t longest = 0;
  longest = LastTime(path->positions, longest);
  longest = LastTime(path->rotations, longest);
  longest = LastTime(path->targets, longest);
  longest = LastTime(path->rolls, longest);
  longest = LastTime(path->colors, longest);
  return LastTime(path->fieldsOfView, longest);
}
