// Coverage-guided fuzzing of the driver with libFuzzer. The input is a script:
//
//   byte 0      baud rate (4800, 9600 or 57600) and the radio's latency (0 to 40 ms)
//   bytes 1-4   the clock at the start, little-endian (so the 32-bit wrap is reachable)
//   byte 5      the owner's loop (FaultHarness::Loop: low two bits, modulo 3: every
//               millisecond, jittered, stalling) and, with the input's length, the seed of
//               its gaps (high six bits)
//   then steps: one byte whose low five bits choose the action (FaultHarness::Action) and
//               whose high three bits say how many argument bytes follow (0 to 7,
//               little-endian); line noise puts the argument's bytes on the line as the radio
//               would send them.
//
// Every step is watched by the invariant checker the fault-injection test uses. At the end the
// radio is made healthy and the driver, left alone, must reconnect within the derived bound and
// then set frequency, mode and tone correctly. A broken rule prints the script's trace and
// aborts, which libFuzzer reports with the input that did it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FaultHarness.h"

namespace {

using Action = FaultHarness::Action;

// Simulated time per input is capped so that a run of many inputs stays short.
constexpr uint64_t kMaxSimulatedMs = 30000;
constexpr size_t kMaxSteps = 200;

class Script {
public:
    Script(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}

    bool done() const { return at >= size; }

    uint8_t byte() { return at < size ? data[at++] : 0; }

    uint64_t little(size_t count) {
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i) {
            value |= uint64_t{byte()} << (8 * i);
        }
        return value;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script script(data, size);
    static const uint32_t kBauds[3] = {4800, 9600, 57600};
    const uint8_t line = script.byte();
    FaultHarness::Setup setup;
    setup.baud = kBauds[(line & 0x03) % 3];
    setup.latencyMs = (line >> 2) % 41;
    setup.startMs = static_cast<uint32_t>(script.little(4));
    const uint8_t loop = script.byte();
    setup.loop = static_cast<FaultHarness::Loop>((loop & 0x03) % 3);
    setup.loopSeed = (uint64_t{size} << 6) | (loop >> 2);
    setup.seed = size;
    FaultHarness harness(setup);
    harness.perform(Action::Begin, 0);

    const size_t actions = static_cast<size_t>(Action::Count);
    for (size_t step = 0; step < kMaxSteps && !script.done() && harness.ok(); ++step) {
        const uint8_t head = script.byte();
        const Action action = static_cast<Action>((head & 0x1F) % actions);
        const uint64_t argument = script.little(head >> 5);
        const bool waits = action == Action::Wait || action == Action::LongWait;
        if (waits && harness.figures().simulatedMs > kMaxSimulatedMs) {
            continue;
        }
        harness.perform(action, argument);
    }
    if (harness.ok()) {
        harness.recover(size);
    }
    if (!harness.ok()) {
        std::fprintf(stderr, "FT847 invariant broken: %s\n", harness.report().c_str());
        std::abort();
    }
    return 0;
}
