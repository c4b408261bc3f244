// ft847-station: runs the FT-847 SAT driver on a Linux serial port.
//
// One poll() loop owns every descriptor: the serial device, standard output (status lines) and
// standard error (the driver's log). Each pass runs what is due, then sleeps until a byte
// arrives, a descriptor can take output, the driver or the station has a timed step, the
// device is to be opened again, or SIGINT or SIGTERM arrives.

#include <errno.h>
#include <string.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include <math.h>

#include "DriverSchedule.h"
#include "EventLoop.h"
#include "FT847.h"
#include "HardwareSerial.h"
#include "HeldSettings.h"
#include "LineOutput.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "RigctlServer.h"
#include "Settings.h"
#include "StandardStreams.h"
#include "StationController.h"
#include "StationOptions.h"

namespace {

constexpr size_t kOutputBytes = 16384;  // per stream; beyond that, lines are dropped
constexpr int kExitFlushMs = 100;       // for what is still queued when the program ends

StationController* station = nullptr;

// Runs every step that is due now: a driver step can make the next one due at once (a wait
// ends, then a frame goes out), and a station command starts a driver step.
void runDueSteps(FT847& rig, StationController& control, DriverSchedule& schedule) {
    for (int i = 0; i < 8; ++i) {
        const FT847::State before = rig.currentState();
        rig.update();
        schedule.observe(rig.currentState(), millis());
        control.step(millis());
        schedule.observe(rig.currentState(), millis());
        if (rig.currentState() == before) {
            return;
        }
    }
}

int64_t sooner(int64_t a, int64_t b) {
    if (a < 0) {
        return b;
    }
    return b < 0 || a < b ? a : b;
}

void watchOutput(EventLoop& loop, LineOutput& output) {
    if (output.pending()) {
        loop.watch(output.descriptor(), POLLOUT, [&output](short) { output.writeReady(); });
    }
}

}  // namespace

void rigControlFrequencyReceived(uint64_t hz) {
    if (station != nullptr) {
        station->frequencyRead(false, hz);
    }
}

void rigControlSubFrequencyReceived(uint64_t hz, bool) {
    if (station != nullptr) {
        station->frequencyRead(true, hz);
    }
}

