#!/usr/bin/env python3
"""Writes every generated block of README.md and docs/*.md: the one writer of figures.

A block sits between two marker lines, spelled the same way on every page:

    <!-- figures:NAME begin -->
    ...written here, never by hand...
    <!-- figures:NAME end -->

The scripts that measure print their figures as "name value" lines, and those lines are kept in
build-figures/ (scripts/update-docs.sh runs the measuring scripts and saves them; CI's steps
leave theirs there too). This script only reads those files and the sources a block quotes, so
it runs in a moment and writes the same text from the same figures.

    scripts/render-docs.py                rewrite every block whose figures are in build-figures/
    scripts/render-docs.py NAME...        rewrite these blocks; fail if a figure file is missing
    scripts/render-docs.py --check NAME...
                                          fail unless these blocks already say what their
                                          figures give (every block that can be rendered, if
                                          no NAME is given)
    scripts/render-docs.py --list         the blocks, their pages and the files they read

Exit status: 0 when done (or when --check finds the pages as they would be written), 1 when a
block differs or a figure file a named block needs is missing, 2 for a bad argument or a page
whose markers are broken.
"""
import glob
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIGURES = os.path.join(ROOT, 'build-figures')
BEGIN = re.compile(r'^<!-- figures:([a-z0-9-]+) begin -->$')
END = re.compile(r'^<!-- figures:([a-z0-9-]+) end -->$')


class Missing(Exception):
    """A figure file that a block needs is not in build-figures/."""


# What a block found wrong in its figures while rendering them: written all the same, and the
# run fails.
problems = []


def pages():
    return [os.path.join(ROOT, 'README.md')] + sorted(glob.glob(os.path.join(ROOT, 'docs', '*.md')))


def figures(name):
    """The "name value" lines of build-figures/NAME: a dict of lists, in order. A NAME with a
    "*" reads every file it matches, as the figures of each board are kept apart."""
    paths = sorted(glob.glob(os.path.join(FIGURES, name)))
    if not paths:
        raise Missing(name)
    values = {}
    for path in paths:
        with open(path) as text:
            for line in text:
                line = line.rstrip('\n')
                if not line.strip() or line.startswith('#'):
                    continue
                key, _, value = line.partition(' ')
                values.setdefault(key, []).append(value)
    return Figures(name, values)


# --- The table of boards ---------------------------------------------------------------------

BOARD_TABLE = os.path.join(ROOT, 'ports', 'boards', 'boards.txt')


def facts(path):
    """The "name value" lines of a board's board.txt or an architecture's arch.txt."""
    values = {}
    with open(path) as text:
        for line in text:
            if line[:1].isalpha():
                key, _, value = line.strip().partition(' ')
                values[key] = value.strip()
    return values


def boards(program=None):
    """The rows of ports/boards/boards.txt, in order, or those that name PROGRAM: each a dict of
    the board, its target, what it runs, its NAME=value words and its board.txt."""
    rows = []
    with open(BOARD_TABLE) as text:
        for line in text:
            words = line.split()
            if len(words) < 3 or words[0] != 'board':
                continue
            row = {'board': words[1], 'target': words[2], 'programs': [], 'values': {}}
            for word in words[3:]:
                name, equals, value = word.partition('=')
                if equals:
                    row['values'][name] = value
                    row['programs'].append(name)
                else:
                    row['programs'].append(word)
            row['facts'] = facts(os.path.join(ROOT, 'ports', 'boards', words[1], 'board.txt'))
            if program is None or program in row['programs']:
                rows.append(row)
    return rows


def idle_bound():
    with open(BOARD_TABLE) as text:
        for line in text:
            words = line.split()
            if words[:2] == ['bound', 'idle-update-instructions']:
                return int(words[2])
    raise KeyError(f'{BOARD_TABLE} has no line "bound idle-update-instructions N"')


