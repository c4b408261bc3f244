#include "ReloadPlan.h"

#include <optional>

#include "CommandLine.h"

namespace {

using Item = HeldSettings::Item;

// Every setting the station holds, in the order of the items, with its option's name.
struct Field {
    Item item;
    const char* name;
    std::optional<uint64_t> (*of)(const StationOptions&);
};

template <typename T>
std::optional<uint64_t> widened(const std::optional<T>& value) {
    return value ? std::optional<uint64_t>(*value) : std::nullopt;
}

const Field kFields[] = {
    {Item::DownlinkFrequency, "rx-freq", [](const StationOptions& o) { return o.rxHz; }},
    {Item::DownlinkMode, "rx-mode", [](const StationOptions& o) { return widened(o.rxMode); }},
    {Item::UplinkFrequency, "tx-freq", [](const StationOptions& o) { return o.txHz; }},
    {Item::UplinkMode, "tx-mode", [](const StationOptions& o) { return widened(o.txMode); }},
    {Item::Tone, "tone", [](const StationOptions& o) { return widened(o.toneTenths); }},
};

// The tracker server's address as the option writes it; "off" without the server.
std::string listenAddress(const StationOptions& o) {
    if (!o.rigctldPort) {
        return "off";
    }
    const bool ipv6 = o.rigctldAddress.find(':') != std::string::npos;
    return (ipv6 ? "[" + o.rigctldAddress + "]" : o.rigctldAddress) + ":" + *o.rigctldPort;
}

}  // namespace

std::vector<HeldSetting> heldSettingsOf(const StationOptions& options) {
    std::vector<HeldSetting> settings;
    for (const Field& field : kFields) {
        if (const std::optional<uint64_t> value = field.of(options)) {
            settings.push_back({field.item, *value});
        }
    }
    return settings;
}

ReloadPlan planReload(const StationOptions& running, const StationOptions& read) {
    ReloadPlan plan{read, {}, {}, {}};
    const auto refuse = [&plan](const char* name, const std::string& wanted,
                                const std::string& kept) {
        plan.refused.push_back(std::string(name) + " " + visible(wanted.c_str()) +
                               " needs a restart; the station keeps " + visible(kept.c_str()));
    };
    if (read.port != running.port) {
        refuse("port", read.port, running.port);
        plan.next.port = running.port;
    }
    if (read.baud != running.baud) {
        refuse("baud", std::to_string(read.baud), std::to_string(running.baud));
        plan.next.baud = running.baud;
    }
    if (read.waitForPort != running.waitForPort) {
        const auto yesNo = [](bool value) { return std::string(value ? "yes" : "no"); };
        refuse("wait-for-port", yesNo(read.waitForPort), yesNo(running.waitForPort));
        plan.next.waitForPort = running.waitForPort;
    }
    if (listenAddress(read) != listenAddress(running)) {
        refuse("rigctld", listenAddress(read), listenAddress(running));
        plan.next.rigctldPort = running.rigctldPort;
        plan.next.rigctldAddress = running.rigctldAddress;
    }

    for (const Field& field : kFields) {
        const std::optional<uint64_t> value = field.of(read);
        if (value && value != field.of(running)) {
            plan.hold.push_back({field.item, *value});
            plan.changed.push_back(field.name);
        }
    }
    if (read.pollMs != running.pollMs) {
        plan.changed.push_back("poll-ms");
    }
    if (read.rigctldStrict != running.rigctldStrict) {
        plan.changed.push_back("rigctld-strict");
    }
    return plan;
}
