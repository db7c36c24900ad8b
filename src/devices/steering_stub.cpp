// The least form of the steering assignment until the input translation is built: the cursor
// words are kept, the control matrix holds no assignment (every lookup answers 0). Called by the
// application natives.
#include "devices/steering.h"

int32_t gCursorSteering[kCursorSteeringWordCount] = {};

int32_t Wilo_GetControlMatrix(int32_t, int32_t, int32_t) { return 0; }

void Wilo_SetControlMatrix(int32_t, int32_t, int32_t, int32_t) {}
