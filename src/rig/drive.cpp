#include "rig/drive.h"
void driveRig(RigState&, float) {} // STUB
