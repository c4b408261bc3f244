// ft847-station: runs the FT-847 SAT driver on a Linux serial port.
//
// One poll() loop owns every descriptor: the serial device, standard output (status lines) and
// standard error (the driver's log). Each pass runs what is due, then sleeps until a byte
// arrives, a descriptor can take output, the driver or the station has a timed step, the
// device is to be opened again, systemd is owed a message, or a signal arrives: SIGINT or
// SIGTERM ends the station, and so does its terminal's hang-up; any other SIGHUP reads its
// configuration again.

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "EventLoop.h"
#include "FT847.h"
#include "HardwareSerial.h"
#include "HeldSettings.h"
#include "LineOutput.h"
#include "Log.h"
#include "Millis.h"
#include "ProgramOutput.h"
#include "RigControl.h"
#include "ReloadPlan.h"
#include "RigctlServer.h"
#include "ServiceNotifier.h"
#include "ServiceStatus.h"
#include "Settings.h"
#include "StandardStreams.h"
#include "StationController.h"
#include "StationOptions.h"

namespace {

constexpr size_t kOutputBytes = 16384;  // per stream; beyond that, lines are dropped

StationController* station = nullptr;

// Runs every step that is due now: a driver step can make the next one due at once (a wait
// ends, then a frame goes out), and a station command starts a driver step.
void runDueSteps(FT847& rig, StationController& control) {
    for (int i = 0; i < 8; ++i) {
        const FT847::State before = rig.currentState();
        rig.update();
        control.step(millis());
        if (rig.currentState() == before) {
            return;
        }
    }
}

// Milliseconds until the driver's next step, the station's next errand or the port's next
// attempt to open the device, whichever comes first; FT847::kUntilCommand when none is due.
uint32_t msUntilDue(const FT847& rig, const StationController& control,
                    const HardwareSerial& port) {
    const uint32_t now = millis();
    uint32_t due = std::min(rig.msUntilNextStep(), control.next(now).inMs);
    const int64_t reopen = port.msUntilReopen(now);
    if (reopen >= 0 && static_cast<uint64_t>(reopen) < due) {
        due = static_cast<uint32_t>(reopen);
    }
    return due;
}

// The warning a tracker server on any address but the loopback's calls for.
void warnIfOpen(ProgramOutput& output, const std::string& address, const std::string& port) {
    if (address != "127.0.0.1" && address != "::1" && address != "localhost") {
        output.error("the rigctld protocol has no authentication: whoever reaches " +
                     visible(address.c_str()) + " port " + port + " controls the transmitter");
    }
}

// Reads the command line and the configuration file again, and changes what may change while
// the station runs (ReloadPlan). A file that no longer reads changes nothing.
void reload(int argc, char** argv, StationOptions& running, HeldSettings& held,
            StationController& control, RigctlStation& trackers, ProgramOutput& output) {
    ProgramArguments arguments;
    StationOptions read;
    std::string error;
    std::vector<std::string> notes;
    if (readStationArguments(argc, argv, arguments, error) != ProgramArguments::Outcome::Run ||
        parseStationOptions(arguments.argc(), arguments.argv(), read, error, notes) !=
            ParseResult::Run) {
        output.error("reload refused, nothing changed: " + error);
        return;
    }
    for (const std::string& note : notes) {
        output.error(note);
    }
    const ReloadPlan plan = planReload(running, read);
    for (const std::string& line : plan.refused) {
        output.error("reload: " + line);
    }
    for (const HeldSetting& setting : plan.hold) {
        held.set(setting.item, setting.value);
    }
    control.setPollInterval(plan.next.pollMs);
    trackers.strict = plan.next.rigctldStrict;
    running = plan.next;
    std::string changed;
    for (const std::string& name : plan.changed) {
        changed += (changed.empty() ? "" : ", ") + name;
    }
    output.out().post("station: reloaded: " +
                      (changed.empty() ? std::string("nothing changed") : changed + " changed") +
                      "\n");
}

// How the station stands now, for systemctl status.
ServiceStatus serviceStatus(const StationOptions& options, const HardwareSerial& port,
                            const FT847& rig, const StationController& control,
                            const RigctlServer& server) {
    using Link = ServiceStatus::Link;
    ServiceStatus status;
    status.device = visible(options.port.c_str());
    status.baud = options.baud;
    status.reason = control.outageReason();
    status.link = !port.isOpen()         ? Link::WaitingForDevice
                  : rig.isConnected()    ? Link::Connected
                  : status.reason.empty() ? Link::Connecting
                                         : Link::NotAnswering;
    if (status.link == Link::Connected) {
        (void)control.radioFrequency(Vfo::Downlink, status.rxHz);
        (void)control.radioFrequency(Vfo::Uplink, status.txHz);
        status.rxMode = rig.rxMode();
        status.txMode = rig.txMode();
    }
    status.trackers = options.rigctldPort ? static_cast<int>(server.clients()) : -1;
    return status;
}

}  // namespace

// The SAT TX VFO, the radio's main VFO, carries the uplink.
void rigControlFrequencyReceived(uint64_t hz) {
    if (station != nullptr) {
        station->frequencyRead(Vfo::Uplink, hz);
    }
}