class Figures:
    def __init__(self, name, values):
        self.name = name
        self.values = values

    def __getitem__(self, key):
        if key not in self.values:
            raise KeyError(f'build-figures/{self.name} has no figure "{key}"')
        return self.values[key][-1]

    def all(self, key):
        return self.values.get(key, [])

    def number(self, key):
        return f'{int(self[key]):,}'


def source(path):
    with open(os.path.join(ROOT, path)) as text:
        return text.read()


def table(header, rows, align=None):
    align = align or ['---'] * len(header)
    out = ['| ' + ' | '.join(header) + ' |', '|' + '|'.join(align) + '|']
    out += ['|' + '|'.join(f' {cell} ' if str(cell) else ' ' for cell in row) + '|'
            for row in rows]
    return out


def code(text):
    return f'`{text}`'


# --- The driver on a board -------------------------------------------------------------------

def main_loop():
    return ['```cpp'] + source('examples/MainLoop.cpp').rstrip('\n').split('\n') + \
        ['```']


PLATFORM = re.compile(r'^(Serial|millis\(\)|settings[A-Za-z]*\(.*\)|rigControl[A-Za-z]*\(.*\)|'
                      r'HardwareSerial::.*|Log::.*)$')


def object_symbols():
    footprint = figures('footprint.txt')
    undefined = sorted(footprint.all('undefined'))
    platform = [code(s) for s in undefined if PLATFORM.match(s)]
    other = [code(s) for s in undefined if not PLATFORM.match(s)]
    return [f'From the platform: {", ".join(platform)}.', '',
            f'Anything else: {", ".join(other) if other else "nothing"}.']


# --- What a firmware pays --------------------------------------------------------------------

def object_footprint():
    f = figures('footprint.txt')
    return [
        'Cortex-M4 (`-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16 -Os`), the driver',
        f'object `build/boards/size-cortex-m4f/ft847_driver.o`, built by {f["compiler"]}:',
        '',
        *table(['Section', 'Bytes', 'Bound'], [
            ['`.text`: code', f['text'], ''],
            ['`.rodata`: log texts, tone tables, vtable', f['rodata'], ''],
            ['`text` column of `arm-none-eabi-size`: code plus read-only data', f['size-text'],
             'at most 3,300 (CTest)'],
            ['`.data`', f['data'], 'none (CTest)'],
            ['`.bss`', f['bss'], 'none (CTest)'],
            ['`sizeof(FT847)` on the 32-bit target', f['sizeof'],
             f'at most {f["sizeof-bound"]} (`static_assert`)'],
        ], ['---', '---:', '---']),
    ]


def update_cost():
    f = figures('cost.txt')
    return [
        f'Instructions per `update()` call on x86-64 at -O2, counted by {f["valgrind"]}\'s',
        f'callgrind, built by {f["compiler"]}:',
        '',
        *table(['Phase', 'Instructions per call', 'Calls', 'Bound'], [
            ['connected and idle', f['idle'], f['idle-updates'], f'at most {idle_bound()} (CTest)'],
            ['connect handshake, `begin()` to connected', f['handshake'],
             f['handshake-updates'], ''],
            ['`setModeFm()` with read-back, until no longer busy', f['command'],
             f['command-updates'], ''],
        ], ['---', '---:', '---:', '---']),
    ]


ALLOCATORS = ['malloc', '_malloc_r', '_calloc_r', '_realloc_r', '_sbrk']


def heap_brief(names):
    """A list of heap routines in a few words: the allocator entry points, and how many more."""
    if names == 'none':
        return 'none'
    routines = [n.strip() for n in names.split(',')]
    named = [code(n) for n in routines if n in ALLOCATORS]
    more = len(routines) - len(named)
    return ', '.join(named) + (f' and {more} more' if more else '')


