#include "HeldSettings.h"

HeldSettings::Item HeldSettings::frequencyOf(Vfo vfo) {
    return vfo == Vfo::Downlink ? Item::DownlinkFrequency : Item::UplinkFrequency;
}

HeldSettings::Item HeldSettings::modeOf(Vfo vfo) {
    return vfo == Vfo::Downlink ? Item::DownlinkMode : Item::UplinkMode;
}

bool HeldSettings::isFrequency(Item item) {
    return item == Item::DownlinkFrequency || item == Item::UplinkFrequency;
}

void HeldSettings::set(Item item, uint64_t value) {
    Slot& slot = slots[static_cast<size_t>(item)];
    // The radio has no unit Hz digit: it drops it.
    slot.value = isFrequency(item) ? value - value % 10 : value;
    slot.known = true;
    slot.pending = true;
    slot.givenUp = false;
    slot.asked = true;
    slot.attempts = 0;
    ++slot.generation;
    if (item == Item::Tone && value != 0) {
        toneTenths = value;
    }
}

bool HeldSettings::get(Item item, uint64_t& value) const {
    const Slot& slot = slots[static_cast<size_t>(item)];
    if (!slot.known) {
        return false;
    }
    value = slot.value;
    return true;
}

bool HeldSettings::pending(Item item) const { return slots[static_cast<size_t>(item)].pending; }

void HeldSettings::applied(Item item, uint32_t generationSent) {
    Slot& slot = slots[static_cast<size_t>(item)];
    if (slot.generation != generationSent) {
        return;
    }
    slot.pending = false;
    slot.attempts = 0;
}

bool HeldSettings::failedToApply(Item item, uint32_t generationSent) {
    Slot& slot = slots[static_cast<size_t>(item)];
    if (!slot.pending || slot.generation != generationSent) {
        return false;
    }
    if (++slot.attempts < kMaxAttempts) {
        return false;
    }
    slot.pending = false;
    slot.givenUp = true;
    slot.attempts = 0;
    return true;
}

uint32_t HeldSettings::generation(Item item) const {
    return slots[static_cast<size_t>(item)].generation;
}

bool HeldSettings::polled(Item item, uint64_t value, uint32_t generationAtStart) {
    Slot& slot = slots[static_cast<size_t>(item)];
    if (slot.pending || slot.generation != generationAtStart) {
        return false;
    }
    const bool changed = !slot.known || slot.value != value;
    if (changed) {
        // What the radio reports is what it holds; the station may send it again.
        slot.givenUp = false;
    }
    slot.value = value;
    slot.known = true;
    return changed;
}

void HeldSettings::reconnected() {
    for (size_t i = 0; i < kItems; ++i) {
        Slot& slot = slots[i];
        slot.pending = slot.known && !slot.givenUp &&
                       (slot.asked || isFrequency(static_cast<Item>(i)));
    }
}
