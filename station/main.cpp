// ft847-station: runs the FT-847 SAT driver on a Linux serial port.

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FT847.h"
#include "HardwareSerial.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"
#include "StationController.h"
#include "StationOptions.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

void sleepOneMillisecond() {
    const timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
}

}  // namespace

void rigControlFrequencyReceived(uint64_t hz) {
    std::printf("station: TX %llu Hz\n", static_cast<unsigned long long>(hz));
    std::fflush(stdout);
}

void rigControlSubFrequencyReceived(uint64_t hz, bool) {
    std::printf("station: RX %llu Hz\n", static_cast<unsigned long long>(hz));
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    StationOptions options;
    std::string error;
    std::vector<std::string> notes;
    switch (parseStationOptions(argc, argv, options, error, notes)) {
    case ParseResult::Help:
        std::fputs(kStationUsage, stdout);
        return 0;
    case ParseResult::Bad:
        std::fprintf(stderr, "ft847-station: %s\n", error.c_str());
        return 2;
    case ParseResult::Run:
        break;
    }
    for (const std::string& note : notes) {
        std::fprintf(stderr, "ft847-station: %s\n", note.c_str());
    }

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    settingsSetRadioBaud(options.baud);
    HardwareSerial port(options.port.c_str());
    if (!port.open()) {
        if (!options.waitForPort) {
            std::fprintf(stderr, "ft847-station: cannot open %s: %s\n", options.port.c_str(),
                         strerror(errno));
            return 1;
        }
        std::fprintf(stdout, "station: waiting for %s\n", options.port.c_str());
        std::fflush(stdout);
    }

    FT847 rig(port);
    if (!rig.begin()) {
        std::fprintf(stderr, "ft847-station: baud rate %u refused\n", options.baud);
        return 1;
    }
    StationController station(rig, options, stdout);
    while (stopRequested == 0) {
        rig.update();
        station.step(millis());
        sleepOneMillisecond();
    }
    std::fputs("station: stopped\n", stdout);
    return 0;
}
