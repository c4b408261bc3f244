#pragma once

#include <stddef.h>
#include <stdint.h>

// The two SAT VFOs by what they carry: the downlink is received on SAT RX, the radio's sub VFO;
// the uplink is sent on SAT TX, its main VFO.
enum class Vfo : uint8_t { Downlink, Uplink };

// What the station wants the radio to hold, and what it reports of it: the SAT RX (downlink) and
// SAT TX (uplink) frequency and mode, and the SAT TX CTCSS tone. Settings come from the command
// line and from trackers; each item keeps only its newest value, so a tracker that sends faster
// than the radio takes frames never builds a backlog. An item is pending until the driver has
// taken it and the radio confirmed it.
//
// Reads answer from here, never from the radio: a frequency or a mode reads back as it was set
// (a frequency as the radio keeps it, in 10 Hz steps) until a poll of the radio reports another
// one, which means the operator turned the knob. Before anything is set, a poll tells both.
class HeldSettings {
public:
    // Pending items take turns in this order, starting after the one sent last.
    enum class Item : uint8_t {
        DownlinkFrequency,  // Hz
        DownlinkMode,       // the radio's mode code
        UplinkFrequency,    // Hz
        UplinkMode,         // the radio's mode code
        Tone,               // tenths of Hz, 0 = encoder off
    };
    static constexpr size_t kItems = 5;

    static Item frequencyOf(Vfo vfo);
    static Item modeOf(Vfo vfo);

    // A new value from the command line or a tracker; a frequency is cut to 10 Hz steps, as
    // the radio keeps it. The item becomes pending.
    void set(Item item, uint64_t value);

    // False while nothing is known of the item.
    bool get(Item item, uint64_t& value) const;

    bool pending(Item item) const;
    // The radio has taken the value the item had at `generationSent`. It is no longer pending,
    // unless a newer value came meanwhile, which still has to go.
    void applied(Item item, uint32_t generationSent);
    // Applying the value the item had at `generationSent` ended in a link failure. After
    // kMaxAttempts such failures in a row the value is given up, true is returned, and it is
    // not sent again, not even after a reconnection, until a new value is set: a radio that
    // refuses a frequency must not keep the link failing. A newer value is not blamed.
    bool failedToApply(Item item, uint32_t generationSent);
    static constexpr uint8_t kMaxAttempts = 3;

    // Counts the sets of an item; a poll started before a set must not overrule it.
    uint32_t generation(Item item) const;
    // A poll of a VFO, started when the item's generation was `generationAtStart`, read a
    // frequency in Hz or a mode code. It becomes the item's value unless a newer set is pending
    // or in flight. True when it changed the value (the operator turned the knob).
    bool polled(Item item, uint64_t value, uint32_t generationAtStart);

    // The radio came back: every value the station holds goes to it again, except those it
    // refused, and a mode that nobody set: the station leaves the radio's mode as it is unless
    // asked.
    void reconnected();

    // The last tone the encoder was set to send, in tenths of Hz, kept while it is switched
    // off, so that it can be switched on again at that tone; 0 while there was none.
    uint64_t lastTone() const { return toneTenths; }

private:
    struct Slot {
        bool known = false;
        bool pending = false;
        bool givenUp = false;
        bool asked = false;  // set from the command line or a tracker, not only polled
        uint8_t attempts = 0;
        uint32_t generation = 0;
        uint64_t value = 0;
    };

    static bool isFrequency(Item item);

    Slot slots[kItems];
    uint64_t toneTenths = 0;
};