int main(int argc, char** argv) {
    if (!openStandardDescriptors()) {
        return 1;
    }
    EventLoop loop;  // from here on, SIGINT and SIGTERM end the loop
    StandardStream standardOutput(1);
    StandardStream standardError(2);
    LineOutput status(standardOutput.descriptor(), kOutputBytes, "station: ");
    LineOutput log(standardError.descriptor(), kOutputBytes, "ft847-station: ");
    // The count of dropped lines goes to stderr, unless that is what could not be written.
    const auto finish = [&](int code) {
        Serial.attach(nullptr);
        status.finish(kExitFlushMs);
        if (status.dropped() > 0 || log.dropped() > 0) {
            log.post("ft847-station: " + std::to_string(status.dropped()) +
                     " status lines and " + std::to_string(log.dropped()) +
                     " log lines could not be written and were dropped\n");
        }
        log.finish(kExitFlushMs);
        return code;
    };

    StationOptions options;
    std::string error;
    std::vector<std::string> notes;
    ProgramArguments arguments;
    switch (readStationArguments(argc, argv, arguments, error)) {
    case ProgramArguments::Outcome::Version:
        status.post("ft847-station " FT847_VERSION "\n");
        return finish(0);
    case ProgramArguments::Outcome::Bad:
        log.post("ft847-station: " + error + "\n");
        return finish(2);
    case ProgramArguments::Outcome::Run:
        break;
    }
    switch (parseStationOptions(arguments.argc(), arguments.argv(), options, error, notes)) {
    case ParseResult::Help:
        status.post(kStationUsage);
        return finish(0);
    case ParseResult::Bad:
        log.post("ft847-station: " + error + "\n");
        return finish(2);
    case ParseResult::Run:
        break;
    }
    for (const std::string& note : notes) {
        log.post("ft847-station: " + note + "\n");
    }
    Serial.attach(&log);

    // The command line's settings are held first; trackers' sets replace them.
    HeldSettings held;
    using Item = HeldSettings::Item;
    if (options.rxHz != 0) {
        held.set(Item::DownlinkFrequency, options.rxHz);
    }
    if (options.rxMode >= 0) {
        held.set(Item::DownlinkMode, static_cast<uint64_t>(options.rxMode));
    }
    if (options.txHz != 0) {
        held.set(Item::UplinkFrequency, options.txHz);
    }
    if (options.txMode >= 0) {
        held.set(Item::UplinkMode, static_cast<uint64_t>(options.txMode));
    }
    if (options.setTone) {
        held.set(Item::Tone, static_cast<uint64_t>(lround(options.toneHz * 10)));
    }

    RigctlServer server(&status);
    if (options.rigctld) {
        std::string reason;
        if (!server.listen(options.rigctldAddress, options.rigctldPort, reason)) {
            log.post("ft847-station: cannot listen on " + visible(options.rigctldAddress.c_str()) +
                     " port " + options.rigctldPort + ": " + reason + "\n");
            return finish(1);
        }
        status.post("station: rigctld on " + visible(options.rigctldAddress.c_str()) + " port " +
                    std::to_string(server.port()) + "\n");
        if (options.rigctldAddress != "127.0.0.1" && options.rigctldAddress != "::1" &&
            options.rigctldAddress != "localhost") {
            log.post("ft847-station: the rigctld protocol has no authentication: whoever reaches " +
                     visible(options.rigctldAddress.c_str()) + " port " +
                     std::to_string(server.port()) + " controls the transmitter\n");
        }
    }

    settingsSetRadioBaud(options.baud);
    HardwareSerial port(options.port.c_str(), options.baud);
    if (!port.open()) {
        if (!options.waitForPort) {
            log.post("ft847-station: cannot open " + visible(options.port.c_str()) + ": " +
                     strerror(errno) + "\n");
            return finish(1);
        }
        status.post("station: waiting for " + visible(options.port.c_str()) + "\n");
    }

    FT847 rig(port);
    if (!rig.begin()) {  // opens nothing more: the port is open, or opened again on its timer
        log.post("ft847-station: baud rate " + std::to_string(options.baud) + " refused\n");
        return finish(1);
    }
    StationController control(rig, held, options.pollMs,
                              [&status](const std::string& line) { status.post(line); });
    RigctlStation trackers{held, false, options.rigctldStrict};
    station = &control;
    DriverSchedule schedule;

    while (!loop.stopRequested()) {
        port.reopenIfDue();
        if (port.takeHangUp()) {
            control.deviceLost();
        }
        runDueSteps(rig, control, schedule);
        if (port.takeHangUp()) {
            control.deviceLost();
        }

        loop.watch(port.descriptor(), POLLIN, [&port](short revents) { port.onReady(revents); });
        if (options.rigctld) {
            trackers.radioConnected = rig.isConnected();
            server.watch(loop, trackers);
        }
        watchOutput(loop, status);
        watchOutput(loop, log);

        const uint32_t now = millis();
        uint32_t lastFrameMs = 0;
        const bool framed = port.lastFrameAt(lastFrameMs);
        int64_t due = schedule.msUntilStep(rig.currentState(), rig.busy(), framed, lastFrameMs, now);
        due = sooner(due, control.msUntilDue(now));
        due = sooner(due, port.msUntilReopen(now));
        if (due >= 0) {
            // What was due has just run; a step still due was stamped a millisecond later
            // than it looked, and is taken on the next tick.
            loop.wakeWithinMs(static_cast<uint64_t>(due > 0 ? due : 1));
        }
        loop.wait();
    }
    station = nullptr;
    status.post("station: stopped\n");
    return finish(0);
}
