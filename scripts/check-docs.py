#!/usr/bin/env python3
"""Checks the README and the pages in docs/ as a reader meets them:

- every relative link points at a file that exists, and a link with a #fragment into a Markdown
  page at a heading of that page (headings turned into anchors as the usual code hosts do);
- the README stays a front page: at most 10,000 bytes.

    scripts/check-docs.py [ROOT]

Prints one line per problem and exits 1 if there is any, else 0.
"""
import glob
import os
import re
import sys

FRONT_PAGE_LIMIT = 10000
LINK = re.compile(r'(?<!\\)\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
FENCE = re.compile(r'^\s*(```|~~~)')
HEADING = re.compile(r'^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$')
EXTERNAL = re.compile(r'^[a-z][a-z0-9+.-]*:', re.I)


def prose(text):
    """The lines of a Markdown text that are not inside a fenced code block."""
    inside = False
    for number, line in enumerate(text.split('\n'), 1):
        if FENCE.match(line):
            inside = not inside
            continue
        if not inside:
            yield number, line


def slug(heading):
    """A heading's anchor: lower case, inline code and link marks dropped, punctuation dropped
    (hyphens and underscores kept), spaces turned into hyphens."""
    text = re.sub(r'\[([^\]]*)\]\([^)]*\)', r'\1', heading)
    text = text.replace('`', '').lower()
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def anchors(path):
    found, seen = set(), {}
    with open(path, encoding='utf-8') as page:
        for _, line in prose(page.read()):
            match = HEADING.match(line)
            if not match:
                continue
            base = slug(match.group(2))
            count = seen.get(base, 0)
            seen[base] = count + 1
            found.add(base if count == 0 else f'{base}-{count}')
    return found


def check_page(path, root):
    problems = []
    with open(path, encoding='utf-8') as page:
        text = page.read()
    here = os.path.dirname(path)
    name = os.path.relpath(path, root)
    for number, line in prose(text):
        line = re.sub(r'`[^`]*`', '', line)  # a link inside inline code is not a link
        for match in LINK.finditer(line):
            target = match.group(1)
            if EXTERNAL.match(target):
                continue
            file_part, _, fragment = target.partition('#')
            goal = os.path.normpath(os.path.join(here, file_part)) if file_part else path
            if not os.path.exists(goal):
                problems.append(f'{name}:{number}: {target}: no such file')
                continue
            if fragment and goal.endswith('.md') and fragment not in anchors(goal):
                problems.append(f'{name}:{number}: {target}: no heading '
                                f'"{fragment}" in {os.path.relpath(goal, root)}')
    return problems


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else
                           os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
    readme = os.path.join(root, 'README.md')
    pages = [readme] + sorted(glob.glob(os.path.join(root, 'docs', '*.md')))
    problems = []
    for page in pages:
        problems += check_page(page, root)
    size = os.path.getsize(readme)
    if size > FRONT_PAGE_LIMIT:
        problems.append(f'README.md: {size} bytes, more than a front page\'s {FRONT_PAGE_LIMIT:,}; '
                        'move the depth into docs/')
    for problem in problems:
        print(problem)
    if not problems:
        print(f'{len(pages)} pages: every relative link resolves; README.md {size} bytes')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