def linked_board(f, board):
    def get(key):
        return f[f'{board}-{key}']

    cost, own = int(get('cost')), int(get('own-text'))
    helpers_text, helpers_ram = int(get('helpers-text')), int(get('helpers-ram'))
    ram = int(get('data')) + int(get('bss'))
    radio = int(get('radio').split()[-1])
    flags, _, libc = get('flags').rpartition(', ')
    helpers = get('helpers')
    if helpers == 'none':
        helper_row = ['of which library routines', 0, 0]
    else:
        named = ', '.join(code(h) for h in helpers.split(', '))
        helper_row = [f'of which library routines: {named}', helpers_text, helpers_ram]
    path = ' → '.join(f'`{step}()`' for step in get('stack-path').split(' > '))
    return [
        f'{get("processor")}, board `{board}` (`{flags}`, {libc}), built by {get("compiler")}:',
        '',
        *table(['What', 'Flash bytes', 'RAM bytes', 'Bound (CTest)'], [
            ['the driver, linked: the image with it minus the image without', cost, ram,
             f'flash at most {int(get("bound")):,}; no heap routine'],
            ['of which its own code and read-only data, and its object in `.bss`', own, radio, ''],
            helper_row + ['none for 64-bit division or `double`'],
            ['of which the firmware\'s calls of every command and its construction of the driver',
             cost - own - helpers_text, ram - radio - helpers_ram, ''],
            [f'stack of the deepest call chain in the driver: {path}', '', get('stack'), ''],
            ['the driver with its log compiled out (`FT847_NO_LOG`), linked', get('no-log-cost'),
             int(get('no-log-data')) + int(get('no-log-bss')),
             f'flash at most {int(get("no-log-bound")):,}; no log text in flash'],
            ['of which its own code and read-only data', get('no-log-own-text'), '', ''],
        ], ['---', '---:', '---:', '---']),
    ]


def linked():
    f = figures('linked-size-*.txt')
    names = [row['board'] for row in boards('linked-images')]
    out = ['Linked with `--gc-sections` on the boards of `ports/boards/boards.txt` that build the '
           'images, and measured by `scripts/linked-size.sh` (images in '
           '`build/boards/<board>/tools/linked-size`):', '']
    for board in names:
        out += linked_board(f, board) + ['']

    def row(label, key, shape=str):
        return [label] + [shape(f[f'{b}-{key}']) for b in names]

    exits = ['registering the global driver\'s destructor for exit, flash / RAM bytes '
             '(included above)'] + [f'{f[b + "-exit-text"]} / {f[b + "-exit-ram"]}'
                                    for b in names]
    processors = [f[b + '-processor'] for b in names]
    out += table(['The driver object'] + processors, [
        row(f'`sizeof(FT847)`, bytes: at most {f["sizeof-bound"]} on each target, held by a '
            '`static_assert` in its build', 'sizeof'),
    ], ['---'] + ['---:'] * len(names)) + ['']
    out += table(['Beyond the driver'] + processors, [
        exits,
        row('a console `printf` on the C library\'s `vsnprintf`, integer conversions only, '
            'flash bytes', 'printf'),
        row('floating-point conversions added, for the tone line\'s `%.1f`, flash bytes',
            'printf-float'),
        row('heap routines with that integer `printf`', 'printf-heap', heap_brief),
        row('heap routines with the floating-point `printf`', 'printf-float-heap', heap_brief),
    ], ['---'] + ['---:'] * len(names))
    return out


def target_cost():
    f = figures('target-cost-*.txt')
    names = [row['board'] for row in boards('cost-probe')]
    out = ['Counted by `scripts/target-cost.sh` under ' + f[names[0] + '-qemu'] + ':', '']
    for b in names:
        out.append(f'- {f[b + "-processor"]} on `{b}`: `{f[b + "-flags"]}`, built by '
                   f'{f[b + "-compiler"]}; the counter read {f[b + "-calibration"]} for a '
                   'function of ten instructions.')
    out.append('')

    def row(label, phase, bound=''):
        return [label] + [f[f'{b}-{phase}'] for b in names] + \
            [f[names[0] + '-' + phase + '-updates'], bound]

    out += table(['Phase'] + [f'{f[b + "-processor"]} (`{b}`)' for b in names] +
                 ['Calls', 'Bound'], [
        row('connected and idle', 'idle', f'at most {idle_bound()} on every board (CTest)'),
        row('connect handshake, `begin()` to connected', 'handshake'),
        row('`setModeFm()` with read-back, until no longer busy', 'command'),
    ], ['---'] + ['---:'] * (len(names) + 1) + ['---'])
    return out


