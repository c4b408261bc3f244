#pragma once

#include <stddef.h>
#include <stdint.h>

// The interface through which the firmware steers a radio over a serial line. A driver is
// non-blocking: begin() only schedules, and all timed work happens in update(), which the
// owner's main loop calls over and over.
class SerialTransport {
public:
    virtual ~SerialTransport() = 0;

    virtual bool begin() = 0;
    virtual void update() = 0;
    virtual bool isConnected() const = 0;
    virtual size_t write(const uint8_t* data, size_t len) = 0;
    virtual bool setFrequency(uint64_t hz) = 0;
    virtual bool selectVfoA() = 0;
    virtual bool selectVfoB() = 0;
    virtual bool selectMain() = 0;
    virtual bool selectSub() = 0;
    virtual bool swapMainSub() = 0;
    virtual bool setModeLsb() = 0;
    virtual bool setModeUsb() = 0;
    virtual bool setModeCw(bool narrow) = 0;
    virtual bool setModeFm() = 0;
};

// Pure, yet a derived driver's destructor still runs this body.
inline SerialTransport::~SerialTransport() = default;
