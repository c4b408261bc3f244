#include "DriverFixture.h"

#include <cstdio>

std::string hex(const HardwareSerial::Frame& frame) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < frame.size(); ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", frame[i]);
        text += byte;
    }
    return text;
}

std::string frameLog(const HardwareSerial& uart, size_t from) {
    std::string text;
    for (size_t i = from; i < uart.packets.size(); ++i) {
        text += std::to_string(uart.times[i]) + ": " + hex(uart.packets[i]) + "\n";
    }
    return text;
}

DriverTest::DriverTest() {
    clockMs = 0;
    Serial.text.clear();
    frequencyReports.clear();
    testSettings = TestSettings{};
}

void DriverTest::TearDown() {
    const char* broken = uart.brokenPromise();
    EXPECT_TRUE(broken == nullptr) << "the driver broke the port's contract: " << broken;
}

void DriverTest::connect() {
    uart.powered = true;
    ASSERT_TRUE(rig.begin());
    tick(1604);
    ASSERT_TRUE(rig.isConnected()) << frameLog(uart);
}

bool DriverTest::tickUntilFrame(uint32_t limit) {
    const size_t before = uart.packets.size();
    for (uint32_t i = 0; i < limit; ++i) {
        tick(1);
        if (uart.packets.size() != before) {
            return true;
        }
    }
    return false;
}

std::string DriverTest::lastFrame() const {
    return uart.packets.empty() ? std::string("(none)") : hex(uart.packets.back());
}