def board_table():
    """The boards of ports/boards/boards.txt, what each is and what builds and runs on it."""
    rows = []
    for row in boards():
        facts_ = row['facts']
        arch = facts(os.path.join(ROOT, 'ports', 'arch', facts_['arch'], 'arch.txt'))
        values = row['values']
        runs = []
        for program in row['programs']:
            if program == 'linked-images':
                runs.append(f'linked-images (flash at most {int(values["flash-bound"]):,} '
                            f'bytes, {int(values["no-log-bound"]):,} without the log)')
            elif program == 'fault-sequences':
                runs.append(f'fault-sequences ({int(values[program]):,})')
            elif program not in ('flash-bound', 'no-log-bound'):
                runs.append(program)
        emulator = facts_.get('emulator')
        rows.append([code(row['board']), code(row['target']), facts_['processor'],
                     arch['c-library'], code(emulator) if emulator else 'none', ', '.join(runs)])
    return table(['Board', 'Target', 'Processor', 'C library', 'Emulator', 'Builds and runs'],
                 rows)


# --- Robustness ------------------------------------------------------------------------------

# Why a driver branch cannot be taken, by a phrase of its source line.
BRANCH_REASONS = [
    ('switch (', 'the compiler\'s branch for a value outside the enum; every value is a case'),
]


def uncovered_branches(coverage):
    rows = []
    for entry in coverage.all('uncovered-branches'):
        where, missed = entry.split()
        path, line = where.rsplit(':', 1)
        text = source(path).splitlines()[int(line) - 1].strip()
        reason = next((why for phrase, why in BRANCH_REASONS if phrase in text), None)
        if reason is None:
            problems.append(f'robustness: no test takes a branch of {where}, and nothing says why '
                            f'none can: "{text}"')
            reason = 'NOT EXPLAINED'
        rows.append([code(where), missed, code(text), reason])
    return rows


def percent(part, whole):
    return f'{100.0 * int(part) / int(whole):.1f} %'


