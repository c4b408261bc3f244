// The driver object lives in the firmware's RAM, usually as a global. Its size on this target
// is bounded here so that growth is a decision, not an accident.

#include "FT847.h"

static_assert(sizeof(FT847) <= 48, "FT847 grew beyond 48 bytes on the 32-bit target");

// Read back by scripts/footprint.sh: the symbol's size is sizeof(FT847) on this target.
extern const unsigned char ft847ObjectSize[sizeof(FT847)];
const unsigned char ft847ObjectSize[sizeof(FT847)] = {};
