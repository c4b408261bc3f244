#pragma once

// Arm's CMSDK APB UART, of which the MPS2 board has five: a one-byte buffer each way, a baud
// divider on the 25 MHz peripheral clock, and an interrupt for each direction. Bytes received
// and bytes to send wait in rings in RAM, moved by the two interrupt handlers, so that no call
// waits for the line.
//
// Its frame is fixed: 8 data bits, no parity, one stop bit. A byte the FT-847 sends with two
// stop bits arrives as it is (the second stop bit is idle line); bytes sent have one.
//
// Like a ring, a UART has no constructor: with static storage it is ready for open() before any
// code runs.

#include <stddef.h>
#include <stdint.h>

#include "ByteRing.h"
#include "CorePeripherals.h"

template <uintptr_t Base>
class CmsdkUart {
public:
    static constexpr uint32_t kClockHz = 25000000;

    // Sets the speed, empties both rings and enables both directions and their interrupts. The
    // board enables the two interrupts in the NVIC.
    void open(uint32_t baud) {
        registers().control = 0;
        registers().baudDivider = (kClockHz + baud / 2) / baud;
        registers().interrupts = kReceived | kSent;  // clears both
        uint8_t stale = 0;
        while (received.take(stale)) {
        }
        registers().control = kTransmitEnable | kReceiveEnable | kSentInterrupt |
                              kReceivedInterrupt;
    }

    uint32_t available() const { return received.count(); }

    // The oldest byte received, or -1 when none is waiting.
    int read() {
        uint8_t byte = 0;
        return received.take(byte) ? byte : -1;
    }

    // Queues up to len bytes and returns how many it took; the transmit interrupt sends them.
    size_t write(const uint8_t* data, size_t len) {
        size_t taken = 0;
        while (taken < len && toSend.put(data[taken])) {
            ++taken;
        }
        // Starts the line if it is idle. Masked, since the transmit interrupt takes from the
        // same ring.
        const cortex_m::InterruptsMasked masked;
        sendNext();
        return taken;
    }

    // Bytes received while the ring was full, and so lost.
    uint32_t lost() const { return dropped; }

    void receiveInterrupt() {
        registers().interrupts = kReceived;
        while ((registers().state & kReceiveFull) != 0) {
            if (!received.put(static_cast<uint8_t>(registers().data))) {
                dropped = dropped + 1;
            }
        }
    }

    void transmitInterrupt() {
        registers().interrupts = kSent;
        sendNext();
    }

private:
    struct Registers {
        volatile uint32_t data;
        volatile uint32_t state;
        volatile uint32_t control;
        volatile uint32_t interrupts;  // read: status; write 1s: clear
        volatile uint32_t baudDivider;
    };
    static constexpr uint32_t kTransmitFull = 1u << 0;  // state
    static constexpr uint32_t kReceiveFull = 1u << 1;
    static constexpr uint32_t kTransmitEnable = 1u << 0;  // control
    static constexpr uint32_t kReceiveEnable = 1u << 1;
    static constexpr uint32_t kSentInterrupt = 1u << 2;
    static constexpr uint32_t kReceivedInterrupt = 1u << 3;
    static constexpr uint32_t kSent = 1u << 0;  // interrupts
    static constexpr uint32_t kReceived = 1u << 1;

    static Registers& registers() { return *reinterpret_cast<Registers*>(Base); }

    void sendNext() {
        uint8_t byte = 0;
        if ((registers().state & kTransmitFull) == 0 && toSend.take(byte)) {
            registers().data = byte;
        }
    }

    ByteRing<64> received;
    ByteRing<256> toSend;
    volatile uint32_t dropped;
};