def robustness():
    fault = figures('fault-injection.txt')
    fuzz = figures('fuzz.txt')
    coverage = figures('coverage.txt')
    n = fault.number
    out = [
        'Every CI run (`.ci/run`: CTest, then `scripts/ci-robustness.sh`) exercises the driver as',
        'follows:',
        '',
        *table(['What', 'Figure'], [
            [f'random fault-injection sequences (seeds {fault["first-seed"]} on)', n('sequences')],
            ['actions in them / driver calls / of which refused',
             f'{n("actions")} / {n("driver-calls")} / {n("refused-calls")}'],
            ['simulated time / frames written', f'{n("simulated-s")} s / {n("frames")}'],
            ['faults injected', n('faults')],
            ['of which power cycles, refused-write spells, line-noise bursts',
             f'{n("power-cycles")}, {n("write-refusals")}, {n("noise-bursts")}'],
            ['of which lost frames, dropped, corrupted, duplicated bytes',
             f'{n("frames-lost")}, {n("bytes-dropped")}, {n("bytes-corrupted")}, '
             f'{n("bytes-duplicated")}'],
            ['of which truncated, late replies',
             f'{n("replies-truncated")}, {n("replies-delayed")}'],
            ['link failures / reconnections seen',
             f'{n("link-failures")} / {n("reconnections")}'],
            ['reconnection bound, loop every ms: at 4800 baud, latency up to 40 ms / at 57600 '
             'baud, no latency',
             f'{fault["bound-ms-4800-baud-40-ms"]} ms / {fault["bound-ms-57600-baud-0-ms"]} ms'],
            ['sequences whose loop updates every ms / is jittered / stalls',
             f'{n("loops-steady")} / {n("loops-jittered")} / {n("loops-stalling")}'],
            ['`update()` calls / of which in the same millisecond as the one before',
             f'{n("updates")} / {n("updates-in-same-ms")}'],
            ['`update()` calls before the time `msUntilNextStep()` gave, each checked to change '
             'nothing', n('updates-before-step')],
            ['stalls of 100 ms to 2 s / of which across the clock\'s wrap',
             f'{n("stalls")} / {n("stalls-across-wrap")}'],
            ['radio switched off or on during a stall / bytes that arrived during one',
             f'{n("power-switches-in-stalls")} / {n("bytes-in-stalls")}'],
            ['longest gap between two updates', f'{fault["longest-gap-ms"]} ms'],
            ['reconnection bound at 4800 baud, latency up to 40 ms, jittered loop (gaps up to '
             '50 ms) / stalling loop (up to 2 s)',
             f'{fault["bound-ms-4800-baud-40-ms-jittered"]} ms / '
             f'{fault["bound-ms-4800-baud-40-ms-stalling"]} ms'],
            ['longest reconnection seen, loop every ms / jittered / stalling',
             f'{fault["longest-recovery-ms-steady"]} ms / '
             f'{fault["longest-recovery-ms-jittered"]} ms / '
             f'{fault["longest-recovery-ms-stalling"]} ms'],
            [f'fuzz inputs run (seed corpus: {fuzz["seed-inputs"]} inputs)', fuzz.number('runs')],
            [f'tracker protocol fuzz inputs run, every line answered (seed corpus: '
             f'{fuzz["rigctl-seed-inputs"]} inputs)', fuzz.number('rigctl-runs')],
            ['`driver/` lines covered',
             f'{percent(coverage["lines-covered"], coverage["lines"])} '
             f'({coverage["lines-covered"]} of {coverage["lines"]})'],
            ['`driver/` branches covered',
             f'{percent(coverage["branches-covered"], coverage["branches"])} '
             f'({coverage["branches-covered"]} of {coverage["branches"]})'],
        ]),
    ]
    rows = uncovered_branches(coverage)
    if rows:
        out += ['', 'Branches no test takes, and why none can:', '']
        out += table(['Where', 'Branches', 'Code', 'Why it cannot be taken'], rows)
    return out


def mutation_figures(f, intro):
    """A mutation check's block: what it does, its figures, and its survivors with the reasons."""
    mutants, killed = int(f['mutants']), int(f['killed'])
    survivors = [s.split(' | ') for s in f.all('survivor')]
    judged = [s for s in survivors if len(s) > 3 and s[3]]
    out = intro + [
        '',
        *table(['What', 'Figure'], [
            ['mutants', mutants],
            ['killed by a test', f'{killed} ({percent(killed, mutants)})'],
            ['survived', f'{mutants - killed}, of which judged equivalent: {len(judged)}'],
            ['killed, of those not judged equivalent', f'{killed} of {mutants - len(judged)}'],
            ['run by CI (`--subset`)', f['ci-subset']],
        ]),
    ]
    if survivors:
        out += ['', 'Survivors, and why no test can notice them:', '']
        out += table(['Mutant', 'Where', 'Change', 'Why'], [
            [code(s[0]), code(s[1]), s[2],
             s[3] if len(s) > 3 and s[3] else 'NOT EXPLAINED: a gap in the tests']
            for s in survivors])
    return out


def mutation():
    f = figures('mutation.txt')
    return mutation_figures(f, [
        f'`scripts/mutation.py` makes {f["mutants"]} one-place changes to `driver/`, each a '
        'fault a',
        'developer could make. For each one it rebuilds and runs the scenario program, the heap',
        f'test and the unit tests (with {f.number("sequences")} fault-injection sequences).',
    ])


def mutation_station():
    f = figures('mutation-station.txt')
    return mutation_figures(f, [
        f'`scripts/mutation.py --suite station` makes {f["mutants"]} one-place changes to '
        '`station/`, each',
        'breaking one promise that a header comment of `station/` states. For each one it '
        'rebuilds only',
        'the test programs that hold the promises of its file, and runs their tests of that file.',
    ])


