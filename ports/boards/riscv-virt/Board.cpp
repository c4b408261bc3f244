// The board functions the FT-847 driver calls, on QEMU's RISC-V "virt" board run as an RV32IMAC
// part (qemu-system-riscv32 -M virt -bios none):
//   HardwareSerial   the radio's CAT port on the NS16550 UART, its 16-byte FIFOs emptied and
//                    filled by the millisecond tick, so nothing waits for the line
//   millis()         the machine timer (CLINT, 10 MHz), one interrupt a millisecond
//   Serial           the console through semihosting, the board's only UART being the radio's
//                    (print and println here; printf is the C library's vsnprintf, in
//                    ports/common/ConsoleFormatted.cpp)
//   settings, rig control   the firmware's modules, in ports/common/FirmwareModules.cpp
// The reset handler (ports/arch/rv32/Startup.c) calls boardStart() before the constructors and
// main(), and its trap handler calls boardTickInterrupt() on the machine timer's interrupt.

#include <stddef.h>
#include <stdint.h>

#include "ByteRing.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "Semihosting.h"

namespace {

// NS16550 registers, one byte each.
constexpr uintptr_t kUart = 0x10000000u;
constexpr uintptr_t kData = 0;          // receive buffer, transmit holding; divisor low (DLAB)
constexpr uintptr_t kInterrupts = 1;    // interrupt enable; divisor high (DLAB)
constexpr uintptr_t kFifoControl = 2;
constexpr uintptr_t kLineControl = 3;
constexpr uintptr_t kLineStatus = 5;
constexpr uint8_t kDivisorLatch = 0x80;     // line control: DLAB
constexpr uint8_t kEightDataTwoStop = 0x07;  // line control: 8 data bits, 2 stop bits, no parity
constexpr uint8_t kFifosOnAndCleared = 0x07;
constexpr uint8_t kDataReady = 0x01;           // line status
constexpr uint8_t kTransmitFifoEmpty = 0x20;
constexpr uint32_t kFifoBytes = 16;
// QEMU gives the line 399,193 / divisor bits per second (the clock its device tree names,
// 3.6864 MHz, is not the one it uses), so that the pseudo-terminal gets the radio's speed.
constexpr uint32_t kUartBaudBase = 399193;

volatile uint8_t& uart(uintptr_t offset) {
    return *reinterpret_cast<volatile uint8_t*>(kUart + offset);
}

// CLINT of hart 0: mtime and mtimecmp, counting at 10 MHz.
constexpr uint32_t kTimerHz = 10000000;
volatile uint64_t& machineTime() { return *reinterpret_cast<volatile uint64_t*>(0x0200BFF8u); }
volatile uint64_t& machineTimeCompare() {
    return *reinterpret_cast<volatile uint64_t*>(0x02004000u);
}
constexpr uint32_t kMachineTimerEnable = 1u << 7;  // mie.MTIE
constexpr uint32_t kInterruptsEnable = 1u << 3;    // mstatus.MIE

ByteRing<64> received;
ByteRing<256> toSend;
volatile uint32_t dropped;
volatile uint32_t tickMs;

void moveBytes() {
    while ((uart(kLineStatus) & kDataReady) != 0) {
        if (!received.put(uart(kData))) {
            dropped = dropped + 1;
        }
    }
    uint8_t byte = 0;
    if ((uart(kLineStatus) & kTransmitFifoEmpty) != 0) {
        for (uint32_t n = 0; n < kFifoBytes && toSend.take(byte); ++n) {
            uart(kData) = byte;
        }
    }
}


void setCsrBits(uint32_t mie, uint32_t mstatus) {
    __asm__ volatile(
        ".option push\n.option arch, +zicsr\ncsrs mie, %0\ncsrs mstatus, %1\n.option pop"
        :
        : "r"(mie), "r"(mstatus));
}

}  // namespace

extern "C" {
// The machine timer, once a millisecond; the next compare value is one millisecond after the
// last, so a late interrupt is followed at once by the next, and no millisecond is lost.
void boardTickInterrupt() {
    machineTimeCompare() = machineTimeCompare() + kTimerHz / 1000;
    tickMs = tickMs + 1;
    moveBytes();
}

void boardStart() {
    machineTimeCompare() = machineTime() + kTimerHz / 1000;
    setCsrBits(kMachineTimerEnable, kInterruptsEnable);
    (void)semihostingCall(kSemihostingWriteText,
                          "board: virt, RV32IMAC, radio on the NS16550 UART, console by semihosting\n");
}
}

uint32_t millis() { return tickMs; }

HardwareSerial::HardwareSerial(int) {}

void HardwareSerial::begin(uint32_t baud, int, int, int) {
    const uint32_t divisor = (kUartBaudBase + baud / 2) / baud;
    uart(kInterrupts) = 0;  // polled by the tick
    uart(kLineControl) = kDivisorLatch;
    uart(kData) = static_cast<uint8_t>(divisor);
    uart(kInterrupts) = static_cast<uint8_t>(divisor >> 8);
    // The FT-847's frame: 8 data bits, no parity, 2 stop bits.
    uart(kLineControl) = kEightDataTwoStop;
    uart(kFifoControl) = kFifosOnAndCleared;
}

int HardwareSerial::available() { return static_cast<int>(received.count()); }

int HardwareSerial::read() {
    uint8_t byte = 0;
    return received.take(byte) ? byte : -1;
}

// Queued; the bytes that fit go into the UART's FIFO at once, the rest on the next tick.
// Masked, since the tick takes from the same ring.
size_t HardwareSerial::write(const uint8_t* data, size_t len) {
    size_t taken = 0;
    while (taken < len && toSend.put(data[taken])) {
        ++taken;
    }
    uint32_t status = 0;
    __asm__ volatile(".option push\n.option arch, +zicsr\ncsrrc %0, mstatus, %1\n.option pop"
                     : "=r"(status)
                     : "r"(kInterruptsEnable)
                     : "memory");
    moveBytes();
    __asm__ volatile(".option push\n.option arch, +zicsr\ncsrs mstatus, %0\n.option pop"
                     :
                     : "r"(status & kInterruptsEnable)
                     : "memory");
    return taken;
}

void HardwareSerial::flush() {}

Log Serial;

void Log::print(const char* text) { (void)semihostingCall(kSemihostingWriteText, text); }

void Log::println(const char* text) {
    print(text);
    print("\n");
}
