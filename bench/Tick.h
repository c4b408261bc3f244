#pragma once

#include <stdint.h>

class FT847;

// Runs the owner's loop n times: the clock advances 1 ms, then the driver's update() runs.
void tick(FT847& rig, uint32_t n);
