// Instructions per update() on an emulated board, counted exactly: the target's counterpart of
// tools/cost/UpdateCostProbe.cpp, and the same three phases: the connect handshake, a mode
// command with its read-back, and a long stretch connected and idle, one millisecond per
// update(). Each phase calls update() through its own function; every call is counted on its
// own, between two reads of the core's counter, and the reads' own instructions are taken away
// by counting a function that only returns the same way. So a figure is what callgrind counts
// on the host: the phase function (load of the vtable, the indirect jump) and everything
// update() does, the board's UART and clock calls included.
//
// The counter:
//   RISC-V   minstret, the retired instructions; QEMU run with -icount shift=0 makes it exact
//   Arm      SysTick, counting down at the board's clock (FT847_CLOCK_HZ) on QEMU's virtual
//            clock; run with -icount shift=N (FT847_ICOUNT_SHIFT) each instruction moves that
//            clock 2^N ns, at 25 MHz and shift=10 25.6 counts, so the count of a call, rounded,
//            is its instructions exactly (QEMU reads the clock at the very instruction that
//            reads the counter; a count is off by at most one)
// Before it counts, the probe checks the counter on a function of exactly ten instructions.
//
// The board under the driver is the probe's own: a UART whose radio answers every read frame
// at once with 14 58 00 00 08 (SAT VFO at 145.8 MHz, FM), a clock the probe moves, a console
// that drops everything. Results go out through semihosting, one "name value" line each:
//   calibration            the count of the ten-instruction function (10)
//   PHASE-instructions     the instructions of all of a phase's update() calls
//   PHASE-updates          the number of those calls
// The exit status is 0 when every phase went as the radio makes it go, 1 otherwise.

#include <stddef.h>
#include <stdint.h>

#include "ByteRing.h"
#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Semihosting.h"
#include "Settings.h"

namespace {

uint32_t clockMs;

// The radio behind the probe's UART.
constexpr uint8_t kReadReply[5] = {0x14, 0x58, 0x00, 0x00, 0x08};
ByteRing<16> fromRadio;
uint32_t framesWritten;

}  // namespace

uint32_t millis() { return clockMs; }

HardwareSerial::HardwareSerial(int) {}

void HardwareSerial::begin(uint32_t, int, int, int) {}

int HardwareSerial::available() { return static_cast<int>(fromRadio.count()); }

int HardwareSerial::read() {
    uint8_t byte = 0;
    return fromRadio.take(byte) ? byte : -1;
}

size_t HardwareSerial::write(const uint8_t* data, size_t len) {
    ++framesWritten;
    if (len == 5 && (data[4] == 0x13 || data[4] == 0x23)) {
        for (uint8_t byte : kReadReply) {
            (void)fromRadio.put(byte);
        }
    }
    return len;
}

void HardwareSerial::flush() {}

Log Serial;
void Log::print(const char*) {}
void Log::println(const char*) {}
void Log::printf(const char*, ...) {}

uint32_t settingsGetRadio() { return 4800; }
bool settingsRadioBaudAllowed(int, uint32_t) { return true; }
void rigControlFrequencyReceived(uint64_t) {}
void rigControlSubFrequencyReceived(uint64_t, bool) {}

extern "C" {
__attribute__((noinline, noipa)) void handshakeUpdate(SerialTransport& rig) { rig.update(); }
__attribute__((noinline, noipa)) void commandUpdate(SerialTransport& rig) { rig.update(); }
__attribute__((noinline, noipa)) void idleUpdate(SerialTransport& rig) { rig.update(); }
// Only a return, and nine instructions and a return: the counter's reference and its check.
void emptyUpdate(SerialTransport& rig);
void tenInstructions(SerialTransport& rig);
}

#if defined(__riscv)

__asm__(
    "  .text\n"
    "  .global emptyUpdate\n"
    "emptyUpdate:\n"
    "  ret\n"
    "  .global tenInstructions\n"
    "tenInstructions:\n"
    "  .rept 9\n"
    "  nop\n"
    "  .endr\n"
    "  ret\n");

namespace {

uint32_t counter() {
    uint32_t retired = 0;
    __asm__ volatile(".option push\n.option arch, +zicsr\ncsrr %0, minstret\n.option pop"
                     : "=r"(retired));
    return retired;
}

uint32_t instructions(uint32_t before, uint32_t after) { return after - before; }

}  // namespace

#elif defined(__arm__)

__asm__(
    "  .text\n"
    "  .thumb\n"
    "  .syntax unified\n"
    "  .global emptyUpdate\n"
    "  .type emptyUpdate, %function\n"
    "  .thumb_func\n"
    "emptyUpdate:\n"
    "  bx lr\n"
    "  .global tenInstructions\n"
    "  .type tenInstructions, %function\n"
    "  .thumb_func\n"
    "tenInstructions:\n"
    "  .rept 9\n"
    "  nop\n"
    "  .endr\n"
    "  bx lr\n");

