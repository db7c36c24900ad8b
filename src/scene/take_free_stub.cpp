// The least form of freeing a take until the take instances are built: the instances still in
// its slots, its slot array, its handle and its record go. Called by the universe's take
// records; never touches a cut.
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/takes_jobs.h"

void J3D_TakeFree(TakeRecord* take) {
  if (!take) return;
  for (int32_t i = 0; i < take->instanceCount && take->instances; ++i) {
    if (take->instances[i]) FreeInstance(take->instances[i]);
    take->instances[i] = nullptr;
  }
  MemFree(take->instances, static_cast<size_t>(take->instanceCount) * 4, MemCategoryFlags(kMemCatCut));
  if (gEngine3D && HashGet(gEngine3D->takeTable, take->handle) == reinterpret_cast<HashValue>(take)) {
    HashRemove(gEngine3D->takeTable, take->handle);
  }
  MemFree(take, sizeof(TakeRecord), MemCategoryFlags(kMemCatCut));
}