void rigControlSubFrequencyReceived(uint64_t hz, bool) {
    if (station != nullptr) {
        station->frequencyRead(Vfo::Downlink, hz);
    }
}

int main(int argc, char** argv) {
    if (!openStandardDescriptors()) {
        return 1;
    }
    // From here on, SIGINT and SIGTERM end the loop, and so does the hang-up of the terminal the
    // station was started from; any other SIGHUP asks it to reload.
    EventLoop loop(EventLoop::OnHangUp::Reload);
    ProgramOutput output("ft847-station", {kOutputBytes, "station: ", "status"},
                         {kOutputBytes, "ft847-station: ", "log"});
    LineOutput& status = output.out();
    LineOutput& log = output.err();
    const auto finish = [&](int code) {
        Serial.attach(nullptr);
        return output.finish(code);
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
        return output.endWithoutRunning(ParseResult::Bad, kStationUsage, error);
    case ProgramArguments::Outcome::Run:
        break;
    }
    const ParseResult parsed =
        parseStationOptions(arguments.argc(), arguments.argv(), options, error, notes);
    if (parsed != ParseResult::Run) {
        return output.endWithoutRunning(parsed, kStationUsage, error);
    }
    for (const std::string& note : notes) {
        output.error(note);
    }
    if (arguments.checkOnly()) {
        // What a start would say of these options, and nothing opened.
        if (options.rigctldPort) {
            warnIfOpen(output, options.rigctldAddress, *options.rigctldPort);
        }
        return finish(0);
    }
    Serial.attach(&log);

    // The command line's settings are held first; trackers' sets replace them.
    HeldSettings held;
    for (const HeldSetting& setting : heldSettingsOf(options)) {
        held.set(setting.item, setting.value);
    }

    RigctlServer server(&status);
    if (options.rigctldPort) {
        std::string reason;
        if (!server.listen(options.rigctldAddress, *options.rigctldPort, reason)) {
            output.error("cannot listen on " + visible(options.rigctldAddress.c_str()) + " port " +
                         *options.rigctldPort + ": " + reason);
            return finish(1);
        }
        status.post("station: rigctld on " + visible(options.rigctldAddress.c_str()) + " port " +
                    std::to_string(server.port()) + "\n");
        warnIfOpen(output, options.rigctldAddress, std::to_string(server.port()));
    }

    settingsSetRadioBaud(options.baud);
    // The port keeps the path's characters for good; a reload replaces `options`.
    const std::string devicePath = options.port;
    HardwareSerial port(devicePath.c_str(), options.baud);
    if (!port.open()) {
        if (!options.waitForPort) {
            output.error("cannot open " + visible(options.port.c_str()) + ": " + strerror(errno));
            return finish(1);
        }
        status.post("station: waiting for " + visible(options.port.c_str()) + "\n");
    }

    FT847 rig(port);
    if (!rig.begin()) {  // opens nothing more: the port is open, or opened again on its timer
        output.error("baud rate " + std::to_string(options.baud) + " refused");
        return finish(1);
    }
    StationController control(
        rig, held, options.pollMs, [&status](const std::string& line) { status.post(line); },
        {visible(options.port.c_str()), options.baud, [&port] { return port.bytesReceived(); }});
    RigctlStation trackers{held, false, options.rigctldStrict};
    station = &control;

    // The serial device is open (or waited for) and the tracker server listens.
    ServiceNotifier systemd(ServiceNotifier::fromProcess(), EventLoop::nowUs(),
                            [&output](const std::string& line) { output.error(line); });
    systemd.ready(EventLoop::nowUs());

    while (!loop.stopRequested()) {
        if (loop.takeReloadRequest()) {
            systemd.reloading(EventLoop::nowUs());
            reload(argc, argv, options, held, control, trackers, output);
            systemd.ready(EventLoop::nowUs());
        }
        port.reopenIfDue();
        if (port.takeHangUp()) {
            control.deviceLost();
        }
        runDueSteps(rig, control);
        if (port.takeHangUp()) {
            control.deviceLost();
        }

        loop.watch(port.descriptor(), POLLIN, [&port](short revents) { port.onReady(revents); });
        if (options.rigctldPort) {
            trackers.radioConnected = rig.isConnected();
            server.watch(loop, trackers);
        }
        output.watch(loop);

        const uint32_t due = msUntilDue(rig, control, port);
        if (due != FT847::kUntilCommand) {
            // What was due has just run; a step still due now waits for the next tick, so that
            // the loop never spins.
            loop.wakeWithinMs(due > 0 ? due : 1);
        }
        if (systemd.active()) {
            const uint64_t nowUs = EventLoop::nowUs();
            systemd.status(serviceStatus(options, port, rig, control, server).text());
            systemd.serve(nowUs);
            const uint64_t notifyUs = systemd.usUntilDue(nowUs);
            if (notifyUs != ServiceNotifier::kNever) {
                loop.wakeWithinUs(std::max<uint64_t>(notifyUs, 1000));
            }
        }
        loop.wait();
    }
    systemd.stopping(EventLoop::nowUs());
    station = nullptr;
    status.post("station: stopped\n");
    return finish(0);
}
