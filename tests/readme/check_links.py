#!/usr/bin/env python3
"""Every relative link of the given Markdown pages leads somewhere: the file
exists, and an anchor (#name) is one of that page's headings, named as GitHub
names them (lower case, punctuation dropped, blanks as hyphens).

    check_links.py TOP_FOLDER PAGE...     (pages relative to TOP_FOLDER)
"""
import os
import re
import sys

LINK = re.compile(r"\]\(([^)\s]+)\)")


def anchors(path):
    names, fenced = set(), False
    with open(path, encoding="utf-8") as page:
        for line in page:
            if line.startswith("```"):
                fenced = not fenced
            elif not fenced and line.startswith("#"):
                title = line.lstrip("#").strip().lower()
                title = re.sub(r"[^\w\- ]", "", title)
                names.add(title.replace(" ", "-"))
    return names


def main(top, pages):
    broken = []
    for page in pages:
        fenced = False
        with open(os.path.join(top, page), encoding="utf-8") as text:
            for number, line in enumerate(text, 1):
                if line.startswith("```"):
                    fenced = not fenced
                if fenced:
                    continue
                for target in LINK.findall(line):
                    if re.match(r"[a-z]+:", target):
                        continue  # a web address
                    path, _, anchor = target.partition("#")
                    full = os.path.normpath(os.path.join(top, os.path.dirname(page), path)) if path \
                        else os.path.join(top, page)
                    if not os.path.exists(full):
                        broken.append(f"{page}:{number}: {target}: no such file")
                    elif anchor and (not full.endswith(".md") or anchor not in anchors(full)):
                        broken.append(f"{page}:{number}: {target}: no heading #{anchor} there")
    for message in broken:
        print(message, file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
