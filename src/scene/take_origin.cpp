// The take's origin applied to its instances after the jobs placed them, every frame by the take
// walk. Touches only the take's non-null instances.
#include "scene/instance_records.h"
#include "scene/takes_jobs.h"

void TakeApplyOrigin(TakeRecord* take) {
  if (take->cutHandle == 0) return;
  for (int32_t i = 0; i < take->instanceCount; ++i) {
    InstanceRecord* instance = take->instances[i];
    if (!instance) continue;
    FixedVector turned;
    MatrixMulVector(&turned, &take->rotation, &instance->position);
    AddVector(&instance->position, &take->position, &turned);
    FixedMatrix composed;
    MatrixMultiply(&composed, &take->rotation, &instance->matrix);
    instance->matrix = composed;
    MatrixMulVector(&turned, &take->rotation, &instance->velocity);
    AddVector(&instance->velocity, &turned, &take->velocity);
  }
}
