#pragma once

// One fixture for the driver tests: a fresh clock at 0, a fresh simulated UART, a driver on it,
// and the console and rig-control records emptied. Every test ends by checking that the driver
// kept its side of the port's contract throughout (the bench UART counts each broken promise).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"
#include "Tick.h"

// "00 00 00 00 4E"
std::string hex(const HardwareSerial::Frame& frame);

// Every frame in order, one per line, each with its time: "1503: 00 00 00 00 13".
std::string frameLog(const HardwareSerial& uart, size_t from = 0);

class DriverTest : public ::testing::Test {
protected:
    DriverTest();
    void TearDown() override;

    // begin() with the radio on, then ticks until the handshake is done (at 1604 ms when
    // begun at 0).
    void connect();

    // Ticks until a frame is written or `limit` ms pass; true when one was.
    bool tickUntilFrame(uint32_t limit = 10000);

    // The frame written last, as hex.
    std::string lastFrame() const;

    void tick(uint32_t n) { ::tick(rig, n); }

    bool logged(const std::string& line) const {
        return Serial.text.find(line) != std::string::npos;
    }

    HardwareSerial uart;
    FT847 rig{uart};
};
