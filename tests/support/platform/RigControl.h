#pragma once

#include <cstdint>
#include <vector>

// Records every frequency the driver hands to the rig-control module.
struct FrequencyReport {
    bool sub;      // true: rigControlSubFrequencyReceived (SAT RX), false: SAT TX
    uint64_t hz;
    bool flag;
};

extern std::vector<FrequencyReport> frequencyReports;

inline void rigControlFrequencyReceived(uint64_t hz) {
    frequencyReports.push_back({false, hz, false});
}

inline void rigControlSubFrequencyReceived(uint64_t hz, bool flag) {
    frequencyReports.push_back({true, hz, flag});
}
