// Least form of the rapid box: body binding asks for it; no collision model is made yet.
#include "scene/rapid_box.h"

void B3D_InstMakeRapidBox(InstanceRecord*, int32_t) {}
