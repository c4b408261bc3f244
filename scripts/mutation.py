#!/usr/bin/env python3
"""Mutation check of the test suite: makes one-place changes to driver/, each a fault a
developer could make, and for each one rebuilds and runs the tests; a change that no test
notices is a survivor.

    scripts/mutation.py [--subset] [--sequences N] [--only ID[,ID...]] [--keep] [--list]

Works on a copy of the source tree in a temporary directory (the default preset's Release
build of the unit tests, the heap test and the scenario program); the working tree is never touched. Each
mutant's text must be found exactly once in its file, so that a change to driver/ that moves
or rewrites a line makes the script fail loudly instead of dropping the mutant. A mutant that
does not build is an error in this list, not a kill.

The tests run for each mutant: the scenario program (its PASS line, exactly), the heap test and
every unit test, with the seeded fault injection cut to --sequences sequences (default 2000)
and stopping at the first failure. A full run keeps its figures, as "name value" lines, in
build-figures/mutation.txt; scripts/render-docs.py writes them into docs/robustness.md.

--subset (what CI runs) takes only the mutants marked for CI, about half of them, every kind
of fault among them, writes build-figures/mutation-subset.txt, and also fails unless the
mutation block of docs/robustness.md counts the mutants of this list and names as survivors exactly those judged equivalent
here (a full run that exits 0 leaves those and no others).

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
TEST_TIMEOUT_S = 120
DOCS_PAGE = 'docs/robustness.md'
DOCS_BEGIN = '<!-- figures:mutation begin -->'
DOCS_END = '<!-- figures:mutation end -->'


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
MUTANTS = [
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


def fail_usage(message):
    print(f'mutation.py: {message}', file=sys.stderr)
    sys.exit(2)


def parse(argv):
    options = {'subset': False, 'sequences': 2000, 'only': None, 'keep': False, 'list': False}
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg in ('--subset', '--keep', '--list'):
            options[arg[2:]] = True
        elif arg in ('--sequences', '--only'):
            if not args:
                fail_usage(f'{arg} needs a value')
            value = args.pop(0)
            if arg == '--sequences':
                if not value.isdigit() or not 1 <= int(value) <= 100000:
                    fail_usage(f'--sequences takes a number from 1 to 100000, not "{value}"')
                options['sequences'] = int(value)
            else:
                known = {m.ident for m in MUTANTS}
                wanted = value.split(',')
                unknown = [w for w in wanted if w not in known]
                if unknown:
                    fail_usage(f'no mutant named {", ".join(unknown)} (see --list)')
                options['only'] = set(wanted)
        else:
            fail_usage(f'unknown argument "{arg}"; usage: scripts/mutation.py [--subset] '
                       '[--sequences N] [--only ID[,ID...]] [--keep] [--list]')
    return options


def check_list():
    """Every mutant's text once in its file, every name once: else stop before any build."""
    problems = []
    names = set()
    for m in MUTANTS:
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


def build(tree):
    return run(['cmake', '--build', os.path.join(tree, 'build'), '-j2', '--target'] + TARGETS,
               tree)


def tests(tree, sequences):
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
        marker = '[  FAILED  ] '
        failed = [line[len(marker):].split()[0] for line in output.splitlines()
                  if line.startswith(marker) and '.' in line[len(marker):].split()[0]]
        return failed[0] if failed else 'unit tests'
    return None


def write_figures(options, results, seconds):
    os.makedirs(os.path.join(ROOT, 'build-figures'), exist_ok=True)
    name = 'mutation-subset.txt' if options['subset'] else 'mutation.txt'
    killed = [m for m, by in results if by is not None]
    survivors = [m for m, by in results if by is None]
    equivalent = [m for m in survivors if m.equivalent]
    with open(os.path.join(ROOT, 'build-figures', name), 'w') as out:
        out.write(f'mutants {len(results)}\nkilled {len(killed)}\n'
                  f'survived {len(survivors)}\nequivalent {len(equivalent)}\n'
                  f'ci-subset {sum(1 for m in MUTANTS if m.ci)}\n'
                  f'sequences {options["sequences"]}\nseconds {seconds}\n')
        for m in survivors:
            out.write(f'survivor {m.ident} | {m.path} | {m.fault} | {m.equivalent or ""}\n')
        for m, by in results:
            out.write(f'result {m.ident} | {by or "survived"}\n')
    return name


