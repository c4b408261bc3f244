#!/usr/bin/env python3
"""Mutation check of the test suites: makes one-place changes to driver/ and to station/, each a
fault a developer could make, and for each one rebuilds and runs the tests; a change that no
test notices is a survivor.

    scripts/mutation.py [--suite driver|station] [--subset] [--sequences N] [--only ID[,ID...]]
                        [--keep] [--list]

Two lists of mutants, one runner. Without --suite, both run, the driver's first, in one copy
of the tree.

- The driver's (driver/): for each mutant, the default preset's Release build of the unit
  tests, the heap test and the scenario program, and the scenario program (its PASS line,
  exactly), the heap test and every unit test, with the seeded fault injection cut to
  --sequences sequences (default 2000). Figures in build-figures/mutation.txt.
- The station's (station/): each mutant breaks one promise that a header comment of station/
  states. For each one, only the test programs that hold the promises of its file are rebuilt,
  and only their tests for that file run (a gtest filter per program): the controller's on the
  bench, on the simulated clock, and the session's and the held settings' own. Figures in build-figures/mutation-station.txt.

Works on a copy of the source tree in a temporary directory, built with Ninja where it is
installed (make takes seconds to find what a mutant changed); the working tree is never
touched. Each mutant's text must be found exactly once in its file, so that a change that moves
or rewrites a line makes the script fail loudly instead of dropping the mutant. A mutant that
does not build is an error in this list, not a kill. The tests stop at the first failure.
scripts/render-docs.py writes a full run's figures into docs/robustness.md.

--subset (what CI runs) takes only the mutants marked for CI, every kind of fault among them,
writes build-figures/mutation-subset.txt and mutation-station-subset.txt, and also fails
unless each list's block of docs/robustness.md counts the mutants of that list and names as
survivors exactly those judged equivalent here (a full run that exits 0 leaves those and no
others).

Exit status: 0 when every mutant is killed or judged equivalent below, 1 when one survives (or
one judged equivalent is killed, which means the judgement was wrong), 2 for a bad argument or
a mutant that cannot be applied or built.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASS_LINE = ('PASS: powered-off startup, bounded retry, late power-on, power cycle, cache reset, '
             'packet spacing, timer wrap and UART failure\n')
TARGETS = ['ft847_unit_tests', 'ft847_heap_test', 'ft847_power']
# The test programs, by target, where the default preset's build leaves them.
PROGRAMS = {'ft847_unit_tests': 'tests/ft847_unit_tests',
            'ft847_station_tests': 'tests/station/ft847_station_tests'}
TEST_TIMEOUT_S = 120
DOCS_PAGE = 'docs/robustness.md'


class Mutant:
    def __init__(self, ident, path, old, new, fault, ci=False, equivalent=None):
        self.ident = ident
        self.path = path
        self.old = old
        self.new = new
        self.fault = fault
        self.ci = ci
        self.equivalent = equivalent


H, CPP, LINK, CODEC = 'driver/FT847.h', 'driver/FT847.cpp', 'driver/FT847Link.cpp', \
    'driver/FT847Codec.cpp'

# Grouped by file, so that consecutive mutants rebuild one file. `ci` marks the subset.
DRIVER_MUTANTS = [
    # Timing constants, one millisecond off either way, where each is used (a change to
    # FT847.h itself would rebuild every test for each mutant).
    Mutant('spacing-99', LINK, 'waited(lastSendMs, kFrameSpacingMs)',
           'waited(lastSendMs, kFrameSpacingMs - 1)', 'frame spacing 99 ms', ci=True),
    Mutant('spacing-101', LINK, 'waited(lastSendMs, kFrameSpacingMs)',
           'waited(lastSendMs, kFrameSpacingMs + 1)', 'frame spacing 101 ms'),
    Mutant('timeout-499', LINK, 'if (waited(stepStartMs, kReadTimeoutMs)) {',
           'if (waited(stepStartMs, kReadTimeoutMs - 1)) {', 'read timeout 499 ms'),
    Mutant('timeout-501', LINK, 'if (waited(stepStartMs, kReadTimeoutMs)) {',
           'if (waited(stepStartMs, kReadTimeoutMs + 1)) {', 'read timeout 501 ms', ci=True),
    Mutant('cat-on-499', CPP, 'if (waited(stepStartMs, kCatOnSettleMs)) {',
           'if (waited(stepStartMs, kCatOnSettleMs - 1)) {', 'wait after CAT ON 499 ms',
           ci=True),
    Mutant('cat-on-501', CPP, 'if (waited(stepStartMs, kCatOnSettleMs)) {',
           'if (waited(stepStartMs, kCatOnSettleMs + 1)) {', 'wait after CAT ON 501 ms'),
    Mutant('sat-on-999', CPP, 'if (waited(stepStartMs, kSatOnSettleMs)) {',
           'if (waited(stepStartMs, kSatOnSettleMs - 1)) {', 'wait after SAT ON 999 ms'),
    Mutant('sat-on-1001', CPP, 'if (waited(stepStartMs, kSatOnSettleMs)) {',
           'if (waited(stepStartMs, kSatOnSettleMs + 1)) {', 'wait after SAT ON 1001 ms',
           ci=True),
    Mutant('preset-99', CPP, 'if (waited(stepStartMs, kSatPresetSettleMs)) {',
           'if (waited(stepStartMs, kSatPresetSettleMs - 1)) {',
           'wait after a requested SAT ON 99 ms', ci=True),
    Mutant('preset-101', CPP, 'if (waited(stepStartMs, kSatPresetSettleMs)) {',
           'if (waited(stepStartMs, kSatPresetSettleMs + 1)) {',
           'wait after a requested SAT ON 101 ms'),
    Mutant('retry-2999', CPP, 'if (waited(stepStartMs, kRetryDelayMs)) {',
           'if (waited(stepStartMs, kRetryDelayMs - 1)) {', 'retry delay 2999 ms'),
    Mutant('retry-3001', CPP, 'if (waited(stepStartMs, kRetryDelayMs)) {',
           'if (waited(stepStartMs, kRetryDelayMs + 1)) {', 'retry delay 3001 ms', ci=True),
    Mutant('max-frequency', CODEC, 'hz > kMaxFrequencyHz)', 'hz > kMaxFrequencyHz + 9)',
           'highest frequency 999,999,999 Hz'),
    Mutant('fm-nibbles', CPP, 'return setMode(kModeFm);', 'return setMode(0x80);',
           'FM mode code with its nibbles swapped', ci=True),

    # Supervisor and commands.
    Mutant('sat-on-nibbles', CPP, 'kOpSatOn = 0x4E;', 'kOpSatOn = 0xE4;',
           'SAT ON opcode with its nibbles swapped', ci=True),
    Mutant('rx-frequency-opcode', CPP, 'kOpSetSatRxFrequency = 0x11;',
           'kOpSetSatRxFrequency = 0x21;', 'SAT RX frequency sent with the SAT TX opcode',
           ci=True),
    Mutant('tx-mode-opcode', CPP, 'kOpSetSatTxMode = 0x27;', 'kOpSetSatTxMode = 0x72;',
           'SAT TX mode opcode with its nibbles swapped'),
    Mutant('tone-opcodes', CPP, 'kOpSetSatTxToneFrequency = 0x2B;',
           'kOpSetSatTxToneFrequency = 0x2A;', 'tone frequency sent with the tone-mode opcode',
           ci=True),
    Mutant('encoder-on', CPP, 'kToneEncoderOn = 0x4A;', 'kToneEncoderOn = 0x8A;',
           'encoder on sent as encoder off'),
    Mutant('pins-swapped', CPP, 'constexpr int kRxPin = 1;', 'constexpr int kRxPin = 2;',
           'UART receive pin wrong'),
    Mutant('connected-while-starting', CPP,
           'bool FT847::isConnected() const { return link == Link::Connected; }',
           'bool FT847::isConnected() const { return link != Link::Failed; }',
           'isConnected() without the handshake done', ci=True),
    Mutant('commands-while-busy', CPP,
           'bool FT847::acceptsCommand() const { return isConnected() && state == State::Ready; }',
           'bool FT847::acceptsCommand() const { return isConnected(); }',
           'a command is accepted while another is under way'),
    Mutant('busy-in-retry-wait', CPP, 'if (!begun() || state == State::RetryWait) {',
           'if (!begun()) {', 'busy() true while waiting to retry'),
    Mutant('busy-ignores-spacing', CPP, 'return !(state == State::Ready && canSend());',
           'return state != State::Ready;', 'busy() false inside the 100 ms after a frame',
           ci=True),
    Mutant('select-main-rx', CPP, '    targetRx = false;\n    return begun();',
           '    targetRx = true;\n    return begun();', 'selectMain() selects the SAT RX VFO'),
    Mutant('begin-keeps-failure', CPP, '    link = Link::NeverConnected;\n', '',
           'begin() does not clear a latched failure', ci=True),
    Mutant('begin-keeps-selection', CPP, '    link = Link::NeverConnected;\n    targetRx = true;\n',
           '    link = Link::NeverConnected;\n', 'begin() does not reselect the SAT RX VFO'),
    Mutant('begin-keeps-spacing', CPP, '    targetRx = true;\n    hasSent = false;\n',
           '    targetRx = true;\n', 'begin() holds the first frame back by the spacing'),
    Mutant('begin-keeps-cache', CPP,
           '    txFrequency = 0;\n    rxFrequency = 0;\n    drain();\n',
           '    drain();\n', 'begin() keeps the frequency cache, and the modes read with it'),
    Mutant('begin-ignores-settings', CPP, 'if (!settingsRadioBaudAllowed(kRadioId, baud)) {',
           'if (settingsRadioBaudAllowed(kRadioId, baud)) {',
           'begin() inverts the settings\' answer', ci=True),
    Mutant('cat-on-not-stamped', CPP,
           '        if (sendOpcode(0x00, kOpCatOn)) {\n            stepStartMs = millis();\n',
           '        if (sendOpcode(0x00, kOpCatOn)) {\n',
           'the wait after CAT ON is timed from an old stamp', ci=True),
    Mutant('cat-on-wait-exact', CPP, 'if (waited(stepStartMs, kCatOnSettleMs)) {',
           'if (millis() - stepStartMs == kCatOnSettleMs) {',
           'the wait after CAT ON ends only on the update at exactly 500 ms', ci=True),
    Mutant('sat-on-not-stamped', CPP,
           '        if (sendOpcode(0x00, kOpSatOn)) {\n            stepStartMs = millis();\n'
           '            state = State::WaitSatOn;',
           '        if (sendOpcode(0x00, kOpSatOn)) {\n            state = State::WaitSatOn;',
           'the wait after SAT ON is timed from CAT ON'),
    Mutant('retry-from-last-frame', CPP, 'if (waited(stepStartMs, kRetryDelayMs)) {',
           'if (waited(lastSendMs, kRetryDelayMs)) {',
           'the retry delay is timed from the last frame, not the failure', ci=True),
    Mutant('preset-skips-wait', CPP, '            state = State::WaitSatPreset;\n',
           '            state = State::Ready;\n', 'no wait after a requested SAT ON'),
    Mutant('no-read-back', CPP, '            state = State::ReadBack;\n',
           '            state = State::Ready;\n', 'a frequency or mode frame is not read back',
           ci=True),
    Mutant('mode-read-back-purpose', CPP, 'purpose = Purpose::CheckMode;',
           'purpose = Purpose::CheckFrequency;', 'a mode read-back is checked as a frequency'),
    Mutant('tone-skips-encoder', CPP,
           '            setCommand(kToneEncoderOn, kOpSetSatTxToneMode);\n'
           '            state = State::SendToneMode;',
           '            setCommand(kToneEncoderOn, kOpSetSatTxToneMode);\n'
           '            state = State::Ready;',
           'tone on sends the tone but never switches the encoder on'),
    Mutant('encoder-on-inverted', CPP, 'setCommand(kToneEncoderOn, kOpSetSatTxToneMode);',
           'setCommand(kToneEncoderOff, kOpSetSatTxToneMode);',
           'tone on switches the encoder off', ci=True),
    Mutant('encoder-off-inverted', CPP, 'setCommand(kToneEncoderOff, kOpSetSatTxToneMode);',
           'setCommand(kToneEncoderOn, kOpSetSatTxToneMode);', 'tone off switches the encoder on'),
    Mutant('frequency-unit-digit', CPP, '    (void)decodeFrequency(digits, reported);\n',
           '    reported = hz;\n', 'the unit Hz digit counts in the cache'),
    Mutant('cache-wrong-vfo', CPP, '(txnRx ? rxFrequency : txFrequency)',
           '(txnRx ? txFrequency : rxFrequency)', 'the cache of the other VFO is consulted',
           ci=True),
    Mutant('no-frequency-check', CPP, '    purpose = Purpose::CheckFrequency;\n', '',
           'a frequency command\'s read-back keeps the purpose of the read before it'),
    Mutant('mode-keeps-parameter', CPP, '    command[1] = 0x00;\n', '',
           'a mode frame keeps the second byte of an earlier frequency frame', ci=True),
    Mutant('cw-narrow-swapped', CPP, 'narrow ? kModeCwNarrow : kModeCw',
           'narrow ? kModeCw : kModeCwNarrow', 'CW and CW narrow swapped'),
    Mutant('tone-ignores-spacing', CPP, '{ return acceptsCommand() && canSend(); }',
           '{ return acceptsCommand(); }',
           'a tone or a poll is accepted inside the 100 ms after a frame'),
    Mutant('minus-zero-tone-on', CPP, 'return (bits << 1) == 0;', 'return bits == 0;',
           'a tone of -0.0 Hz is no longer the tone switched off'),
    Mutant('tone-off-sends-code', CPP,
           '        setCommand(kToneEncoderOff, kOpSetSatTxToneMode);\n'
           '        state = State::SendToneMode;',
           '        setCommand(kToneEncoderOff, kOpSetSatTxToneMode);\n'
           '        state = State::SendToneFrequency;',
           'tone off is sent as a tone code, and the encoder switched on after it', ci=True),
    Mutant('cancel-keeps-selection', CPP, '    targetRx = true;\n    return true;\n}',
           '    return true;\n}', 'cancelAndSelectRx() does not select the SAT RX VFO'),
    Mutant('preset-keeps-partial-reply', CPP,
           '        return false;\n    }\n    drain();\n',
           '        return false;\n    }\n',
           'requestSatelliteMode() keeps a partial reply',
           equivalent='no reply is collected before the 100 ms after SAT ON are over, when the '
                      'UART is drained, and every read drains it again before it goes out'),
    Mutant('preset-keeps-cache', CPP, '    txFrequency = 0;\n    rxFrequency = 0;\n    state',
           '    txFrequency = 0;\n    state', 'requestSatelliteMode() keeps the SAT RX cache',
           ci=True),
    Mutant('preset-while-starting', CPP, 'if (!isConnected()) {', 'if (!begun()) {',
           'requestSatelliteMode() accepted before the handshake is done'),
    Mutant('mode-while-unknown', CPP,
           'return rxFrequency != 0 ? rxModeByte : kModeUnknown;', 'return rxModeByte;',
           'the SAT RX mode is reported after its frequency was forgotten', ci=True),

    # Link layer.
    Mutant('read-rx-opcode', LINK, 'kOpReadSatRx = 0x13;', 'kOpReadSatRx = 0x31;',
           'read SAT RX opcode with its nibbles swapped'),
    Mutant('read-tx-opcode', LINK, 'kOpReadSatTx = 0x23;', 'kOpReadSatTx = 0x13;',
           'read SAT TX sent as read SAT RX', ci=True),
    Mutant('wait-strict', LINK, 'return static_cast<uint32_t>(millis() - sinceMs) >= intervalMs;',
           'return static_cast<uint32_t>(millis() - sinceMs) > intervalMs;',
           '> in place of >= for every wait', ci=True),
    Mutant('wait-exact', LINK, 'return static_cast<uint32_t>(millis() - sinceMs) >= intervalMs;',
           'return static_cast<uint32_t>(millis() - sinceMs) == intervalMs;',
           '== in place of >= for every wait and the spacing', ci=True),
    Mutant('first-frame-held', LINK, 'return !hasSent || waited(lastSendMs, kFrameSpacingMs);',
           'return waited(lastSendMs, kFrameSpacingMs);',
           'the first frame after begin() is held back by the spacing'),
    Mutant('send-not-stamped', LINK, '    port.flush();\n    lastSendMs = millis();\n',
           '    port.flush();\n', 'a frame write does not restart the spacing', ci=True),
    Mutant('write-failure-ignored', LINK, 'if (port.write(frame, kFrameLength) != kFrameLength) {',
           'if (port.write(frame, kFrameLength) > kFrameLength) {',
           'a refused write is taken for a sent frame', ci=True),
    Mutant('fail-keeps-ready', LINK, '    link = Link::Failed;\n', '',
           'a failure leaves initialized() true', ci=True),
    Mutant('fail-keeps-cache', LINK,
           '    txFrequency = 0;\n    rxFrequency = 0;\n    stepStartMs',
           '    stepStartMs', 'a failure keeps the frequency cache, and the modes read with it'),
    Mutant('fail-not-stamped', LINK, '    rxFrequency = 0;\n    stepStartMs = millis();\n',
           '    rxFrequency = 0;\n', 'the retry delay is timed from an earlier wait', ci=True),
    Mutant('fail-stays', LINK, '    state = State::RetryWait;\n    responseLength = 0;\n',
           '    responseLength = 0;\n', 'a failure does not enter the retry wait'),
    Mutant('read-keeps-stale-bytes', LINK,
           '    // Stale bytes from earlier traffic must not be taken for the reply.\n'
           '    drain();\n',
           '', 'bytes received before the read are taken for its reply', ci=True),
    Mutant('read-keeps-vfo', LINK, '    txnRx = rx;\n', '',
           'a read stores its reply in the cache of the previous command\'s VFO'),
    Mutant('read-not-stamped', LINK,
           '    stepStartMs = millis();\n    state = State::AwaitResponse;',
           '    state = State::AwaitResponse;',
           'the read timeout is timed from an earlier read', ci=True),
    Mutant('collect-before-deadline', LINK,
           'while (port.available() > 0 && responseLength < kFrameLength) {',
           'while (port.available() > 0 && responseLength < kFrameLength &&\n'
           '           !waited(stepStartMs, kReadTimeoutMs)) {',
           'reply bytes are not collected once 500 ms have passed, even if they are waiting',
           ci=True),
    Mutant('timeout-exact', LINK, 'if (waited(stepStartMs, kReadTimeoutMs)) {',
           'if (millis() - stepStartMs == kReadTimeoutMs) {',
           'a read times out only on the update at exactly 500 ms', ci=True),
    Mutant('sixth-byte-ignored', LINK, '        if (port.available() > 0) {\n            drain();',
           '        if (port.available() > 1) {\n            drain();',
           'a sixth byte is accepted unless a seventh is waiting too'),
    Mutant('timeout-log-constant', LINK, 'static_cast<unsigned long>(millis() - stepStartMs)',
           'static_cast<unsigned long>(kReadTimeoutMs)',
           'the timeout line reports 500 ms however late the loop came back', ci=True),
    Mutant('timeout-log-opcode', LINK, 'txnRx ? int{kOpReadSatRx} : int{kOpReadSatTx}',
           'txnRx ? int{kOpReadSatTx} : int{kOpReadSatRx}',
           'the timeout line names the other VFO\'s read'),
    Mutant('frequency-check-dropped', LINK, '!sameFrequencyDigits(response, command)) {',
           'sameFrequencyDigits(response, command)) {',
           'the frequency read-back fails when it matches', ci=True),
    Mutant('frequency-check-three-digits', LINK, 'for (int i = 0; i < 4; ++i) {',
           'for (int i = 0; i < 3; ++i) {',
           'the read-back ignores the 100 Hz and 10 Hz digits'),
    Mutant('mode-check-byte', LINK, 'response[4] != command[0]) {',
           'response[0] != command[0]) {', 'the mode is looked for in the wrong reply byte'),
    Mutant('cache-other-vfo', LINK, '    if (txnRx) {\n        rxFrequency =',
           '    if (!txnRx) {\n        rxFrequency =', 'a reply fills the other VFO\'s cache',
           ci=True),
    Mutant('mode-other-vfo', LINK, '        rxModeByte = response[4];',
           '        txModeByte = response[4];', 'a SAT RX reply\'s mode is kept as SAT TX\'s'),
    Mutant('init-rx-skips-tx', LINK,
           '    if (purpose == Purpose::InitRx) {\n        state = State::ReadTxInit;',
           '    if (purpose == Purpose::InitRx) {\n        state = State::Ready;',
           'the start-up read of SAT TX is skipped'),
    Mutant('ready-keeps-failure', LINK, '        link = Link::Connected;\n', '',
           'the end of the handshake does not bring the link up', ci=True),
    Mutant('sub-flag', LINK, 'rigControlSubFrequencyReceived(hz, true);',
           'rigControlSubFrequencyReceived(hz, false);', 'the SAT RX poll passes the flag false'),
    Mutant('poll-results-swapped', LINK,
           '    case Purpose::PollTx:\n        rigControlFrequencyReceived(hz);',
           '    case Purpose::PollTx:\n        rigControlSubFrequencyReceived(hz, true);',
           'the SAT TX poll is reported as SAT RX', ci=True),

    # Codecs.
    Mutant('bcd-nibbles', CODEC, 'out[i] = static_cast<uint8_t>((high << 4) | low);',
           'out[i] = static_cast<uint8_t>((low << 4) | high);',
           'BCD digits written with the nibbles swapped', ci=True),
    Mutant('bcd-digit-at-place', CODEC, 'while (rest >= placeHz) {', 'while (rest > placeHz) {',
           'a digit of a frequency that is a round multiple of its place comes out one low'),
    Mutant('bcd-low-nibble', CODEC, 'if (high > 9 || low > 9) {', 'if (high > 9) {',
           'a low nibble above 9 is decoded'),
    Mutant('bcd-zero-accepted', CODEC,
           '    if (tens == 0) {\n        return false;\n    }\n    // At most',
           '    // At most', 'an all-zero reply is taken for a frequency', ci=True),
    Mutant('below-10-hz', CODEC, 'hz < 10 || hz > kMaxFrequencyHz', 'hz < 9 || hz > kMaxFrequencyHz',
           '9 Hz accepted, as a frequency of no digits'),
    Mutant('tone-tolerance', CODEC, 'if (kUnitsPerTenth - fraction > kTolerance) {',
           'if (kUnitsPerTenth - fraction > 10 * kTolerance) {',
           'a tone up to 0.01 Hz below a table row is taken for it'),
    Mutant('tone-ties-away', CODEC, '(dropped == 8U && (p & 1U) != 0)', '(dropped == 8U)',
           'ten times the tone rounded half away from zero, not to even'),
    Mutant('tone-upper-edge', CODEC, 'bits > kBits250_3Hz', 'bits >= kBits250_3Hz',
           'the highest tone, 250.3 Hz, refused'),
    Mutant('tone-codes-swapped', CODEC, '0x3F, 0x39, 0x1F,', '0x39, 0x3F, 0x1F,',
           'the codes of 67.0 and 69.3 Hz swapped', ci=True),
    Mutant('tone-table-off', CODEC, '854,  885,  915,', '854,  886,  915,',
           '88.5 Hz stored as 88.6 Hz'),
]



# The station's mutants: each breaks one promise that a header comment of station/ states. They
# run against the station's unit tests on the bench (the controller, on the simulated clock and
# the radio model) and the session's and the held settings' own tests: those that STATION_TESTS
# names for the mutant's file.
CONTROL, CONTROL_H, HELD, WATCH, SESSION = 'station/StationController.cpp', \
    'station/StationController.h', 'station/HeldSettings.cpp', 'station/HandshakeWatch.cpp', \
    'station/RigctlSession.cpp'

STATION_MUTANTS = [
    # The controller: errands, their order and timing, and what a failure blames.
    Mutant('disconnect-unreported', CONTROL,
           '    post(connected ? "station: connected\\n" : "station: disconnected\\n");',
           '    if (connected) {\n        post("station: connected\\n");\n    }',
           'a disconnect is not reported', ci=True),
    Mutant('reconnect-resends-nothing', CONTROL, '    held.reconnected();\n', '',
           'after a reconnection only what was set during the outage goes to the radio'),
    Mutant('restore-counts-pending', CONTROL,
           '    held.reconnected();\n'
           '    for (size_t i = 0; i < HeldSettings::kItems; ++i) {\n'
           '        unsent |= held.pending(static_cast<Item>(i)) ? 1u << i : 0u;\n    }\n',
           '    for (size_t i = 0; i < HeldSettings::kItems; ++i) {\n'
           '        unsent |= held.pending(static_cast<Item>(i)) ? 1u << i : 0u;\n    }\n'
           '    held.reconnected();\n',
           'only the values pending before a reconnection go before the first poll'),
    Mutant('poll-before-restore', CONTROL,
           'if (phase == Phase::Restoring && unsent == 0 && owed == Errand::None) {',
           'if (phase == Phase::Restoring && owed == Errand::None) {',
           'polls and settings take turns at once after a reconnection', ci=True),
    Mutant('first-poll-waits', CONTROL, '    lastPollMs = nowMs - pollInterval();',
           '    lastPollMs = nowMs;',
           'the first poll waits a poll interval after the settings went out'),
    Mutant('turns-start-over', CONTROL,
           'const size_t first = lastSent == kNone ? 0 : lastSent + 1;',
           'const size_t first = 0;',
           'the first pending item in the order always goes first: no turns'),
    Mutant('turns-repeat-last', CONTROL,
           'const size_t first = lastSent == kNone ? 0 : lastSent + 1;',
           'const size_t first = lastSent == kNone ? 0 : lastSent;',
           'the item sent last goes again before the others'),
    Mutant('turns-reversed', CONTROL,
           'static_cast<Item>((first + i) % HeldSettings::kItems)',
           'static_cast<Item>((first + HeldSettings::kItems - i) % HeldSettings::kItems)',
           'pending items take turns in the reverse of their order'),
    Mutant('polls-every-turn', CONTROL,
           'if (sincePoll >= pollInterval() && !(settingWaits && lastWasRead)) {',
           'if (sincePoll >= pollInterval()) {',
           'a poll that is due goes even after a poll, so polls can take every frame'),
    Mutant('settings-every-turn', CONTROL,
           'if (sincePoll >= pollInterval() && !(settingWaits && lastWasRead)) {',
           'if (sincePoll >= pollInterval() && !settingWaits) {',
           'a waiting setting always goes before a poll that is due', ci=True),
    Mutant('uplink-unread', CONTROL,
           'owed = plan.errand == Errand::PollRx ? Errand::PollTx : Errand::None;',
           'owed = Errand::None;', 'a poll reads the downlink and not the uplink'),
    Mutant('poll-timed-from-uplink', CONTROL,
           '    if (vfo == Vfo::Downlink) {\n        lastPollMs = nowMs;\n    }',
           '    lastPollMs = nowMs;',
           'the poll interval is timed from the uplink\'s read, not the downlink\'s', ci=True),
    Mutant('link-check-reported', CONTROL,
           '    if (underWay == Errand::CheckLink) {\n        return;\n    }\n', '',
           'a link check\'s read is reported like a poll\'s'),
    Mutant('link-check-50-s', CONTROL_H, 'kLinkCheckMs = 5000;', 'kLinkCheckMs = 50000;',
           'with polling off, the link is checked every 50 s'),
    Mutant('poll-interval-ignored', CONTROL_H,
           'void setPollInterval(uint32_t pollEveryMs) { pollMs = pollEveryMs; }',
           'void setPollInterval(uint32_t pollEveryMs) { (void)pollEveryMs; }',
           'a new poll interval is ignored'),
    Mutant('sleeps-whole-interval', CONTROL,
           'return {Errand::None, Item::Tone, pollInterval() - sincePoll};',
           'return {Errand::None, Item::Tone, pollInterval()};',
           'next() says the poll is due a whole interval from now, so the loop oversleeps it',
           ci=True),
    Mutant('errand-while-busy', CONTROL,
           'if (phase == Phase::Disconnected || rig.busy()) {',
           'if (phase == Phase::Disconnected) {',
           'an errand is taken for done while the driver is still on it'),
    Mutant('mode-of-other-vfo', CONTROL,
           'vfo == Vfo::Downlink ? rig.rxMode() : rig.txMode()',
           'vfo == Vfo::Downlink ? rig.txMode() : rig.rxMode()',
           'a poll holds the other VFO\'s mode'),
    Mutant('unknown-mode-held', CONTROL,
           '    if (operatingMode(mode) != nullptr) {\n'
           '        (void)held.polled(HeldSettings::modeOf(vfo), mode, generationAtRead);\n    }',
           '    (void)held.polled(HeldSettings::modeOf(vfo), mode, generationAtRead);',
           'a mode byte that is none of the radio\'s modes is held'),
    Mutant('modes-held-from-first-poll', CONTROL,
           '        holdRadioMode(vfo, held.generation(HeldSettings::modeOf(vfo)));\n',
           '        (void)vfo;\n',
           'the modes the handshake read are held only from the first poll on'),
    Mutant('connect-overrules-set-mode', CONTROL,
           '    held.reconnected();\n    for (size_t i = 0;',
           '    for (const Vfo vfo : {Vfo::Downlink, Vfo::Uplink}) {\n'
           '        holdRadioMode(vfo, held.generation(HeldSettings::modeOf(vfo)));\n    }\n'
           '    held.reconnected();\n    for (size_t i = 0;',
           'the radio\'s modes are held before a reconnection makes the modes that were set '
           'pending: a mode a tracker set is overruled'),
    Mutant('poll-generation-now', CONTROL,
           '(void)held.polled(HeldSettings::frequencyOf(vfo), hz, errandGeneration);',
           '(void)held.polled(HeldSettings::frequencyOf(vfo), hz,\n'
           '                      held.generation(HeldSettings::frequencyOf(vfo)));',
           'a poll\'s frequency is checked against the sets made until it came back',
           equivalent='a set made while the read is under way is still pending when the read '
                      'comes back, since errands go one at a time, and a pending item is never '
                      'overruled by a poll'),
    Mutant('radio-frequency-kept', CONTROL, '    radioHz[0] = radioHz[1] = 0;\n', '',
           'the radio\'s frequencies are still told after the link went down'),
    Mutant('read-back-other-vfo', CONTROL,
           'applying == Item::DownlinkFrequency ? Vfo::Downlink',
           'applying == Item::UplinkFrequency ? Vfo::Downlink',
           'a setting\'s read-back is kept as the other VFO\'s frequency'),
    Mutant('refusal-window-1100-ms', CONTROL,
           'static_cast<uint32_t>(nowMs - errandSinceMs) >= kRefusedWithinMs',
           'static_cast<uint32_t>(nowMs - errandSinceMs) >= '
           'kRefusedWithinMs + FT847::kReadTimeoutMs',
           'a radio that goes silent while a setting is on its way is taken to refuse it: the '
           'window counts the read timeout twice', ci=True),
    Mutant('refusal-window-100-ms', CONTROL,
           'static_cast<uint32_t>(nowMs - errandSinceMs) >= kRefusedWithinMs',
           'static_cast<uint32_t>(nowMs - errandSinceMs) >= FT847::kFrameSpacingMs',
           'a refusal is looked for only within the frame spacing, before its reply comes'),
    Mutant('newer-value-blamed', CONTROL,
           'held.failedToApply(applying, errandGeneration)',
           'held.failedToApply(applying, held.generation(applying))',
           'a refusal counts against a value set while the refused one was on its way',
           ci=True),
    Mutant('device-lost-unchecked', CONTROL,
           '    if (owed == Errand::None) {\n        owed = Errand::CheckLink;\n    }\n', '',
           'a device that hung up is noticed only at the next poll', ci=True),
    Mutant('device-lost-drops-poll', CONTROL,
           '    if (owed == Errand::None) {\n        owed = Errand::CheckLink;\n    }\n',
           '    owed = Errand::CheckLink;\n',
           'the read after a hang-up takes the place of the uplink\'s poll that was owed'),

    # The held settings: the newest value, its generation, its failures.
    Mutant('unit-hz-kept', HELD, 'slot.value = isFrequency(item) ? value - value % 10 : value;',
           'slot.value = value;', 'a frequency keeps its unit Hz digit, which the radio drops'),
    Mutant('set-keeps-given-up', HELD, '    slot.givenUp = false;\n    slot.asked = true;\n',
           '    slot.asked = true;\n',
           'a new value of an item given up is not sent after a reconnection'),
    Mutant('set-keeps-attempts', HELD, '    slot.asked = true;\n    slot.attempts = 0;\n',
           '    slot.asked = true;\n',
           'a new value inherits the refusals of the one before', ci=True),
    Mutant('set-not-asked', HELD, '    slot.asked = true;\n', '',
           'a mode that was set is not sent again after a reconnection'),
    Mutant('applied-keeps-attempts', HELD,
           '    slot.pending = false;\n    slot.attempts = 0;\n}',
           '    slot.pending = false;\n}',
           'refusals count even when the radio took the value in between: not in a row'),
    Mutant('applied-any-generation', HELD,
           '    if (slot.generation != generationSent) {\n        return;\n    }\n'
           '    slot.pending = false;\n    slot.attempts = 0;',
           '    if (slot.generation < generationSent) {\n        return;\n    }\n'
           '    slot.pending = false;\n    slot.attempts = 0;',
           'a newer value is taken for applied when an older one was'),
    Mutant('older-value-blamed', HELD,
           'if (!slot.pending || slot.generation != generationSent) {',
           'if (!slot.pending || slot.generation < generationSent) {',
           'a refusal of an older value counts against a newer one'),
    Mutant('four-tries', HELD, 'if (++slot.attempts < kMaxAttempts) {',
           'if (++slot.attempts <= kMaxAttempts) {',
           'a refused value is given up after four tries'),
    Mutant('poll-overrules-pending', HELD,
           'if (slot.pending || slot.generation != generationAtStart) {',
           'if (slot.generation != generationAtStart) {',
           'a poll overrules a set that has not gone to the radio yet', ci=True),
    Mutant('poll-overrules-later-set', HELD,
           'if (slot.pending || slot.generation != generationAtStart) {',
           'if (slot.pending || slot.generation < generationAtStart) {',
           'a poll started before a set overrules it once it went out'),
    Mutant('polled-keeps-given-up', HELD, '        slot.givenUp = false;\n', '',
           'a value the radio reports in place of a refused one is not sent after a '
           'reconnection'),
    Mutant('poll-not-known', HELD, '    slot.value = value;\n    slot.known = true;\n',
           '    slot.value = value;\n', 'a poll does not tell what nobody set'),
    Mutant('unasked-mode-resent', HELD,
           'slot.pending = slot.known && !slot.givenUp &&\n'
           '                       (slot.asked || isFrequency(static_cast<Item>(i)));',
           'slot.pending = slot.known && !slot.givenUp;',
           'a mode that nobody set is sent back after a reconnection', ci=True),
    Mutant('given-up-resent', HELD, 'slot.pending = slot.known && !slot.givenUp &&',
           'slot.pending = slot.known &&', 'a refused value goes again after a reconnection'),
    Mutant('tone-off-forgets', HELD, 'if (item == Item::Tone && value != 0) {',
           'if (item == Item::Tone) {', 'switching the encoder off forgets its tone'),

    # The handshake watch: which reason, and once per outage.
    Mutant('said-every-time', WATCH,
           '    if (said) {\n        return "";\n    }\n    said = true;\n', '    said = true;\n',
           'the reason is said after every failed handshake', ci=True),
    Mutant('bytes-counted-from-start', WATCH,
           '        receivedAtRead = line.bytesReceived();\n', '',
           'bytes received before the read went out make a silent radio look garbled'),
    Mutant('silent-once-ever', WATCH, '        saidSilent = false;\n', '',
           'a silent radio is said once ever, not once per outage'),
    Mutant('garbled-once-ever', WATCH, '        saidGarbled = false;\n', '',
           'bytes that are no reply are said once ever, not once per outage'),
    Mutant('reason-kept-when-up', WATCH, '        why.clear();\n', '',
           'the reason is still told once the radio answers'),
    Mutant('refused-write-silent', WATCH,
           'const bool failed = reading && state == State::RetryWait;',
           'const bool failed = state == State::RetryWait;',
           'a handshake frame the port refused is taken for a radio that did not answer'),

    # The rigctld session: every command answered, in order, from the held settings.
    Mutant('vfob-downlink', SESSION,
           'bool namesUplink(const std::string& word) { return word == "Sub" || word == "VFOB"; }',
           'bool namesUplink(const std::string& word) { return word == "Sub"; }',
           'VFOB names the downlink', ci=True),
    Mutant('vfo-names-swapped', SESSION,
           'return vfo == Vfo::Downlink ? "Main" : "Sub";',
           'return vfo == Vfo::Downlink ? "Sub" : "Main";',
           'replies name the downlink Sub and the uplink Main'),
    Mutant('crlf-line-too-long', SESSION,
           'if (buffered == kMaxLine + 1 || (buffered == kMaxLine && byte != \'\\r\')) {',
           'if (buffered == kMaxLine) {',
           'a line of 256 bytes that ends in CR LF is taken for too long'),
    Mutant('long-line-rest-read', SESSION, '            discarding = true;\n', '',
           'the rest of an over-long line is answered as a line of its own'),
    Mutant('one-command-a-line', SESSION, '    } while (at < words.size() && !quit);',
           '    } while (false);', 'only the first command of a line is answered', ci=True),
    Mutant('unknown-word-argument', SESSION,
           'while (next < words.size() && !commandAt(words, next).begins()) {',
           'while (next < words.size()) {',
           'every word after a command is its argument: the commands after it go unanswered'),
    Mutant('unknown-long-name-argument', SESSION,
           'bool begins() const { return command != nullptr || longName; }',
           'bool begins() const { return command != nullptr; }',
           'a long name the station does not know is taken for an argument, and goes unanswered'),
    Mutant('answers-after-quit', SESSION, 'for (size_t i = 0; i < length && !quit; ++i) {',
           'for (size_t i = 0; i < length; ++i) {', 'the lines after a quit are answered'),
    Mutant('strict-while-connected', SESSION,
           'if (command.radio && station.strict && !station.radioConnected) {',
           'if (command.radio && station.strict) {',
           'strict mode refuses radio commands while the radio is there', ci=True),
    Mutant('strict-station-commands', SESSION,
           'if (command.radio && station.strict && !station.radioConnected) {',
           'if (station.strict && !station.radioConnected) {',
           'strict mode refuses the station\'s own commands too'),
    Mutant('dcd-newline-answered', SESSION,
           '            if (byte == \'\\n\') {\n                continue;\n            }\n', '',
           'the newline after a get-DCD byte is answered as an empty line'),
    Mutant('mode-ignores-connection-vfo', SESSION,
           'return r.named.empty() || r.named == "currVFO" ? r.selected : vfoNamed(r.named);',
           'return vfoNamed(r.named);', 'M and m ignore the connection\'s VFO (V)'),
    Mutant('frequency-follows-vfo', SESSION,
           'Vfo frequencyVfo(const Request& r) { return vfoNamed(r.named); }',
           'Vfo frequencyVfo(const Request& r) {\n'
           '    return r.named.empty() ? r.selected : vfoNamed(r.named);\n}',
           'F and f follow the connection\'s VFO instead of the downlink'),
    Mutant('vfo-token-eats-argument', SESSION,
           'if (!args.empty() && isVfoName(args[0]) && (command.takes != Takes::Vfo || '
           'args.size() > 1)) {',
           'if (!args.empty() && isVfoName(args[0])) {',
           'the VFO that V and \\get_vfo_info take is taken for a VFO token'),
    Mutant('cw-500-wide', SESSION,
           'passband <= operatingMode(FT847::kModeCwNarrow)->passbandHz',
           'passband < operatingMode(FT847::kModeCwNarrow)->passbandHz',
           'CW with a 500 Hz passband is set with the wide filter'),
    Mutant('split-off-refused', SESSION, '(args.number == 0 || args.number == 1) && '
           'isVfoName(words[1]);',
           'args.number == 1 && isVfoName(words[1]);',
           'S 0 (split off) is refused, though in SAT mode it changes nothing'),
    Mutant('satmode-off-taken', SESSION,
           '        if (!on) {\n            result.fail(kNotAvailable);', '        if (!on) {',
           'U SATMODE 0 is answered as done'),
    Mutant('encoder-off-needs-tone', SESSION, 'if (on && tone == 0) {', 'if (tone == 0) {',
           'the encoder cannot be switched off before a tone was set'),
    Mutant('transceive-not-deprecated', SESSION, 'result.fail(kDeprecated);',
           'result.fail(kNotAvailable);',
           'transceive is answered RPRT -11, not as deprecated as rigctld 4.x answers it'),
    Mutant('vfo-info-ignores-current', SESSION,
           'const Vfo vfo = r.args.name == "currVFO" ? r.selected : vfoNamed(r.args.name);',
           'const Vfo vfo = vfoNamed(r.args.name);',
           '\\get_vfo_info currVFO tells the downlink, whatever the connection\'s VFO'),
    Mutant('caps-voice-before-morse', SESSION,
           '    "Can send Morse: N\\n"\n    "Can send Voice: N\\n";',
           '    "Can send Voice: N\\n"\n    "Can send Morse: N\\n";',
           'the line that ends a logbook\'s scan of \\dump_caps comes before the Morse line'),
]

# The tests each file's mutants run, by program: gtest filters. The controller's tests run on
# the bench (ft847_unit_tests); the session's and the held settings' own tests are among the
# station's (ft847_station_tests), without the server's, which wait on real sockets.
STATION_TESTS = {
    CONTROL: {'ft847_unit_tests': 'Station*'},
    CONTROL_H: {'ft847_unit_tests': 'Station*'},
    WATCH: {'ft847_unit_tests': 'Station*'},
    HELD: {'ft847_unit_tests': 'Station*',
           'ft847_station_tests': 'HeldSettings.*:Rigctl*-RigctlServer.*'},
    SESSION: {'ft847_station_tests': 'Rigctl*-RigctlServer.*'},
}


class Suite:
    """One list of mutants, with the figures file and the docs block of its full run."""

    def __init__(self, name, mutants, figures, block):
        self.name = name
        self.mutants = mutants
        self.figures = figures  # build-figures/NAME.txt, NAME-subset.txt for --subset
        self.block = block      # <!-- figures:NAME begin/end --> in DOCS_PAGE


DRIVER = Suite('driver', DRIVER_MUTANTS, 'mutation', 'mutation')
STATION = Suite('station', STATION_MUTANTS, 'mutation-station', 'mutation-station')
SUITES = [DRIVER, STATION]


def fail_usage(message):
    print(f'mutation.py: {message}', file=sys.stderr)
    sys.exit(2)


def parse(argv):
    options = {'suite': None, 'subset': False, 'sequences': 2000, 'only': None, 'keep': False,
               'list': False}
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg in ('--subset', '--keep', '--list'):
            options[arg[2:]] = True
        elif arg in ('--sequences', '--only', '--suite'):
            if not args:
                fail_usage(f'{arg} needs a value')
            value = args.pop(0)
            if arg == '--sequences':
                if not value.isdigit() or not 1 <= int(value) <= 100000:
                    fail_usage(f'--sequences takes a number from 1 to 100000, not "{value}"')
                options['sequences'] = int(value)
            elif arg == '--suite':
                if value not in [s.name for s in SUITES]:
                    fail_usage(f'--suite takes driver or station, not "{value}"')
                options['suite'] = value
            else:
                known = {m.ident for s in SUITES for m in s.mutants}
                wanted = value.split(',')
                unknown = [w for w in wanted if w not in known]
                if unknown:
                    fail_usage(f'no mutant named {", ".join(unknown)} (see --list)')
                options['only'] = set(wanted)
        else:
            fail_usage(f'unknown argument "{arg}"; usage: scripts/mutation.py '
                       '[--suite driver|station] [--subset] [--sequences N] '
                       '[--only ID[,ID...]] [--keep] [--list]')
    return options


def check_list():
    """Every mutant's text once in its file, every name once: else stop before any build."""
    problems = []
    names = set()
    for m in DRIVER_MUTANTS + STATION_MUTANTS:
        if m.ident in names:
            problems.append(f'{m.ident}: the name is used twice')
        names.add(m.ident)
        with open(os.path.join(ROOT, m.path)) as source:
            count = source.read().count(m.old)
        if count != 1:
            problems.append(f'{m.ident}: its text is found {count} times in {m.path}, not once')
        if m.old == m.new:
            problems.append(f'{m.ident}: changes nothing')
    return problems


