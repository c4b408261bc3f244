#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target: a few scripts that reach the handshake, every
command, a power cycle in a poll, refused writes, damaged replies, line noise and the clock's
wrap. Layout of a script: see ft847_fuzz.cpp."""
import os
import struct

(WAIT, LONG_WAIT, BEGIN, BEGIN_REFUSED, SELECT_MAIN, SELECT_SUB, SET_FREQUENCY, SET_MODE,
 SET_MODE_SHORTCUT, SET_TONE, POLL_RX, POLL_TX, CANCEL_AND_SELECT_RX, SATELLITE_PRESET,
 POWER_OFF, POWER_ON, REFUSE_WRITES, ACCEPT_WRITES, FAULTS, NO_FAULTS, LINE_NOISE) = range(21)


def header(baud_index=0, latency=5, start=0):
    return bytes([baud_index | (latency << 2)]) + struct.pack('<I', start)


def step(action, *args):
    return bytes([action | (len(args) << 5), *args])


def le(value, count):
    return list(value.to_bytes(count, 'little'))


CONNECT = step(LONG_WAIT, *le(1999, 2))
COMMANDS = (step(SELECT_MAIN) + step(SET_FREQUENCY, *le(0x7 | (123456 << 4), 4)) +
            step(WAIT, 250) + step(SET_MODE_SHORTCUT, 4) + step(WAIT, 250) +
            step(SELECT_SUB) + step(SET_FREQUENCY, 0x0A, 0x10) + step(WAIT, 250) +
            step(SET_MODE, 0x82) + step(WAIT, 250) + step(SET_TONE, 0x09) + step(WAIT, 250) +
            step(SET_TONE) + step(WAIT, 150) + step(POLL_RX) + step(WAIT, 150) +
            step(POLL_TX) + step(WAIT, 150) + step(SATELLITE_PRESET) + step(WAIT, 150) +
            step(CANCEL_AND_SELECT_RX))

SCRIPTS = {
    'connect-and-command': header() + CONNECT + COMMANDS,
    'power-cycle-in-a-poll': header(1, 20) + CONNECT + step(POLL_RX) + step(POWER_OFF) +
    step(WAIT, 200) + step(POWER_ON) + step(LONG_WAIT, *le(3999, 2)) + step(BEGIN) +
    step(LONG_WAIT, *le(1999, 2)) + step(POLL_TX),
    'refused-writes': header(2, 0) + step(REFUSE_WRITES) + step(WAIT, 10) +
    step(LONG_WAIT, *le(3500, 2)) + step(ACCEPT_WRITES) + step(LONG_WAIT, *le(3999, 2)) +
    step(REFUSE_WRITES) + step(POLL_RX) + step(ACCEPT_WRITES),
    'damaged-replies': header(0, 40) + CONNECT + step(FAULTS, *le(0b011010101010, 2)) +
    step(POLL_RX) + step(WAIT, 255) + step(WAIT, 255) + step(NO_FAULTS) +
    step(LONG_WAIT, *le(3999, 2)) + step(FAULTS, *le(0b100000000011, 2)) + step(POLL_TX),
    'line-noise': header() + CONNECT + step(POLL_RX) +
    step(LINE_NOISE, 5, 0x14, 0x58, 0x00, 0x00, 0x08, 0x08) + step(WAIT, 120) +
    step(POLL_TX) + step(LINE_NOISE, 3, 0x1A, 0x00, 0x00, 0x00),
    'clock-wrap': header(0, 5, 0xFFFFF800) + CONNECT + COMMANDS + step(BEGIN_REFUSED) +
    step(BEGIN),
}

if __name__ == '__main__':
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    os.makedirs(folder, exist_ok=True)
    for name, script in SCRIPTS.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(script)
