#pragma once

// Puts a RadioModel behind the bench's UART. The bench's own fixed-reply radio stays switched
// off (uart.powered false): every reply comes from the model. exchange() hands the model the
// frames the driver has written since the last call, at the times the bench recorded, and moves
// the bytes the model has finished sending by now into the UART's receive buffer. The model's
// refuseWrites switch becomes the UART's failWrites.

#include <cstddef>
#include <cstdint>

#include "HardwareSerial.h"
#include "RadioModel.h"

class BenchRadio {
public:
    BenchRadio(HardwareSerial& uart, RadioModel& radio);

    void exchange();

    // Milliseconds since construction, unaffected by the wrap of the 32-bit clock.
    uint64_t elapsedMs();

private:
    HardwareSerial& uart;
    RadioModel& radio;
    size_t framesTaken;
    uint32_t lastClockMs;
    uint64_t monotonicMs = 0;
};
