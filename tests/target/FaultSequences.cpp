// Seeded fault-injection sequences on an emulated board: the host's fault harness, radio model
// and invariant checker, compiled for the target, run the first sequences of the host's test
// (seeds 847 on). A failure prints the harness's report and the seed, which replays on the
// host with FT847_FAULT_SEED=<seed> FT847_FAULT_SEQUENCES=1. The closing line gives the run's
// figures; the number of sequences is FT847_TARGET_SEQUENCES, chosen per board so that a run
// takes about a minute.

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "FaultHarness.h"
#include "FaultSequence.h"

#ifndef FT847_TARGET_SEQUENCES
#define FT847_TARGET_SEQUENCES 100
#endif

int main() {
    const uint64_t firstSeed = 847;
    const uint64_t sequences = FT847_TARGET_SEQUENCES;
    FaultHarness::Figures total;
    for (uint64_t i = 0; i < sequences; ++i) {
        const uint64_t seed = firstSeed + i;
        std::string failure;
        total.add(runFaultSequence(seed, failure));
        if (!failure.empty()) {
            printf("%s\nFAIL: sequence seed %lu; replay on the host with FT847_FAULT_SEED=%lu "
                   "FT847_FAULT_SEQUENCES=1\n",
                   failure.c_str(), static_cast<unsigned long>(seed),
                   static_cast<unsigned long>(seed));
            return 1;
        }
    }
    // Without faults struck and recovered from, the run would prove little.
    if (total.failures < sequences || total.reconnections < sequences) {
        printf("FAIL: %lu sequences with only %lu link failures and %lu reconnections\n",
               static_cast<unsigned long>(sequences), static_cast<unsigned long>(total.failures),
               static_cast<unsigned long>(total.reconnections));
        return 1;
    }
    printf("PASS: %lu fault sequences from seed %lu, %lu frames, %lu link failures, "
           "%lu reconnections, %lu s simulated\n",
           static_cast<unsigned long>(sequences), static_cast<unsigned long>(firstSeed),
           static_cast<unsigned long>(total.frames), static_cast<unsigned long>(total.failures),
           static_cast<unsigned long>(total.reconnections),
           static_cast<unsigned long>(total.simulatedMs / 1000));
    return 0;
}
