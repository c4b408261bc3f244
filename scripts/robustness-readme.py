#!/usr/bin/env python3
"""Writes the robustness section of README.md from the figures the CI steps leave in
build-figures/: fault-injection.txt (the fault-injection test), coverage.json and
coverage-detail.json (scripts/coverage.sh) and fuzz.txt (scripts/fuzz.sh).

    scripts/robustness-readme.py          rewrite the section between the markers
    scripts/robustness-readme.py --check  fail unless README.md already says exactly that

Every figure written is deterministic: the fault-injection sequences are seeded, the fuzz run
has a fixed number of inputs, and coverage counts lines and branches. libFuzzer's count of code
edges moves by a few between builds, so it is left out.
"""
import json
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIGURES = os.path.join(ROOT, 'build-figures')
BEGIN = '<!-- robustness figures: begin (written by scripts/robustness-readme.py) -->'
END = '<!-- robustness figures: end -->'

# Why a driver branch cannot be taken, by a phrase of its source line.
REASONS = [
    ('switch (', 'the compiler\'s branch for a value outside the enum; every value is a case'),
    ('!faulted', '`ready` and `faulted` are never both true (checked after every update), '
                 'so with `ready` set `faulted` is false'),
    ('|| faulted', '`ready` and `faulted` are never both true, so with `ready` set `faulted` '
                   'is false'),
    ('frequencyCheckPending &&', 'a read-back for a frequency is only started with '
                                 '`frequencyCheckPending` set'),
    ('modeCheckPending &&', 'a read-back for a mode is only started with `modeCheckPending` set'),
]


def key_values(name):
    values = {}
    with open(os.path.join(FIGURES, name)) as text:
        for line in text:
            key, _, value = line.strip().partition('=')
            if key:
                values[key] = value
    return values


def thousands(value):
    return f'{int(value):,}'


def uncovered_branches():
    with open(os.path.join(FIGURES, 'coverage-detail.json')) as text:
        detail = json.load(text)
    rows = []
    for entry in detail['files']:
        with open(os.path.join(ROOT, entry['file'])) as source:
            lines = source.read().splitlines()
        for line in entry['lines']:
            missed = sum(1 for branch in line['branches'] if branch['count'] == 0)
            if missed == 0:
                continue
            code = lines[line['line_number'] - 1].strip()
            reason = next((why for phrase, why in REASONS if phrase in code), 'NOT EXPLAINED')
            rows.append(f'| `{entry["file"]}:{line["line_number"]}` | {missed} | '
                        f'`{code}` | {reason} |')
    return rows


