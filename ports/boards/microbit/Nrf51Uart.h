#pragma once

// The nRF51's UART: a register for each task and event rather than a status register, a
// one-byte transmit register whose TXDRDY event says when it is free again, and a small receive
// FIFO read one byte at a time through RXD. Bytes received and bytes to send wait in rings in
// RAM, moved by the UART's one interrupt, so that no call waits for the line.
//
// Its frame: 8 data bits, no parity, one stop bit. A byte the FT-847 sends with two stop bits
// arrives whole (the second stop bit is idle line); bytes sent have one.
//
// Like a ring, a UART has no constructor: with static storage it is ready for open() before any
// code runs.

#include <stddef.h>
#include <stdint.h>

#include "ByteRing.h"
#include "CorePeripherals.h"

template <uintptr_t Base>
class Nrf51Uart {
public:
    // Sets the speed and the pins, empties the receive ring, and starts both directions with
    // their interrupts. The board enables the UART's interrupt in the NVIC.
    void open(uint32_t baud, uint32_t txPin, uint32_t rxPin) {
        reg(kEnable) = 0;
        reg(kBaudRate) = baudRateCode(baud);
        reg(kConfig) = 0;  // no parity, no flow control
        reg(kTxPin) = txPin;
        reg(kRxPin) = rxPin;
        reg(kRxReady) = 0;
        reg(kTxReady) = 0;
        uint8_t stale = 0;
        while (received.take(stale)) {
        }
        sending = false;
        reg(kEnable) = kEnabled;
        reg(kInterruptSet) = kRxReadyInterrupt | kTxReadyInterrupt;
        reg(kStartRx) = 1;
        reg(kStartTx) = 1;
    }

    uint32_t available() const { return received.count(); }

    // The oldest byte received, or -1 when none is waiting.
    int read() {
        uint8_t byte = 0;
        return received.take(byte) ? byte : -1;
    }

    // Queues up to len bytes and returns how many it took; the interrupt sends them. Masked,
    // since the interrupt takes from the same ring.
    size_t write(const uint8_t* data, size_t len) {
        size_t taken = 0;
        while (taken < len && toSend.put(data[taken])) {
            ++taken;
        }
        const cortex_m::InterruptsMasked masked;
        if (!sending) {
            sendNext();
        }
        return taken;
    }

    // Bytes received while the ring was full, and so lost.
    uint32_t lost() const { return dropped; }

    void interrupt() {
        // An event is cleared before RXD is read, so that a byte that follows raises it again.
        while (reg(kRxReady) != 0) {
            reg(kRxReady) = 0;
            if (!received.put(static_cast<uint8_t>(reg(kRxData)))) {
                dropped = dropped + 1;
            }
        }
        if (reg(kTxReady) != 0) {
            reg(kTxReady) = 0;
            sending = false;
            sendNext();
        }
    }

private:
    // Register offsets.
    static constexpr uintptr_t kStartRx = 0x000;  // tasks
    static constexpr uintptr_t kStartTx = 0x008;
    static constexpr uintptr_t kRxReady = 0x108;  // events
    static constexpr uintptr_t kTxReady = 0x11C;
    static constexpr uintptr_t kInterruptSet = 0x304;
    static constexpr uintptr_t kEnable = 0x500;
    static constexpr uintptr_t kTxPin = 0x50C;
    static constexpr uintptr_t kRxPin = 0x514;
    static constexpr uintptr_t kRxData = 0x518;
    static constexpr uintptr_t kTxData = 0x51C;
    static constexpr uintptr_t kBaudRate = 0x524;
    static constexpr uintptr_t kConfig = 0x56C;
    static constexpr uint32_t kEnabled = 4;
    static constexpr uint32_t kRxReadyInterrupt = 1u << 2;
    static constexpr uint32_t kTxReadyInterrupt = 1u << 7;

    static volatile uint32_t& reg(uintptr_t offset) {
        return *reinterpret_cast<volatile uint32_t*>(Base + offset);
    }

    // The BAUDRATE register's codes for the FT-847's rates, from the nRF51 reference manual;
    // any other rate gets 4800 bps.
    static uint32_t baudRateCode(uint32_t baud) {
        switch (baud) {
        case 9600: return 0x00275000;
        case 57600: return 0x00EBF000;
        default: return 0x0013B000;
        }
    }

    void sendNext() {
        uint8_t byte = 0;
        if (toSend.take(byte)) {
            sending = true;
            reg(kTxData) = byte;
        }
    }

    ByteRing<64> received;
    ByteRing<256> toSend;
    volatile bool sending;
    volatile uint32_t dropped;
};