# --- The Linux programs ----------------------------------------------------------------------

def rigctld():
    f = figures('rigctld.txt')
    return table(['What', 'Figure'], [
        ['from a tracker\'s `F` to the set frame on the radio\'s line, link idle (median / largest '
         'of 20)', f'{f["latency-median-ms"]} ms / {f["latency-max-ms"]} ms'],
        ['from radio power-on, after 5 s off in mid-pass, to the tracker\'s newest frequencies on '
         'the radio', f'{f["power-on-ms"]} ms'],
        ['errors the tracker saw meanwhile', f['tracker-errors']],
        ['the station\'s CPU over 10 s tracking at 1 Hz (scheduler\'s count) / wake-ups a second',
         f'{f["cpu-percent-schedstat"]} % / {f["wakeups-per-second"]}'],
    ])


def station_cpu():
    f = figures('station-cpu.txt')
    return [
        f'Measured by `scripts/station-cpu.sh` over {f["seconds"]} s while the station was '
        'connected and idle, polling',
        f'both VFOs once a second ({f["polls"]} polls), on a pseudo-terminal at 4800 bps. CPU '
        'time comes from',
        f'`/proc/PID/stat` (in clock ticks: one is {f["resolution-percent"]} % over this time) '
        'and from the',
        'scheduler\'s nanosecond count in `/proc/PID/schedstat`. Wake-ups are the context '
        'switches in',
        '`/proc/PID/status`.',
        '',
        *table(['Program', 'CPU, % of one core (stat)', 'CPU, % of one core (schedstat)',
                'Wake-ups per second'], [
            ['`ft847-station`', f['station-cpu-percent'], f['station-cpu-percent-schedstat'],
             f['station-wakeups-per-second']],
            ['`ft847-emulator`', f['emulator-cpu-percent'], f['emulator-cpu-percent-schedstat'],
             f['emulator-wakeups-per-second']],
        ], ['---', '---:', '---:', '---:']),
    ]


def service_package():
    f = figures('package.txt')
    return table(['What', 'Figure'], [
        ['exposure of `ft847-station@.service` (`systemd-analyze security --offline=true`)',
         f['unit-exposure']],
        ['lintian errors / warnings / notes',
         f'{f["lintian-errors"]} / {f["lintian-warnings"]} / {f["lintian-info"]}'],
        ['`mandoc -T lint` warnings in both manual pages', f['man-lint-warnings']],
        ['programs with Debian\'s hardening, of 2', f['hardened-programs']],
        ['system calls of the station / those the unit refuses (`scripts/unit-sandbox.sh`)',
         f'{f["unit-syscalls"]} / {f["unit-syscalls-refused"]}'],
        ['socket families of the station / those the unit refuses',
         f'`{f["unit-socket-families"]}` / {f["unit-socket-families-refused"]}'],
        ['package file and size', f'`{f["deb-file"]}`, {f.number("deb-bytes")} bytes'],
        ['dependencies: dpkg-shlibdeps\'s, and procps for `/bin/kill`', f'`{f["depends"]}`'],
    ])


def rigctld_churn():
    f = figures('rigctld-churn.txt')
    return table(['What', 'Figure'], [
        ['churn', f'{f["seconds"]} s, {f.number("connections")} connections, '
                  f'{f.number("refused")} refused'],
        ['the station\'s resident memory before / after / growth',
         f'{f["rss-before-kb"]} / {f["rss-after-kb"]} / {f["rss-growth-kb"]} KB'],
        ['open descriptors before / after',
         f'{f["descriptors-before"]} / {f["descriptors-after"]}'],
    ])


# --- CI ------------------------------------------------------------------------------------