def docs_agree():
    """The docs' mutation block counts this list's mutants and names the equivalent ones."""
    with open(os.path.join(ROOT, DOCS_PAGE)) as text:
        page = text.read()
    if DOCS_BEGIN not in page or DOCS_END not in page:
        return [f'{DOCS_PAGE} has no mutation block']
    section = page[page.index(DOCS_BEGIN):page.index(DOCS_END)]
    problems = []
    if f'| mutants | {len(MUTANTS)} |' not in section:
        problems.append(f'{DOCS_PAGE} does not count the {len(MUTANTS)} mutants of this list')
    named = {line.split('`')[1] for line in section.splitlines()
             if line.startswith('| `') and line.count('`') >= 2}
    judged = {m.ident for m in MUTANTS if m.equivalent}
    if named != judged:
        problems.append(f'{DOCS_PAGE} names other survivors than those judged equivalent here: '
                        + ', '.join(sorted(named ^ judged)))
    return problems


def main(argv):
    # A terminated run still removes its copy of the tree.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(3))
    options = parse(argv)
    if options['list']:
        for m in MUTANTS:
            print(f'{m.ident:28} {m.path:22} {"ci " if m.ci else "   "}{m.fault}')
        return 0
    problems = check_list()
    if problems:
        for problem in problems:
            print(f'mutation.py: {problem}', file=sys.stderr)
        print('mutation.py: driver/ has changed under the mutant list; update scripts/mutation.py',
              file=sys.stderr)
        return 2
    chosen = [m for m in MUTANTS
              if (not options['subset'] or m.ci) and
              (options['only'] is None or m.ident in options['only'])]

    started = time.monotonic()
    tree = tempfile.mkdtemp(prefix='ft847-mutation-')
    try:
        copy_tree(tree)
        # The copy's own default preset: a Release build in its build/.
        status, output = run(['cmake', '--preset', 'default'], tree)
        if status == 0:
            status, output = build(tree)
        if status != 0:
            print(output[-4000:])
            print('mutation.py: the unchanged tree does not build', file=sys.stderr)
            return 2
        noticed = tests(tree, options['sequences'])
        if noticed is not None:
            print(f'mutation.py: the unchanged driver fails the tests ({noticed})',
                  file=sys.stderr)
            return 2
        print(f'unchanged tree built and passing in {time.monotonic() - started:.0f} s; '
              f'{len(chosen)} mutants, {options["sequences"]} fault-injection sequences each',
              flush=True)

        results = []
        for index, m in enumerate(chosen, 1):
            path = os.path.join(tree, m.path)
            with open(path) as source:
                original = source.read()
            try:
                with open(path, 'w') as source:
                    source.write(original.replace(m.old, m.new, 1))
                begun = time.monotonic()
                status, output = build(tree)
                if status != 0:
                    print(output[-4000:])
                    print(f'mutation.py: mutant {m.ident} does not build; fix it in the list',
                          file=sys.stderr)
                    return 2
                by = tests(tree, options['sequences'])
            finally:
                with open(path, 'w') as source:
                    source.write(original)
            results.append((m, by))
            verdict = f'killed by {by}' if by else (
                'survived (judged equivalent)' if m.equivalent else 'SURVIVED')
            print(f'[{index:2}/{len(chosen)}] {m.ident:28} {verdict} '
                  f'({time.monotonic() - begun:.1f} s)', flush=True)
    finally:
        if options['keep']:
            print(f'tree kept in {tree}')
        else:
            shutil.rmtree(tree, ignore_errors=True)

    seconds = round(time.monotonic() - started)
    survivors = [m for m, by in results if by is None]
    wrongly_equivalent = [m for m, by in results if by is not None and m.equivalent]
    killed = len(results) - len(survivors)
    judged = len([m for m in survivors if m.equivalent])
    print(f'\n{killed} of {len(results)} mutants killed; {len(survivors)} survived, '
          f'{judged} of them judged equivalent; {seconds} s')
    for m in survivors:
        print(f'  survivor {m.ident} ({m.path}): {m.fault}' +
              (f'\n    equivalent: {m.equivalent}' if m.equivalent else ''))
    for m in wrongly_equivalent:
        print(f'  judged equivalent but killed: {m.ident}; fix the judgement')
    if options['only'] is None:
        print(f'figures written to build-figures/{write_figures(options, results, seconds)}')
    unexplained = [m for m in survivors if not m.equivalent]
    disagreements = docs_agree() if options['subset'] else []
    for problem in disagreements:
        print(f'mutation.py: {problem}; run scripts/mutation.py, then scripts/render-docs.py '
              'mutation', file=sys.stderr)
    return 1 if unexplained or wrongly_equivalent or disagreements else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
