#include "BenchRadio.h"

#include "Millis.h"

BenchRadio::BenchRadio(HardwareSerial& serialPort, RadioModel& model)
    : uart(serialPort), radio(model), framesTaken(serialPort.packets.size()),
      lastClockMs(millis()) {
    uart.powered = false;
    uart.failWrites = radio.faults.refuseWrites;
}

uint64_t BenchRadio::elapsedMs() {
    const uint32_t now = millis();
    monotonicMs += static_cast<uint32_t>(now - lastClockMs);
    lastClockMs = now;
    return monotonicMs;
}

void BenchRadio::exchange() {
    const uint64_t nowMs = elapsedMs();
    const uint32_t clock = millis();
    for (; framesTaken < uart.packets.size(); ++framesTaken) {
        const uint32_t age = static_cast<uint32_t>(clock - uart.times[framesTaken]);
        const HardwareSerial::Frame& frame = uart.packets[framesTaken];
        radio.receive(frame.data(), frame.size(), (nowMs - age) * 1000u);
    }
    const uint64_t nowUs = nowMs * 1000u;
    uint8_t byte = 0;
    while (radio.nextByte(nowUs, byte)) {
        uart.rx.push_back(byte);
    }
    uart.failWrites = radio.faults.refuseWrites;
}
