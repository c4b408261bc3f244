#include "Settings.h"

#include "HardwareSerial.h"

namespace {

uint32_t radioBaud = 4800;

}  // namespace

void settingsSetRadioBaud(uint32_t baud) { radioBaud = baud; }

uint32_t settingsGetRadio() { return radioBaud; }

bool settingsRadioBaudAllowed(int, uint32_t baud) { return HardwareSerial::baudSupported(baud); }