def section():
    fault = key_values('fault-injection.txt')
    fuzz = key_values('fuzz.txt')
    with open(os.path.join(FIGURES, 'coverage.json')) as text:
        coverage = json.load(text)
    rows = uncovered_branches()
    out = [
        BEGIN,
        '',
        'Every CI run (`scripts/ci-robustness.sh`, called by `.ci/run`) exercises the driver as',
        'follows; the figures are written by `scripts/robustness-readme.py`.',
        '',
        '| What | Figure |',
        '|---|---|',
        f'| random fault-injection sequences (seeds {fault["first_seed"]} on) | '
        f'{thousands(fault["sequences"])} |',
        f'| actions in them / driver calls / of which refused | {thousands(fault["actions"])} / '
        f'{thousands(fault["driver_calls"])} / {thousands(fault["refused_calls"])} |',
        f'| simulated time / frames written | {thousands(fault["simulated_s"])} s / '
        f'{thousands(fault["frames"])} |',
        f'| faults injected | {thousands(fault["faults"])} |',
        f'| of which power cycles, refused-write spells, line-noise bursts | '
        f'{thousands(fault["power_cycles"])}, {thousands(fault["write_refusals"])}, '
        f'{thousands(fault["noise_bursts"])} |',
        f'| of which lost frames, dropped, corrupted, duplicated bytes | '
        f'{thousands(fault["frames_lost"])}, {thousands(fault["bytes_dropped"])}, '
        f'{thousands(fault["bytes_corrupted"])}, {thousands(fault["bytes_duplicated"])} |',
        f'| of which truncated, late replies | {thousands(fault["replies_truncated"])}, '
        f'{thousands(fault["replies_delayed"])} |',
        f'| link failures / reconnections seen | {thousands(fault["link_failures"])} / '
        f'{thousands(fault["reconnections"])} |',
        f'| reconnection bound, loop every ms: at 4800 baud, latency up to 40 ms / at 57600 '
        f'baud, no latency | {fault["bound_ms_4800_baud_40_ms"]} ms / '
        f'{fault["bound_ms_57600_baud_0_ms"]} ms |',
        f'| sequences whose loop updates every ms / is jittered / stalls | '
        f'{thousands(fault["loops_steady"])} / {thousands(fault["loops_jittered"])} / '
        f'{thousands(fault["loops_stalling"])} |',
        f'| `update()` calls / of which in the same millisecond as the one before | '
        f'{thousands(fault["updates"])} / {thousands(fault["updates_in_same_ms"])} |',
        f'| stalls of 100 ms to 2 s / of which across the clock\'s wrap | '
        f'{thousands(fault["stalls"])} / {thousands(fault["stalls_across_wrap"])} |',
        f'| radio switched off or on during a stall / bytes that arrived during one | '
        f'{thousands(fault["power_switches_in_stalls"])} / {thousands(fault["bytes_in_stalls"])} |',
        f'| longest gap between two updates | {fault["longest_gap_ms"]} ms |',
        f'| reconnection bound at 4800 baud, latency up to 40 ms, jittered loop (gaps up to '
        f'50 ms) / stalling loop (up to 2 s) | {fault["bound_ms_4800_baud_40_ms_jittered"]} ms / '
        f'{fault["bound_ms_4800_baud_40_ms_stalling"]} ms |',
        f'| longest reconnection seen, loop every ms / jittered / stalling | '
        f'{fault["longest_recovery_ms_steady"]} ms / {fault["longest_recovery_ms_jittered"]} ms / '
        f'{fault["longest_recovery_ms_stalling"]} ms |',
        f'| fuzz inputs run (seed corpus: {fuzz["seed_inputs"]} inputs) | '
        f'{thousands(fuzz["runs"])} |',
        f'| tracker protocol fuzz inputs run, every line answered (seed corpus: '
        f'{fuzz["rigctl_seed_inputs"]} inputs) | {thousands(fuzz["rigctl_runs"])} |',
        f'| `driver/` lines covered | {coverage["line_percent"]:.1f} % '
        f'({coverage["line_covered"]} of {coverage["line_total"]}) |',
        f'| `driver/` branches covered | {coverage["branch_percent"]:.1f} % '
        f'({coverage["branch_covered"]} of {coverage["branch_total"]}) |',
        '',
    ]
    if rows:
        out += ['Branches no test takes, and why none can:', '',
                '| Where | Branches | Code | Why it cannot be taken |', '|---|---|---|---|']
        out += rows + ['']
    out.append(END)
    return '\n'.join(out) + '\n'


def main():
    readme_path = os.path.join(ROOT, 'README.md')
    with open(readme_path) as text:
        readme = text.read()
    fresh = section()
    if BEGIN in readme and END in readme:
        start = readme.index(BEGIN)
        stop = readme.index(END) + len(END) + 1
        updated = readme[:start] + fresh + readme[stop:]
    else:
        updated = readme.rstrip('\n') + '\n\n' + fresh
    if '--check' in sys.argv:
        if updated != readme:
            print('README.md robustness figures differ from this run; '
                  'rerun scripts/robustness-readme.py')
            return 1
        print('README.md robustness figures match this run')
        return 0
    with open(readme_path, 'w') as text:
        text.write(updated)
    return 0


if __name__ == '__main__':
    sys.exit(main())
