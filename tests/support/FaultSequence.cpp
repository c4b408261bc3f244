#include "FaultSequence.h"

namespace {

using Action = FaultHarness::Action;
using Loop = FaultHarness::Loop;

// splitmix64: a seed fixes the whole sequence on every platform.
class Generator {
public:
    explicit Generator(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }

private:
    uint64_t state;
};

// How often each action is drawn: mostly time passing, then commands, then faults.
struct Weighted {
    Action action;
    uint32_t weight;
};
const Weighted kActions[] = {
    {Action::Wait, 30},           {Action::LongWait, 4},         {Action::Begin, 2},
    {Action::BeginRefused, 1},    {Action::SelectMain, 3},       {Action::SelectSub, 3},
    {Action::SetFrequency, 8},    {Action::SetMode, 3},          {Action::SetModeShortcut, 3},
    {Action::SetTone, 4},         {Action::PollRx, 4},           {Action::PollTx, 4},
    {Action::CancelAndSelectRx, 2}, {Action::SatellitePreset, 2}, {Action::PowerOff, 2},
    {Action::PowerOn, 3},         {Action::RefuseWrites, 1},     {Action::AcceptWrites, 2},
    {Action::Faults, 3},          {Action::NoFaults, 3},         {Action::LineNoise, 2},
};

Action draw(Generator& generator) {
    uint32_t total = 0;
    for (const Weighted& w : kActions) {
        total += w.weight;
    }
    uint32_t pick = generator.below(total);
    for (const Weighted& w : kActions) {
        if (pick < w.weight) {
            return w.action;
        }
        pick -= w.weight;
    }
    return Action::Wait;
}

}  // namespace

FaultHarness::Figures runFaultSequence(uint64_t seed, std::string& failure) {
    Generator generator(seed);
    static const uint32_t kBauds[3] = {4800, 9600, 57600};
    FaultHarness::Setup setup;
    setup.baud = kBauds[generator.below(3)];
    setup.latencyMs = generator.below(41);
    setup.loop = static_cast<Loop>(generator.below(3));
    setup.loopSeed = generator.next();
    const uint32_t beforeWrapMs = setup.loop == Loop::Stalling ? 4000 : 20000;
    setup.startMs = generator.below(8) == 0 ? 0xFFFFFFFFu - generator.below(beforeWrapMs)
                                            : static_cast<uint32_t>(generator.next());
    setup.seed = generator.next();
    FaultHarness harness(setup);
    harness.perform(Action::Begin, 0);
    const uint32_t actions = 20 + generator.below(41);
    for (uint32_t i = 0; i < actions && harness.ok(); ++i) {
        const Action action = draw(generator);
        harness.perform(action, generator.next());
    }
    if (harness.ok()) {
        harness.recover(generator.next());
    }
    if (!harness.ok()) {
        failure = harness.report();
    }
    return harness.figures();
}
