#include "DriverSchedule.h"

namespace {

// Every interval is "now minus stamp" in 32-bit unsigned arithmetic, as in the driver.
int64_t until(uint32_t stampMs, uint32_t intervalMs, uint32_t nowMs) {
    const uint32_t elapsed = nowMs - stampMs;
    return elapsed >= intervalMs ? 0 : int64_t{intervalMs - elapsed};
}

}  // namespace

void DriverSchedule::observe(FT847::State state, uint32_t nowMs) {
    if (state != seen) {
        seen = state;
        enteredMs = nowMs;
    }
}

int64_t DriverSchedule::msUntilStep(FT847::State state, bool busy, bool framed,
                                    uint32_t lastFrameMs, uint32_t nowMs) const {
    using State = FT847::State;
    // The driver stamps a wait that follows a frame right after the frame has left, as the
    // port does.
    const auto afterFrame = [&](uint32_t intervalMs) -> int64_t {
        return framed ? until(lastFrameMs, intervalMs, nowMs) : 0;
    };
    switch (state) {
    case State::Idle:
        return -1;
    case State::Ready:
        // Busy in Ready: within the frame spacing after the last frame.
        return busy ? afterFrame(FT847::kFrameSpacingMs) : -1;
    case State::RetryWait:
        // The failure is stamped inside the call after which observe() saw the new state.
        return until(state == seen ? enteredMs : nowMs, FT847::kRetryDelayMs, nowMs);
    case State::WaitCatOn:
        return afterFrame(FT847::kCatOnSettleMs);
    case State::WaitSatOn:
        return afterFrame(FT847::kSatOnSettleMs);
    case State::WaitSatPreset:
        return afterFrame(FT847::kSatPresetSettleMs);
    case State::AwaitResponse:
        return afterFrame(FT847::kReadTimeoutMs);
    case State::SendCatOn:
    case State::SendSatOn:
    case State::SendSatPreset:
    case State::ReadRxInit:
    case State::ReadTxInit:
    case State::SendCommand:
    case State::ReadBack:
    case State::SendToneFrequency:
    case State::SendToneMode:
        // A frame waits for the frame spacing; the first after begin() does not.
        return afterFrame(FT847::kFrameSpacingMs);
    }
    return 0;
}