def ci_stages():
    f = figures('ci-stages.txt')

    def rows(kind):
        out = []
        for line in f.all(kind):
            wall, cpu, what = line.split(' ', 2)
            out.append([what, wall, cpu])
        return out

    total = int(f['total'])
    return [
        f'The stages of the last CI run measured, on {f["cores"]} cores (`.ci/run`, which writes '
        '`build-figures/ci-stages.txt`). Processor time is that of everything a stage ran, on all '
        f'cores. The machine\'s load averaged {f["load"]} over the last 15 minutes of the run.',
        '',
        *table(['Stage', 'Seconds', 'Processor seconds'], rows('stage') + [
            ['the whole run', total, '']], ['---', '---:', '---:']),
        '',
        'Beside them, in the background, from the end of the package\'s checks:',
        '',
        *table(['Check', 'Seconds', 'Processor seconds'], rows('beside'),
               ['---', '---:', '---:']),
        '',
        f'{total // 60} minutes {total % 60} seconds in all.',
    ]


# --- The front page --------------------------------------------------------------------------

def headline():
    linked_size = figures('linked-size-*.txt')
    target_cost = figures('target-cost-*.txt')
    fault = figures('fault-injection.txt')
    coverage = figures('coverage.txt')
    # The Cortex-M4F's figures: its linked images and its cost probe, wherever they run.
    size = next(r['board'] for r in boards('linked-images') if r['target'] == 'cortex-m4f')
    cost = next(r['board'] for r in boards('cost-probe') if r['target'] == 'cortex-m4f')
    return table(['What', 'Figure', 'Full table'], [
        ['flash a Cortex-M4F firmware pays for the driver / without its log / RAM',
         f'{int(linked_size[size + "-cost"]):,} / '
         f'{int(linked_size[size + "-no-log-cost"]):,} / '
         f'{int(linked_size[size + "-data"]) + int(linked_size[size + "-bss"])} bytes',
         '[footprint](docs/footprint.md#linked-images)'],
        ['instructions per idle `update()` on a Cortex-M4F (counted under QEMU)',
         target_cost[cost + '-idle'],
         '[on each target](docs/firmware-in-the-loop.md#instructions-per-update-on-each-target)'],
        ['seeded fault-injection sequences in every CI run', fault.number('sequences'),
         '[robustness](docs/robustness.md#figures-of-a-ci-run)'],
        ['`driver/` lines / branches covered',
         f'{percent(coverage["lines-covered"], coverage["lines"])} / '
         f'{percent(coverage["branches-covered"], coverage["branches"])}',
         '[robustness](docs/robustness.md#figures-of-a-ci-run)'],
    ], ['---', '---:', '---'])


# Each block: its renderer and the figure files it reads (those of build-figures/).
BLOCKS = {
    'main-loop': (main_loop, []),
    'object-symbols': (object_symbols, ['footprint.txt']),
    'object-footprint': (object_footprint, ['footprint.txt']),
    'update-cost': (update_cost, ['cost.txt']),
    'target-cost': (target_cost, ['target-cost-*.txt']),
    'linked': (linked, ['linked-size-*.txt']),
    'boards': (board_table, []),
    'robustness': (robustness, ['fault-injection.txt', 'fuzz.txt', 'coverage.txt']),
    'mutation': (mutation, ['mutation.txt']),
    'mutation-station': (mutation_station, ['mutation-station.txt']),
    'rigctld': (rigctld, ['rigctld.txt']),
    'station-cpu': (station_cpu, ['station-cpu.txt']),
    'service-package': (service_package, ['package.txt']),
    'ci-stages': (ci_stages, ['ci-stages.txt']),
    'rigctld-churn': (rigctld_churn, ['rigctld-churn.txt']),
    'headline': (headline, ['linked-size-*.txt', 'target-cost-*.txt', 'fault-injection.txt',
                            'coverage.txt']),
}


