#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target: a few scripts that reach the handshake, every
command, a power cycle in a poll, refused writes, damaged replies, line noise and the clock's
wrap, under each of the owner's loops (every millisecond, jittered, stalling). Layout of a
script: see ft847_fuzz.cpp. The action numbers come from FaultHarness::Action
and the radio's codes from sim/CatProtocol.h, so that neither is written down twice."""
import os
import re
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read(path):
    with open(os.path.join(ROOT, path)) as source:
        return source.read()


def cat_constants():
    """Every `constexpr uint8_t kName = 0x..;` of the protocol header, by name."""
    return {name: int(value, 16) for name, value in
            re.findall(r'constexpr uint8_t (k\w+) = (0x[0-9A-Fa-f]+);', read('sim/CatProtocol.h'))}


def actions():
    """FaultHarness::Action's enumerators in order, as UPPER_SNAKE names."""
    body = re.search(r'enum class Action : uint8_t \{(.*?)\};', read('tests/support/FaultHarness.h'),
                     re.S).group(1)
    names = re.findall(r'^\s*(\w+),', body, re.M)
    return {re.sub(r'(?<!^)(?=[A-Z])', '_', name).upper(): number
            for number, name in enumerate(names)}


CAT = cat_constants()
globals().update(actions())


def bcd(tens):
    """A frequency in 10 Hz units as the radio's four BCD bytes."""
    digits = f'{tens:08d}'
    return [int(digits[i:i + 2], 16) for i in range(0, 8, 2)]


def loops():
    """FaultHarness::Loop's enumerators in order, by name."""
    body = re.search(r'enum class Loop : uint8_t \{(.*?)\};', read('tests/support/FaultHarness.h'),
                     re.S).group(1)
    return {name: number for number, name in enumerate(re.findall(r'^\s*(\w+),', body, re.M))}


LOOP = loops()


def header(baud_index=0, latency=5, start=0, loop='Steady', loop_seed=0):
    return (bytes([baud_index | (latency << 2)]) + struct.pack('<I', start) +
            bytes([LOOP[loop] | (loop_seed << 2)]))


def step(action, *args):
    return bytes([action | (len(args) << 5), *args])


def le(value, count):
    return list(value.to_bytes(count, 'little'))


CONNECT = step(LONG_WAIT, *le(1999, 2))
COMMANDS = (step(SELECT_MAIN) + step(SET_FREQUENCY, *le(0x7 | (123456 << 4), 4)) +
            step(WAIT, 250) + step(SET_MODE_SHORTCUT, 4) + step(WAIT, 250) +
            step(SELECT_SUB) + step(SET_FREQUENCY, 0x0A, 0x10) + step(WAIT, 250) +
            step(SET_MODE, CAT['kModeCwNarrow']) + step(WAIT, 250) + step(SET_TONE, 0x09) + step(WAIT, 250) +
            step(SET_TONE) + step(WAIT, 150) + step(POLL_RX) + step(WAIT, 150) +
            step(POLL_TX) + step(WAIT, 150) + step(SATELLITE_PRESET) + step(WAIT, 150) +
            step(CANCEL_AND_SELECT_RX))

SCRIPTS = {
    'connect-and-command': header() + CONNECT + COMMANDS,
    'connect-and-command-jittered': header(loop='Jittered', loop_seed=7) + CONNECT + COMMANDS,
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
    step(LINE_NOISE, 5, *bcd(14580000), CAT['kModeFm'], CAT['kModeFm']) + step(WAIT, 120) +
    step(POLL_TX) + step(LINE_NOISE, 3, 0x1A, 0x00, 0x00, 0x00),
    # The first update, 1000 ms before the wrap, starts a stall across it; the radio goes off
    # and on while the driver is not looking.
    'power-cycle-in-a-stall': header(0, 5, 0xFFFFFFFF - 1000, 'Stalling', 3) + step(WAIT, 4) +
    step(POWER_OFF) + step(WAIT, 100) + step(POWER_ON) + step(LONG_WAIT, *le(3999, 2)) +
    CONNECT + step(POLL_TX) + step(LONG_WAIT, *le(3999, 2)),
    'clock-wrap': header(0, 5, 0xFFFFF800) + CONNECT + COMMANDS + step(BEGIN_REFUSED) +
    step(BEGIN),
    'stall-across-the-wrap': header(0, 5, 0xFFFFFA00, 'Stalling', 1) + CONNECT + COMMANDS,
}

# The tracker protocol's target (rigctl_fuzz.cpp): a flags byte (bit 0 radio connected, bit 1
# strict), then what clients send, a line each.
CONNECTED, STRICT = 1, 2
GPREDICT = (b'\\set_vfo_opt 1\n\\chk_vfo\nS 1 Sub\nF  437800003\nf\ni\nI  145900007\ni\n'
            b'f\nF  437800140\nf\nAOS\nLOS\nq\n')
RIGCTL_SCRIPTS = {
    'gpredict-cycle': bytes([CONNECTED]) + GPREDICT,
    'hold-over': bytes([0]) + GPREDICT + b'\\get_powerstat\n',
    'strict': bytes([STRICT]) + GPREDICT,
    'extended-forms': bytes([CONNECTED]) + b'+f\n+;i\n+|s\n+,m\n+\\dump_state\n\\dump_state\n'
    b'+V Sub\nV Main\nM CW 500\nX FM 0\nC 885\nc\nx\n+\\get_lock_mode\n\\get_lock_mode\n'
    b'F currVFO 145900000.000000\nf VFOB\nT 1\nt\n',
    'junk': bytes([CONNECTED]) + b'\x8b\r\n\x00\n\xff\xfe\n' + b'F' * 300 + b'\n' +
    b'F 99999999999999999999\nS 0 Sub\nC 1995\nM AM 6000\n\\quit\nf\n',
    # The other clients' sequences, and lines of several commands.
    'skyroof': bytes([CONNECTED]) + b'a\nV VFOA\nS 0 VFOB\nV VFOA\nt\nf\nF 436795010\n'
    b'M USB_D 0\nM USB 0\nC 885\nU TONE 1\nt\nf\nU TONE 0\n',
    'cqrlog': bytes([CONNECTED]) + b'+\\chk_vfo\n+\\dump_caps\n+f +m +v\n+\\set_vfo VFOA\n'
    b'+f +m +v\n',
    'look4sat-log4om': bytes([CONNECTED]) + b'F 145800000\nF 145800120\n'
    b'\\get_vfo_info VFOA\n\\get_vfo_info VFOB\nu SATMODE\nU SATMODE 0\n',
    'network-client': bytes([CONNECTED]) + b'\\get_powerstat\n\\chk_vfo\n\\dump_state\nv\nf\ns\n'
    b'm\n\\get_lock_mode\nM USB 2400\nF 144174000\nf\n',
    'streams': bytes([STRICT]) + b'F 145900000 f +;i +|s M FM 0 m\nT 1 t w FA; f\n+ f +\n'
    b'U TONE 1 u TONE q f\n',
}


if __name__ == '__main__':
    for folder_name, scripts in (('corpus', SCRIPTS), ('rigctl-corpus', RIGCTL_SCRIPTS)):
        folder = os.path.join(ROOT, 'fuzz', folder_name)
        os.makedirs(folder, exist_ok=True)
        for name, script in scripts.items():
            with open(os.path.join(folder, name), 'wb') as out:
                out.write(script)
