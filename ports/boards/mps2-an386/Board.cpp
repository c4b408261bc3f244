// The board functions the FT-847 driver calls, on Arm's MPS2 board with the AN386 image: a
// Cortex-M4F at 25 MHz, as QEMU emulates it (qemu-system-arm -M mps2-an386).
//   HardwareSerial   the radio's CAT port on UART0, interrupt-driven
//   millis()         SysTick, once a millisecond from the 25 MHz processor clock
//   Serial           the console on UART1, queued; a line that does not fit is cut, never waited
//                    for (print and println here; printf is the C library's vsnprintf, in
//                    ports/common/ConsoleFormatted.cpp)
//   settings, rig control   the firmware's modules, in ports/common/FirmwareModules.cpp
// boardStart() brings these up; the reset handler (ports/arch/cortex-m/Startup.c) calls it
// before the constructors and main(). The UARTs' interrupts follow the system exceptions in
// the vector table.

#include <stddef.h>
#include <stdint.h>

#include "CmsdkUart.h"
#include "CorePeripherals.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"

namespace {

constexpr uint32_t kClockHz = 25000000;
constexpr uint32_t kConsoleBaud = 115200;

CmsdkUart<0x40004000> catUart;  // UART0, wired to the radio's CAT socket
CmsdkUart<0x40005000> console;  // UART1

// UART0 receives on interrupt 0 and sends on 1, UART1 on 2 and 3.
constexpr uint32_t kUartInterrupts = 0xFu;

volatile uint32_t tickMs;

void consoleText(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    (void)console.write(reinterpret_cast<const uint8_t*>(text), length);
}

}  // namespace

extern "C" {
void boardTickInterrupt() { tickMs = tickMs + 1; }

// The board's interrupts 0 to 3, after the system exceptions in the vector table.
void uart0ReceiveInterrupt() { catUart.receiveInterrupt(); }
void uart0TransmitInterrupt() { catUart.transmitInterrupt(); }
void uart1ReceiveInterrupt() { console.receiveInterrupt(); }
void uart1TransmitInterrupt() { console.transmitInterrupt(); }
__attribute__((section(".vectors.interrupts"), used)) void (*const boardInterrupts[])() = {
    uart0ReceiveInterrupt, uart0TransmitInterrupt, uart1ReceiveInterrupt, uart1TransmitInterrupt};

void boardStart() {
    console.open(kConsoleBaud);
    cortex_m::enableInterrupts(kUartInterrupts);
    cortex_m::startMillisecondTick(kClockHz);
    consoleText("board: MPS2 AN386, radio on UART0, console on UART1\r\n");
}
}

uint32_t millis() { return tickMs; }

// One port: the MPS2's pins are wired to its UARTs, so the numbers are only names.
HardwareSerial::HardwareSerial(int) {}

// The CMSDK UART's frame is 8N1 whatever the config; see CmsdkUart.h.
void HardwareSerial::begin(uint32_t baud, int, int, int) { catUart.open(baud); }

int HardwareSerial::available() { return static_cast<int>(catUart.available()); }

int HardwareSerial::read() { return catUart.read(); }

size_t HardwareSerial::write(const uint8_t* data, size_t len) { return catUart.write(data, len); }

// The bytes are queued for the transmit interrupt: on their way already.
void HardwareSerial::flush() {}

Log Serial;

void Log::print(const char* text) { consoleText(text); }

void Log::println(const char* text) {
    consoleText(text);
    consoleText("\r\n");
}