def split(path):
    """The page as a list of parts: plain lines, and (name, old body) for each block."""
    with open(path) as text:
        lines = text.read().split('\n')
    parts, block, body = [], None, []
    for number, line in enumerate(lines, 1):
        begin, end = BEGIN.match(line), END.match(line)
        if block is None and begin:
            block, body = begin.group(1), []
        elif block is not None and end:
            if end.group(1) != block:
                raise SyntaxError(f'{path}:{number}: "{block}" ends as "{end.group(1)}"')
            parts.append((block, body))
            block = None
        elif block is not None:
            if begin:
                raise SyntaxError(f'{path}:{number}: "{begin.group(1)}" begins inside "{block}"')
            body.append(line)
        elif end:
            raise SyntaxError(f'{path}:{number}: "{end.group(1)}" ends without a begin')
        else:
            parts.append(line)
    if block is not None:
        raise SyntaxError(f'{path}: "{block}" never ends')
    return parts


def join(parts, rendered):
    lines = []
    for part in parts:
        if isinstance(part, str):
            lines.append(part)
            continue
        name, body = part
        lines.append(f'<!-- figures:{name} begin -->')
        lines += rendered.get(name, body)
        lines.append(f'<!-- figures:{name} end -->')
    return '\n'.join(lines)


def render(name):
    return [''] + BLOCKS[name][0]() + ['']


def main(argv):
    check = '--check' in argv
    names = [a for a in argv if a != '--check']
    if names == ['--list'] or any(n.startswith('-') for n in names):
        if names != ['--list']:
            print(f'render-docs.py: unknown option {names[0]}', file=sys.stderr)
            return 2
    unknown = [n for n in names if n not in BLOCKS and n != '--list']
    if unknown:
        print(f'render-docs.py: no block named {", ".join(unknown)} '
              f'(blocks: {", ".join(BLOCKS)})', file=sys.stderr)
        return 2
    try:
        split_pages = {path: split(path) for path in pages()}
    except SyntaxError as error:
        print(f'render-docs.py: {error}', file=sys.stderr)
        return 2
    where = {}
    for path, parts in split_pages.items():
        for part in parts:
            if not isinstance(part, str):
                where.setdefault(part[0], []).append(os.path.relpath(path, ROOT))
    strangers = sorted(set(where) - set(BLOCKS))
    if strangers:
        print(f'render-docs.py: pages have blocks no one writes: {", ".join(strangers)}',
              file=sys.stderr)
        return 2
    if names == ['--list']:
        for name, (_, inputs) in BLOCKS.items():
            print(f'{name:18} {", ".join(where.get(name, ["(on no page)"])):28} '
                  f'{", ".join("build-figures/" + i for i in inputs) or "sources only"}')
        return 0

    status = 0
    rendered = {}
    for name in names or [n for n in BLOCKS if n in where]:
        if name not in where:
            print(f'render-docs.py: no page has the block {name}', file=sys.stderr)
            status = 1
            continue
        try:
            rendered[name] = render(name)
        except Missing as missing:
            if names:
                print(f'render-docs.py: {name} needs build-figures/{missing}', file=sys.stderr)
                status = 1
            else:
                print(f'render-docs.py: {name} skipped: no build-figures/{missing}',
                      file=sys.stderr)
        except KeyError as missing:
            # A board of the table whose figures were not measured.
            print(f'render-docs.py: {name}: {missing.args[0]}', file=sys.stderr)
            status = 1
    for path, parts in split_pages.items():
        with open(path) as text:
            old = text.read()
        new = join(parts, rendered)
        if new == old:
            continue
        page = os.path.relpath(path, ROOT)
        if check:
            changed = [p[0] for p in parts if not isinstance(p, str) and p[0] in rendered
                       and rendered[p[0]] != p[1]]
            print(f'render-docs.py: {page}: {", ".join(changed) or "markers"} differ from '
                  'the figures; rerun scripts/render-docs.py and commit', file=sys.stderr)
            status = 1
        else:
            with open(path, 'w') as text:
                text.write(new)
            print(f'{page}: written')
    for problem in problems:
        print(f'render-docs.py: {problem}', file=sys.stderr)
        status = 1
    if check and status == 0:
        print(f'render-docs.py: {", ".join(rendered) or "no block"} as the figures say')
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