namespace {

struct SysTickRegisters {
    volatile uint32_t control;
    volatile uint32_t reload;
    volatile uint32_t value;
};
SysTickRegisters& sysTick() { return *reinterpret_cast<SysTickRegisters*>(0xE000E010u); }
constexpr uint32_t kCountMask = 0xFFFFFFu;  // 24 bits, counting down

// An instruction is 2^N ns of the virtual clock, FT847_CLOCK_HZ * 2^N / 10^9 counts: 25.6 at
// 25 MHz and shift=10. Kept as a fraction in lowest terms, 128 / 5 there.
constexpr uint64_t gcd(uint64_t a, uint64_t b) { return b == 0 ? a : gcd(b, a % b); }
constexpr uint64_t kCountsTimes1e9 = static_cast<uint64_t>(FT847_CLOCK_HZ) << FT847_ICOUNT_SHIFT;
constexpr uint64_t k1e9 = 1000000000u;
constexpr uint64_t kCommon = gcd(kCountsTimes1e9, k1e9);
constexpr uint32_t kCountsNumerator = static_cast<uint32_t>(kCountsTimes1e9 / kCommon);
constexpr uint32_t kCountsDenominator = static_cast<uint32_t>(k1e9 / kCommon);
static_assert(static_cast<uint64_t>(kCountMask) * kCountsDenominator <= 0xFFFFFFFFu,
              "a count in instructions overflows 32 bits");

uint32_t counter() { return sysTick().value; }

uint32_t instructions(uint32_t before, uint32_t after) {
    const uint32_t counts = (before - after) & kCountMask;
    return (counts * kCountsDenominator + kCountsNumerator / 2) / kCountsNumerator;
}

}  // namespace

// Called by the reset handler: SysTick free-running over its whole 24 bits from the processor
// clock, no interrupt.
extern "C" void boardStart() {
    sysTick().reload = kCountMask;
    sysTick().value = 0;
    sysTick().control = (1u << 2) | (1u << 0);
}

#else
#error "the cost probe counts instructions on RISC-V and Arm only"
#endif

namespace {

constexpr uint32_t kIdleUpdates = 100000;
constexpr uint32_t kPhaseLimit = 10000;  // updates; far more than a phase takes

void write(const char* text) { (void)semihostingCall(kSemihostingWriteText, text); }

void writeFigure(const char* name, uint32_t value) {
    char digits[11];
    size_t at = sizeof digits;
    digits[--at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    write(name);
    write(" ");
    write(&digits[at]);
    write("\n");
}

[[noreturn]] void finish(bool passed) {
    const uintptr_t reason = passed ? kSemihostingApplicationExit : kSemihostingRunTimeError;
    (void)semihostingCall(kSemihostingExit, reinterpret_cast<const void*>(reason));
    for (;;) {
    }
}

[[noreturn]] void failure(const char* what) {
    write("cost probe: ");
    write(what);
    write("\n");
    finish(false);
}

// The instructions between two reads of the counter around a call of phase(rig). Not inlined,
// so that the instructions around the call are the same whatever the phase.
__attribute__((noinline, noipa)) uint32_t between(void (*phase)(SerialTransport&),
                                                  SerialTransport& rig) {
    const uint32_t before = counter();
    phase(rig);
    const uint32_t after = counter();
    return instructions(before, after);
}

// The instructions of one call of phase(rig), from its first instruction to its return.
uint32_t counted(void (*phase)(SerialTransport&), SerialTransport& rig) {
    return between(phase, rig) - between(emptyUpdate, rig) + 1;
}

}  // namespace

int main() {
    HardwareSerial uart(1);
    FT847 rig(uart);

    const uint32_t calibration = counted(tenInstructions, rig);
    writeFigure("calibration", calibration);
    if (calibration != 10) {
        failure("the counter is not exact: a ten-instruction function did not count 10");
    }

    // From begin() to connected: CAT ON, SAT ON, the SAT RX and SAT TX reads.
    if (!rig.begin()) {
        failure("begin() refused");
    }
    uint32_t total = 0;
    uint32_t updates = 0;
    while (!rig.isConnected() && updates < kPhaseLimit) {
        ++clockMs;
        total += counted(handshakeUpdate, rig);
        ++updates;
    }
    if (!rig.isConnected() || framesWritten != 4) {
        failure("the handshake did not connect with four frames");
    }
    writeFigure("handshake-instructions", total);
    writeFigure("handshake-updates", updates);

    // Out of the frame spacing of the last read, uncounted, so that the command starts idle.
    while (rig.busy()) {
        ++clockMs;
        rig.update();
    }

    // From setModeFm() until the driver takes the next command: the mode frame, the read-back
    // frame 100 ms later, its reply, then the 100 ms spacing after it.
    if (!rig.setModeFm()) {
        failure("setModeFm() refused");
    }
    total = 0;
    updates = 0;
    while (rig.busy() && updates < kPhaseLimit) {
        ++clockMs;
        total += counted(commandUpdate, rig);
        ++updates;
    }
    if (rig.busy() || !rig.isConnected() || framesWritten != 6) {
        failure("the mode command did not end connected and idle after two frames");
    }
    writeFigure("command-instructions", total);
    writeFigure("command-updates", updates);

    total = 0;
    for (uint32_t i = 0; i < kIdleUpdates; ++i) {
        ++clockMs;
        total += counted(idleUpdate, rig);
    }
    if (rig.busy() || !rig.isConnected() || framesWritten != 6) {
        failure("the idle driver did not stay connected, idle and silent");
    }
    writeFigure("idle-instructions", total);
    writeFigure("idle-updates", kIdleUpdates);
    finish(true);
}
