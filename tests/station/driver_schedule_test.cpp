// When the station's loop wakes for the driver: from the driver's state, the last frame's time
// and the time the state was entered. Times are literal milliseconds.

#include <gtest/gtest.h>

#include "DriverSchedule.h"

namespace {

using State = FT847::State;

}  // namespace

TEST(DriverSchedule, WakesWhenTheDriversWaitAfterAFrameEnds) {
    const DriverSchedule schedule;
    const uint32_t frame = 10000;  // the last frame left at 10 s
    const struct {
        State state;
        bool busy;
        uint32_t now;
        int64_t due;
    } cases[] = {
        {State::WaitCatOn, true, 10000, 500},     {State::WaitCatOn, true, 10499, 1},
        {State::WaitCatOn, true, 10500, 0},       {State::WaitSatOn, true, 10001, 999},
        {State::WaitSatPreset, true, 10040, 60},  {State::AwaitResponse, true, 10100, 400},
        {State::SendCommand, true, 10030, 70},    {State::ReadBack, true, 10100, 0},
        {State::ReadRxInit, true, 10099, 1},      {State::SendToneMode, true, 10000, 100},
        {State::Ready, true, 10020, 80},          {State::Ready, false, 10020, -1},
        {State::Idle, false, 10020, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(schedule.msUntilStep(c.state, c.busy, true, frame, c.now), c.due)
            << "state " << static_cast<int>(c.state) << " at " << c.now;
    }
    // The first frame after begin() waits for nothing.
    EXPECT_EQ(schedule.msUntilStep(State::SendCatOn, true, false, 0, 10), 0);
}

TEST(DriverSchedule, CountsTheRetryDelayFromTheFailureAcrossTheClockWrap) {
    DriverSchedule schedule;
    schedule.observe(State::AwaitResponse, 0xFFFFFF00u);
    schedule.observe(State::RetryWait, 0xFFFFFF9Cu);  // failed 100 ms before the wrap
    EXPECT_EQ(schedule.msUntilStep(State::RetryWait, false, true, 0xFFFFFF00u, 0xFFFFFF9Cu), 3000);
    schedule.observe(State::RetryWait, 1000);  // still in it: the stamp stays
    EXPECT_EQ(schedule.msUntilStep(State::RetryWait, false, true, 0xFFFFFF00u, 1000), 1900);
    EXPECT_EQ(schedule.msUntilStep(State::RetryWait, false, true, 0xFFFFFF00u, 2900), 0);
}
