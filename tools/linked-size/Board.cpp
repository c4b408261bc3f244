// Board-side definitions of the five platform headers for the size images: a UART behind
// memory-mapped registers, a millisecond counter fed by a timer interrupt, a console on a
// second UART, and settings and rig-control modules that keep their values in RAM. Never run;
// the code is what a small board's firmware has, so that the images link and compare fairly.

#include "Board.h"

#include <stddef.h>
#include <stdint.h>

#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"

namespace {

struct UartRegisters {
    volatile uint32_t status;  // bit 0: a byte received, bit 1: room to send, bit 2: idle
    volatile uint32_t data;
    volatile uint32_t baud;
    volatile uint32_t config;
};

constexpr uint32_t kRxReady = 1u << 0;
constexpr uint32_t kTxRoom = 1u << 1;
constexpr uint32_t kTxIdle = 1u << 2;
constexpr uintptr_t kCatUartBase = 0x40011000u;
constexpr uintptr_t kConsoleUartBase = 0x40004400u;
constexpr uint32_t kBusClockHz = 48000000u;

UartRegisters& catRegisters() { return *reinterpret_cast<UartRegisters*>(kCatUartBase); }
UartRegisters& consoleRegisters() { return *reinterpret_cast<UartRegisters*>(kConsoleUartBase); }

volatile uint32_t tickMs;
volatile uint32_t radioBaud = 4800;
volatile uint64_t mainVfoHz;
volatile uint64_t subVfoHz;

void consolePut(char c) {
    while ((consoleRegisters().status & kTxRoom) == 0) {
    }
    consoleRegisters().data = static_cast<uint8_t>(c);
}

}  // namespace

// The timer interrupt, once a millisecond.
extern "C" void boardTickInterrupt() { tickMs = tickMs + 1; }

uint32_t millis() { return tickMs; }

HardwareSerial::HardwareSerial(int) {}

void HardwareSerial::begin(uint32_t baud, int config, int, int) {
    catRegisters().baud = kBusClockHz / baud;
    catRegisters().config = static_cast<uint32_t>(config);
}

int HardwareSerial::available() { return (catRegisters().status & kRxReady) != 0 ? 1 : 0; }

int HardwareSerial::read() {
    if ((catRegisters().status & kRxReady) == 0) {
        return -1;
    }
    return static_cast<int>(catRegisters().data & 0xFF);
}

size_t HardwareSerial::write(const uint8_t* data, size_t len) {
    size_t taken = 0;
    while (taken < len && (catRegisters().status & kTxRoom) != 0) {
        catRegisters().data = data[taken];
        ++taken;
    }
    return taken;
}

void HardwareSerial::flush() {
    while ((catRegisters().status & kTxIdle) == 0) {
    }
}

Log Serial;

volatile RadioRequest radioRequest;

void Log::print(const char* text) {
    while (*text != '\0') {
        consolePut(*text++);
    }
}

void Log::println(const char* text) {
    print(text);
    consolePut('\r');
    consolePut('\n');
}

uint32_t settingsGetRadio() { return radioBaud; }

bool settingsRadioBaudAllowed(int radio, uint32_t baud) {
    return radio == 1 && (baud == 4800 || baud == 9600 || baud == 57600);
}

void rigControlFrequencyReceived(uint64_t hz) { mainVfoHz = hz; }

void rigControlSubFrequencyReceived(uint64_t hz, bool) { subVfoHz = hz; }

extern "C" void boardStart() {
    consoleRegisters().baud = kBusClockHz / 115200u;
    consoleRegisters().config = 0x08;
}
