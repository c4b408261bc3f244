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
    """The "name value" lines of build-figures/NAME: a dict of lists, in order."""
    path = os.path.join(FIGURES, name)
    if not os.path.exists(path):
        raise Missing(name)
    values = {}
    with open(path) as text:
        for line in text:
            line = line.rstrip('\n')
            if not line.strip() or line.startswith('#'):
                continue
            key, _, value = line.partition(' ')
            values.setdefault(key, []).append(value)
    return Figures(name, values)


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
    return ['```cpp'] + source('ports/cortex-m4/example/MainLoop.cpp').rstrip('\n').split('\n') + \
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
        f'object `build-arm/ft847_driver.o`, built by {f["compiler"]}:',
        '',
        *table(['Section', 'Bytes', 'Bound'], [
            ['`.text`: code', f['text'], ''],
            ['`.rodata`: log texts, tone tables, vtable', f['rodata'], ''],
            ['`text` column of `arm-none-eabi-size`: code plus read-only data', f['size-text'],
             'at most 3,300 (CI)'],
            ['`.data`', f['data'], 'none (CI)'],
            ['`.bss`', f['bss'], 'none (CI)'],
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
            ['connected and idle', f['idle'], f['idle-updates'], 'at most 20 (CI)'],
            ['connect handshake, `begin()` to connected', f['handshake'],
             f['handshake-updates'], ''],
            ['`setModeFm()` with read-back, until no longer busy', f['command'],
             f['command-updates'], ''],
        ], ['---', '---:', '---:', '---']),
    ]


LINKED_TARGETS = [('cortex-m4f', 'Cortex-M4F'), ('cortex-m0p', 'Cortex-M0+'),
                  ('rv32imac', 'RV32IMAC')]
ALLOCATORS = ['malloc', '_malloc_r', '_calloc_r', '_realloc_r', '_sbrk']


def heap_brief(names):
    """A list of heap routines in a few words: the allocator entry points, and how many more."""
    if names == 'none':
        return 'none'
    routines = [n.strip() for n in names.split(',')]
    named = [code(n) for n in routines if n in ALLOCATORS]
    more = len(routines) - len(named)
    return ', '.join(named) + (f' and {more} more' if more else '')


def linked_target(f, target, title):
    def get(key):
        return f[f'{target}-{key}']

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
        f'{title} (`{flags}`, {libc}), built by {get("compiler")}:',
        '',
        *table(['What', 'Flash bytes', 'RAM bytes', 'Bound (CI)'], [
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
    f = figures('linked-size.txt')
    out = ['Linked with `--gc-sections` by `scripts/linked-size.sh` (images in `build-arm`, '
           '`build-m0plus`, `build-rv32`):', '']
    for target, title in LINKED_TARGETS:
        out += linked_target(f, target, title) + ['']

    def row(label, key, shape=str):
        return [label] + [shape(f[f'{t}-{key}']) for t, _ in LINKED_TARGETS]

    exits = ['registering the global driver\'s destructor for exit, flash / RAM bytes '
             '(included above)'] + [f'{f[t + "-exit-text"]} / {f[t + "-exit-ram"]}'
                                    for t, _ in LINKED_TARGETS]
    out += table(['The driver object'] + [title for _, title in LINKED_TARGETS], [
        row(f'`sizeof(FT847)`, bytes: at most {f["sizeof-bound"]} on each target, held by a '
            '`static_assert` in its build', 'sizeof'),
    ], ['---', '---:', '---:', '---:']) + ['']
    out += table(['Beyond the driver'] + [title for _, title in LINKED_TARGETS], [
        exits,
        row('a console `printf` on the C library\'s `vsnprintf`, integer conversions only, '
            'flash bytes', 'printf'),
        row('floating-point conversions added, for the tone line\'s `%.1f`, flash bytes',
            'printf-float'),
        row('heap routines with that integer `printf`', 'printf-heap', heap_brief),
        row('heap routines with the floating-point `printf`', 'printf-float-heap', heap_brief),
    ], ['---', '---:', '---:', '---:'])
    return out


TARGET_COST = [('cortex-m4f', 'Cortex-M4F'), ('cortex-m0p', 'Cortex-M0+'),
               ('rv32imac', 'RV32IMAC')]


def target_cost():
    f = figures('target-cost.txt')
    out = ['Counted by `scripts/target-cost.sh` under ' + f['cortex-m4f-qemu'] + ':', '']
    for target, title in TARGET_COST:
        out.append(f'- {title}: `{f[target + "-flags"]}`, built by {f[target + "-compiler"]}; '
                   f'the counter read {f[target + "-calibration"]} for a function of ten '
                   'instructions.')
    out.append('')

    def row(label, phase, bound=''):
        return [label] + [f[f'{t}-{phase}'] for t, _ in TARGET_COST] + \
            [f['cortex-m4f-' + phase + '-updates'], bound]

    out += table(['Phase'] + [title for _, title in TARGET_COST] + ['Calls', 'Bound'], [
        row('connected and idle', 'idle', 'at most 20 on the Cortex-M4F (CI)'),
        row('connect handshake, `begin()` to connected', 'handshake'),
        row('`setModeFm()` with read-back, until no longer busy', 'command'),
    ], ['---', '---:', '---:', '---:', '---:', '---'])
    return out


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
        'Every CI run (`scripts/ci-robustness.sh`, called by `.ci/run`) exercises the driver as',
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


# --- The front page --------------------------------------------------------------------------

def headline():
    linked_size = figures('linked-size.txt')
    target_cost = figures('target-cost.txt')
    fault = figures('fault-injection.txt')
    coverage = figures('coverage.txt')
    return table(['What', 'Figure', 'Full table'], [
        ['flash a Cortex-M4F firmware pays for the driver / without its log / RAM',
         f'{int(linked_size["cortex-m4f-cost"]):,} / '
         f'{int(linked_size["cortex-m4f-no-log-cost"]):,} / '
         f'{int(linked_size["cortex-m4f-data"]) + int(linked_size["cortex-m4f-bss"])} bytes',
         '[footprint](docs/footprint.md#linked-images)'],
        ['instructions per idle `update()` on a Cortex-M4F (counted under QEMU)',
         target_cost['cortex-m4f-idle'],
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
    'target-cost': (target_cost, ['target-cost.txt']),
    'linked': (linked, ['linked-size.txt']),
    'robustness': (robustness, ['fault-injection.txt', 'fuzz.txt', 'coverage.txt']),
    'mutation': (mutation, ['mutation.txt']),
    'mutation-station': (mutation_station, ['mutation-station.txt']),
    'rigctld': (rigctld, ['rigctld.txt']),
    'station-cpu': (station_cpu, ['station-cpu.txt']),
    'service-package': (service_package, ['package.txt']),
    'rigctld-churn': (rigctld_churn, ['rigctld-churn.txt']),
    'headline': (headline, ['linked-size.txt', 'target-cost.txt', 'fault-injection.txt',
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
