// The globals of the test platform.

#include "FT847.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"
#include "Tick.h"

uint32_t clockMs = 0;
Log Serial;
TestSettings testSettings;
std::vector<FrequencyReport> frequencyReports;

void tick(FT847& rig, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        ++clockMs;
        static_cast<SerialTransport&>(rig).update();
    }
}
