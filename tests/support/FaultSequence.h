#pragma once

// One seeded fault-injection sequence on a FaultHarness: a radio at 4800, 9600 or 57600 baud
// with up to 40 ms latency, one of the three owner's loops, a clock that sometimes starts just
// before its wrap, begin(), 20 to 60 random actions, then recovery. A seed fixes the whole
// sequence on every platform, so a sequence that fails on a target replays on the host. The
// host's fault-injection test and the target programs run the same sequences.

#include <cstdint>
#include <string>

#include "FaultHarness.h"

// The run's figures; `failure` receives the harness's report when an invariant broke.
FaultHarness::Figures runFaultSequence(uint64_t seed, std::string& failure);