def copy_tree(destination):
    ignore = shutil.ignore_patterns('.git', 'build', 'build-*', '_build')
    for name in os.listdir(ROOT):
        if name == '.git' or name == '_build' or name.startswith('build'):
            continue
        source = os.path.join(ROOT, name)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(destination, name), ignore=ignore)
        else:
            shutil.copy2(source, destination)


def run(command, cwd, env=None, timeout=None):
    try:
        done = subprocess.run(command, cwd=cwd, env=env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as expired:
        output = expired.stdout or ''
        if isinstance(output, bytes):
            output = output.decode(errors='replace')
        return None, output + f'\n(timed out after {timeout} s)'


def build(tree, targets):
    return run(['cmake', '--build', os.path.join(tree, 'build'), '-j2', '--target'] + targets,
               tree)


def first_failure(output):
    """The first test that failed, as gtest names it; None when none is named."""
    marker = '[  FAILED  ] '
    failed = [line[len(marker):].split()[0] for line in output.splitlines()
              if line.startswith(marker) and '.' in line[len(marker):].split()[0]]
    return failed[0] if failed else None


def driver_tests(tree, sequences):
    """None when every test passes, else what noticed the change."""
    bin_dir = os.path.join(tree, 'build')
    status, output = run([os.path.join(bin_dir, 'tests_ft847_power', 'ft847_power')], tree,
                         timeout=TEST_TIMEOUT_S)
    if status != 0 or output != PASS_LINE:
        return 'scenario'
    status, _ = run([os.path.join(bin_dir, 'tests', 'ft847_heap_test'), '--gtest_brief=1'], tree,
                    timeout=TEST_TIMEOUT_S)
    if status != 0:
        return 'heap test'
    env = dict(os.environ, FT847_FAULT_SEQUENCES=str(sequences))
    status, output = run([os.path.join(bin_dir, 'tests', 'ft847_unit_tests'),
                          '--gtest_brief=1', '--gtest_fail_fast'], tree, env=env,
                         timeout=TEST_TIMEOUT_S)
    if status is None:
        return 'unit tests (timed out)'
    if status != 0:
        return first_failure(output) or 'unit tests'
    return None


def station_tests(m):
    return STATION_TESTS[m.path]


def merged(filters):
    """One gtest filter for several: the union of their patterns, less all their exclusions."""
    included, excluded = [], []
    for pattern in filters:
        positive, _, negative = pattern.partition('-')
        included += [p for p in positive.split(':') if p and p not in included]
        excluded += [n for n in negative.split(':') if n and n not in excluded]
    return ':'.join(included) + ('-' + ':'.join(excluded) if excluded else '')


def station_programs(mutants):
    """The test programs these mutants run, each with one filter for all of them."""
    filters = {}
    for m in mutants:
        for program, pattern in station_tests(m).items():
            filters.setdefault(program, []).append(pattern)
    return {program: merged(patterns) for program, patterns in sorted(filters.items())}


def targets_of(suite, mutants):
    return TARGETS if suite is DRIVER else list(station_programs(mutants))


def run_station_tests(tree, programs):
    """None when every test passes, else the first that failed."""
    for program, pattern in programs.items():
        status, output = run([os.path.join(tree, 'build', PROGRAMS[program]), '--gtest_brief=1',
                              '--gtest_fail_fast', f'--gtest_filter={pattern}'], tree,
                             timeout=TEST_TIMEOUT_S)
        if status is None:
            return f'{program} (timed out)'
        if status != 0:
            return first_failure(output) or program
    return None


def tests_of(suite, tree, mutants, options):
    if suite is DRIVER:
        return driver_tests(tree, options['sequences'])
    return run_station_tests(tree, station_programs(mutants))


def empty_filters(tree, mutants):
    """The station's filters that select no test: a mutant would survive them unseen."""
    empty = []
    for pair in sorted({pair for m in mutants for pair in station_tests(m).items()}):
        program, pattern = pair
        _, listed = run([os.path.join(tree, 'build', PROGRAMS[program]), '--gtest_list_tests',
                         f'--gtest_filter={pattern}'], tree, timeout=TEST_TIMEOUT_S)
        if not any(line.startswith('  ') for line in listed.splitlines()):
            empty.append(f'{program} {pattern}')
    return empty


def write_figures(suite, options, results, seconds):
    os.makedirs(os.path.join(ROOT, 'build-figures'), exist_ok=True)
    name = f'{suite.figures}-subset.txt' if options['subset'] else f'{suite.figures}.txt'
    killed = [m for m, by in results if by is not None]
    survivors = [m for m, by in results if by is None]
    equivalent = [m for m in survivors if m.equivalent]
    with open(os.path.join(ROOT, 'build-figures', name), 'w') as out:
        out.write(f'mutants {len(results)}\nkilled {len(killed)}\n'
                  f'survived {len(survivors)}\nequivalent {len(equivalent)}\n'
                  f'ci-subset {sum(1 for m in suite.mutants if m.ci)}\n')
        if suite is DRIVER:
            out.write(f'sequences {options["sequences"]}\n')
        out.write(f'seconds {seconds}\n')
        for m in survivors:
            out.write(f'survivor {m.ident} | {m.path} | {m.fault} | {m.equivalent or ""}\n')
        for m, by in results:
            out.write(f'result {m.ident} | {by or "survived"}\n')
    return name


def docs_agree(suite):
    """The suite's docs block counts its mutants and names the equivalent ones."""
    begin, end = f'<!-- figures:{suite.block} begin -->', f'<!-- figures:{suite.block} end -->'
    with open(os.path.join(ROOT, DOCS_PAGE)) as text:
        page = text.read()
    if begin not in page or end not in page:
        return [f'{DOCS_PAGE} has no {suite.block} block']
    section = page[page.index(begin):page.index(end)]
    problems = []
    if f'| mutants | {len(suite.mutants)} |' not in section:
        problems.append(f'{DOCS_PAGE} does not count the {len(suite.mutants)} mutants of the '
                        f'{suite.name}\'s list')
    named = {line.split('`')[1] for line in section.splitlines()
             if line.startswith('| `') and line.count('`') >= 2}
    judged = {m.ident for m in suite.mutants if m.equivalent}
    if named != judged:
        problems.append(f'{DOCS_PAGE} names other survivors of the {suite.name}\'s list than '
                        'those judged equivalent here: ' + ', '.join(sorted(named ^ judged)))
    return problems


def run_suite(suite, chosen, tree, options, started):
    """Builds what the suite's chosen mutants need, checks the unchanged tree, then each
    mutant. Returns the results, or None after an error in the list (reported)."""
    targets = targets_of(suite, chosen)
    status, output = build(tree, targets)
    if status != 0:
        print(output[-4000:])
        print(f'mutation.py: the unchanged tree does not build ({suite.name})', file=sys.stderr)
        return None
    noticed = tests_of(suite, tree, chosen, options)
    if noticed is not None:
        print(f'mutation.py: the unchanged {suite.name} fails the tests ({noticed})',
              file=sys.stderr)
        return None
    if suite is STATION:
        empty = empty_filters(tree, chosen)
        if empty:
            print('mutation.py: these filters select no test: ' + '; '.join(empty),
                  file=sys.stderr)
            return None
    what = (f'{options["sequences"]} fault-injection sequences each' if suite is DRIVER
            else 'the tests each one names')
    print(f'{suite.name}: unchanged tree built and passing in '
          f'{time.monotonic() - started:.0f} s; {len(chosen)} mutants, {what}', flush=True)

    results = []
    for index, m in enumerate(chosen, 1):
        path = os.path.join(tree, m.path)
        with open(path) as source:
            original = source.read()
        try:
            with open(path, 'w') as source:
                source.write(original.replace(m.old, m.new, 1))
            begun = time.monotonic()
            status, output = build(tree, targets_of(suite, [m]))
            if status != 0:
                print(output[-4000:])
                print(f'mutation.py: mutant {m.ident} does not build; fix it in the list',
                      file=sys.stderr)
                return None
            by = tests_of(suite, tree, [m], options)
        finally:
            with open(path, 'w') as source:
                source.write(original)
        results.append((m, by))
        verdict = f'killed by {by}' if by else (
            'survived (judged equivalent)' if m.equivalent else 'SURVIVED')
        print(f'[{index:2}/{len(chosen)}] {m.ident:28} {verdict} '
              f'({time.monotonic() - begun:.1f} s)', flush=True)
    return results


def report(suite, results, seconds, options):
    """Prints the suite's outcome, writes its figures; True when it passes."""
    survivors = [m for m, by in results if by is None]
    wrongly_equivalent = [m for m, by in results if by is not None and m.equivalent]
    killed = len(results) - len(survivors)
    judged = len([m for m in survivors if m.equivalent])
    print(f'\n{suite.name}: {killed} of {len(results)} mutants killed; {len(survivors)} '
          f'survived, {judged} of them judged equivalent; {seconds} s')
    for m in survivors:
        print(f'  survivor {m.ident} ({m.path}): {m.fault}' +
              (f'\n    equivalent: {m.equivalent}' if m.equivalent else ''))
    for m in wrongly_equivalent:
        print(f'  judged equivalent but killed: {m.ident}; fix the judgement')
    if options['only'] is None:
        print(f'figures written to build-figures/'
              f'{write_figures(suite, options, results, seconds)}')
    unexplained = [m for m in survivors if not m.equivalent]
    disagreements = docs_agree(suite) if options['subset'] else []
    for problem in disagreements:
        print(f'mutation.py: {problem}; run scripts/mutation.py --suite {suite.name}, then '
              f'scripts/render-docs.py {suite.block}', file=sys.stderr)
    return not (unexplained or wrongly_equivalent or disagreements)


def main(argv):
    # A terminated run still removes its copy of the tree.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(3))
    options = parse(argv)
    suites = [s for s in SUITES if options['suite'] in (None, s.name)]
    if options['list']:
        for suite in suites:
            for m in suite.mutants:
                print(f'{m.ident:28} {m.path:30} {"ci " if m.ci else "   "}{m.fault}')
        return 0
    problems = check_list()
    if problems:
        for problem in problems:
            print(f'mutation.py: {problem}', file=sys.stderr)
        print('mutation.py: the source has changed under the mutant list; update '
              'scripts/mutation.py', file=sys.stderr)
        return 2
    plan = []
    for suite in suites:
        chosen = [m for m in suite.mutants
                  if (not options['subset'] or m.ci) and
                  (options['only'] is None or m.ident in options['only'])]
        if chosen:
            plan.append((suite, chosen))
    if not plan:
        fail_usage(f'--only names no mutant of the {options["suite"]}\'s list')

    started = time.monotonic()
    tree = tempfile.mkdtemp(prefix='ft847-mutation-')
    passed = True
    try:
        copy_tree(tree)
        # The copy's own default preset: a Release build in its build/. Ninja, when there is
        # one, finds in a moment what a mutant changed; make takes seconds to look.
        generator = ['-G', 'Ninja'] if shutil.which('ninja') else []
        status, output = run(['cmake', '--preset', 'default'] + generator, tree)
        if status != 0:
            print(output[-4000:])
            print('mutation.py: the unchanged tree does not configure', file=sys.stderr)
            return 2
        for suite, chosen in plan:
            results = run_suite(suite, chosen, tree, options, started)
            if results is None:
                return 2
            seconds = round(time.monotonic() - started)
            passed = report(suite, results, seconds, options) and passed
            started = time.monotonic()
    finally:
        if options['keep']:
            print(f'tree kept in {tree}')
        else:
            shutil.rmtree(tree, ignore_errors=True)
    return 0 if passed else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
