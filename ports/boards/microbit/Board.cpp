// The board functions the FT-847 driver calls, on the BBC micro:bit's nRF51822: a Cortex-M0 at
// 16 MHz, as QEMU emulates it (qemu-system-arm -M microbit).
//   HardwareSerial   the radio's CAT port on UART0, interrupt-driven (Nrf51Uart.h)
//   millis()         SysTick, once a millisecond from the 16 MHz processor clock
//   Serial           the console through semihosting, the board's only UART being the radio's
//                    (print and println here; printf is the C library's vsnprintf, in
//                    ports/common/ConsoleFormatted.cpp)
//   settings, rig control   the firmware's modules, in ports/common/FirmwareModules.cpp
// The reset handler (ports/arch/cortex-m/Startup.c) calls boardStart() before the constructors
// and main(); UART0's interrupt follows the system exceptions in the vector table.

#include <stddef.h>
#include <stdint.h>

#include "CorePeripherals.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "Nrf51Uart.h"
#include "Semihosting.h"

namespace {

constexpr uint32_t kClockHz = 16000000;
// The micro:bit's interface chip is wired to P0.24 (the nRF51's TX) and P0.25 (its RX).
constexpr uint32_t kTxPin = 24;
constexpr uint32_t kRxPin = 25;

Nrf51Uart<0x40002000> catUart;  // UART0, wired to the radio's CAT socket

constexpr uint32_t kUart0Interrupt = 1u << 2;  // the nRF51's interrupt 2

volatile uint32_t tickMs;

}  // namespace

extern "C" {
void unexpectedInterrupt();
void boardTickInterrupt() { tickMs = tickMs + 1; }

// The board's interrupts 0 to 2, after the system exceptions in the vector table: the power and
// clock unit and the radio, which the firmware never enables, and UART0.
void uart0Interrupt() { catUart.interrupt(); }
__attribute__((section(".vectors.interrupts"), used)) void (*const boardInterrupts[])() = {
    unexpectedInterrupt, unexpectedInterrupt, uart0Interrupt};

void boardStart() {
    cortex_m::enableInterrupts(kUart0Interrupt);
    cortex_m::startMillisecondTick(kClockHz);
    (void)semihostingCall(kSemihostingWriteText,
                          "board: micro:bit, nRF51822, radio on UART0, console by semihosting\n");
}
}

uint32_t millis() { return tickMs; }

// One UART: the numbers are only names.
HardwareSerial::HardwareSerial(int) {}

// The nRF51's frame is 8N1 whatever the config; see Nrf51Uart.h.
void HardwareSerial::begin(uint32_t baud, int, int, int) { catUart.open(baud, kTxPin, kRxPin); }

int HardwareSerial::available() { return static_cast<int>(catUart.available()); }

int HardwareSerial::read() { return catUart.read(); }

size_t HardwareSerial::write(const uint8_t* data, size_t len) { return catUart.write(data, len); }

// The bytes are queued for the interrupt: on their way already.
void HardwareSerial::flush() {}

Log Serial;

void Log::print(const char* text) { (void)semihostingCall(kSemihostingWriteText, text); }

void Log::println(const char* text) {
    print(text);
    print("\n");
}
