#!/usr/bin/env python3
"""Keeps the manual true to the code: README.md, docs/*.md and the manual
pages against the sources they describe. One row per kind of claim; each
row lists what it finds wrong, and any finding fails.

Conventions the manual follows, so that it can be checked:
  - a fenced block after a line "<!-- file: PATH -->" shows PATH as it stands;
  - every other fenced block without a language holds messages, one to a
    line, placeholders in angle brackets: what the sources must write;
  - an ILL value is given with its name, as "| 2 | `GENEIG_ILL_...` |" in a
    table or ".BR 2 \" (GENEIG_ILL_...)\"" in a manual page.

Usage: check_docs.py [SOURCE_DIR]
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else __file__).resolve()
if ROOT.is_file():
    ROOT = ROOT.parents[2]

# A page that comes with a part of the code, and may be linked before that
# part is in the tree.
PAGE_OF_PART = {"docs/python.md": "src/python"}
# Files every reader needs to see whole: each is shown by some page.
SHOWN = ["examples/order2/matrix.in", "examples/order2/matrix.out",
         "examples/library/solve.f90", "examples/library/solve.c",
         "examples/library/solve_threads.c", "examples/library/cxx/CMakeLists.txt",
         "examples/library/cxx/solve.cpp", *sorted(
             str(p.relative_to(ROOT)) for p in (ROOT / "examples/recipes").iterdir())]
# Top folders of the tree: a path in backquotes that starts with one must exist.
TOP = ("src/", "tests/", "examples/", "bench/", "fuzz/", "cross/", "cmake/", "man/", "docs/",
       ".ci/")


def pages():
    return [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]


def man_pages():
    return sorted((ROOT / "man").glob("man*/*.[0-9]"))


def rel(path):
    return str(path.relative_to(ROOT))


def fenced_blocks(path):
    """(marker, info, lines, line number) of each fenced block of a page;
    marker is the PATH of a preceding "<!-- file: PATH -->" line."""
    lines = path.read_text().split("\n")
    blocks, i = [], 0
    while i < len(lines):
        m = re.match(r"^(\s*)```(\S*)\s*$", lines[i])
        if not m:
            i += 1
            continue
        indent, info, start = m.group(1), m.group(2), i
        j = i + 1
        while j < len(lines) and lines[j].strip() != "```":
            j += 1
        body = [line[len(indent):] for line in lines[i + 1:j]]
        before = lines[start - 1] if start > 0 else ""
        marker = re.match(r"^<!-- file: (\S+) -->$", before)
        blocks.append((marker.group(1) if marker else None, info, body, start + 1))
        i = j + 1
    return blocks


def check_shown_files():
    """Each file block is its file as it stands, and every file of SHOWN is shown."""
    found, shown = [], set()
    for page in pages():
        for marker, _, body, line in fenced_blocks(page):
            if marker is None:
                continue
            shown.add(marker)
            target = ROOT / marker
            if not target.is_file():
                found.append(f"{rel(page)}:{line}: shows {marker}, which does not exist")
            elif "\n".join(body) + "\n" != target.read_text():
                found.append(f"{rel(page)}:{line}: does not show {marker} as it stands")
    found += [f"no page shows {f}" for f in SHOWN if f not in shown]
    return found


def source_pieces():
    """The literal text of every string the sources write: C and C++ string
    literals (adjacent ones joined), Python, CMake and Makefile strings,
    split at each conversion (printf's %d, CMake's ${var}) into pieces."""
    pieces = set()
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:[^\'\\\n]|\\.)*\'|"((?:[^"\\\n]|\\.)*)"|(\S)',
                       re.S)
    conversion = re.compile(r"%%|%[-+ #0]*(?:\*|\d+)?(?:\.(?:\*|\d+))?(?:hh|h|ll|l|z|j|t|L)?"
                            r"[diouxXeEfgGcsp]|\$\{\w+\}|\$\(\w+\)")

    def add(text):
        text = re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)),
                      text)
        for piece in conversion.split(text.replace("%%", "%")):
            pieces.update(p for p in piece.split("\n") if p)

    for path in sorted((ROOT / "src").rglob("*.py")):
        for m in re.finditer(r'"((?:[^"\\\n]|\\.)*)"|\'((?:[^\'\\\n]|\\.)*)\'',
                             path.read_text()):
            add(m.group(1) if m.group(1) is not None else m.group(2))
    for path in sorted((ROOT / "src").rglob("*")):
        if path.suffix not in (".cpp", ".hpp", ".h", ".in"):
            continue
        literal = None
        for m in token.finditer(path.read_text()):
            if m.group(1) is not None:
                literal = (literal or "") + m.group(1)
            elif m.group(2) is not None or m.group(0).startswith("'"):
                if literal is not None:
                    add(literal)
                literal = None
        if literal is not None:
            add(literal)
    for path in [*sorted((ROOT / "cmake").glob("*.cmake")), ROOT / "CMakeLists.txt",
                 ROOT / "tests/CMakeLists.txt", ROOT / "Makefile"]:
        text = re.sub(r"(?m)^\s*#.*$", "", path.read_text())
        for m in re.finditer(r'"((?:[^"\\\n]|\\.)*)"', text):
            add(m.group(1))
    return pieces


def written_by(fragment, pieces, corpus):
    """Whether fragment is a run of the sources' text: the end of one piece,
    whole pieces, and the start of another (or within a single piece)."""
    if any(fragment in p for p in pieces):
        return True
    n = len(fragment)
    reach = {k for k in range(1, n) if "\x01" not in fragment[:k] and
             (fragment[:k] + "\x00") in corpus}
    seen = set()
    while reach:
        p = reach.pop()
        if p in seen:
            continue
        seen.add(p)
        if ("\x01" + fragment[p:]) in corpus:
            return True
        reach.update(p + k for k in range(1, n - p) if fragment[p:p + k] in pieces)
    return False


def check_messages():
    """Every line of a message block is text the sources write."""
    pieces = source_pieces()
    corpus = "\x01" + "\x00\x01".join(sorted(pieces)) + "\x00"
    # Placeholders and what stands for numbers or matrices: <line>, X(i,j),
    # (re, im), digits, a quoted item.
    variable = re.compile(r'<[^>]*>|"[^"]*"|\[; |\]|\b(?:[ABXNMDijklmrc]|re|im)\b|-?\d+(?:\.\d+)?')
    found = []
    for page in pages():
        for marker, info, body, line in fenced_blocks(page):
            if marker is not None or info:
                continue
            for k, message in enumerate(body):
                for fragment in variable.split(message):
                    fragment = fragment.strip()
                    if len(re.findall(r"[A-Za-z]", fragment)) >= 3 and \
                            not written_by(fragment, pieces, corpus):
                        found.append(f"{rel(page)}:{line + 1 + k}: no source writes "
                                     f"\"{fragment}\" of: {message}")
    return found


def check_ill():
    """ILL values and names are those of geneig_ill.h, every one in the table."""
    header = (ROOT / "src/solver/geneig_ill.h").read_text()
    value = {name: int(v) for name, v in re.findall(r"(GENEIG_ILL_\w+) = (\d+)", header)}
    found = []
    pairs = [(page, r"^\|\s*(\d+)\s*\|\s*`(GENEIG_ILL_\w+)`") for page in pages()]
    pairs += [(page, r'^\.BR (\d+) " \((GENEIG_ILL_\w+)\)"') for page in man_pages()]
    for page, pattern in pairs:
        text = page.read_text()
        for name in sorted(set(re.findall(r"GENEIG_ILL_\w+", text)) - set(value)):
            found.append(f"{rel(page)}: names {name}, which geneig_ill.h does not define")
        for number, name in re.findall(pattern, text, re.M):
            if name in value and value[name] != int(number):
                found.append(f"{rel(page)}: gives {name} as {number}, geneig_ill.h as "
                             f"{value[name]}")
    table = dict((n, v) for v, n in re.findall(
        r"^\|\s*(\d+)\s*\|\s*`(GENEIG_ILL_\w+)`", (ROOT / "docs/library.md").read_text(), re.M))
    found += [f"docs/library.md: the table of ILL lacks {n}" for n in value if n not in table]
    return found


def slug(heading):
    """The anchor a Markdown heading gets: lower case, punctuation dropped,
    blanks as hyphens."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def check_links():
    """Every relative link of the pages leads to a file, and to a heading there."""
    found = []
    for page in pages():
        text = re.sub(r"(?ms)^```.*?^```", "", page.read_text())
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            dest = (page.parent / path).resolve() if path else page
            name = str(dest.relative_to(ROOT)) if dest.is_relative_to(ROOT) else str(dest)
            if not dest.exists():
                part = PAGE_OF_PART.get(name)
                if part is None or (ROOT / part).exists():
                    found.append(f"{rel(page)}: links {target}, which does not exist")
                continue
            if anchor and dest.is_file():
                headings = re.findall(r"(?m)^#+ (.*)$", dest.read_text())
                if anchor not in {slug(h) for h in headings}:
                    found.append(f"{rel(page)}: links {target}, a heading {name} does not have")
    return found


def check_paths():
    """Paths of the tree named in backquotes exist, and so do the files the layout names."""
    found = []
    names = {p.name for p in ROOT.rglob("*") if ".git" not in p.parts and
             not p.parts[len(ROOT.parts)].startswith("build")}
    for page in pages():
        text = page.read_text()
        for quoted in re.findall(r"`([^`\s]+)`", text):
            if quoted.startswith(TOP) and not (ROOT / quoted.rstrip("/")).exists():
                found.append(f"{rel(page)}: names {quoted}, which does not exist")
    for quoted in re.findall(r"`([\w.-]+\.(?:cpp|hpp|h|in|cmake|map|sh|py))`",
                             (ROOT / "docs/layout.md").read_text()):
        if quoted not in names:
            found.append(f"docs/layout.md: names {quoted}, which no folder holds")
    return found


def check_man_macros():
    """No two words run together in the manual pages' font macros.

    An alternating font macro (.BR, .IR, ...) joins its arguments without a
    blank, so two unquoted words in a row render as one ("adoublearray")."""
    found = []
    for page in man_pages():
        for k, line in enumerate(page.read_text().split("\n"), 1):
            m = re.match(r"^\.(BR|BI|IB|IR|RB|RI) (.*)$", line)
            if not m:
                continue
            words = re.findall(r'"[^"]*"|\S+', m.group(2))
            for a, b in zip(words, words[1:]):
                if re.match(r"\w", a) and re.match(r"\w", b):
                    found.append(f"{rel(page)}:{k}: \"{a}\" and \"{b}\" run together: {line}")
    return found


def check_version():
    """One version in CMake's project, the changelog's newest entry and the C++ example."""
    version = re.search(r"project\(geneig VERSION (\d+)\.(\d+)\.(\d+)",
                        (ROOT / "CMakeLists.txt").read_text()).groups()
    found = []
    entry = re.search(r"(?m)^## (\S+)", (ROOT / "CHANGELOG.md").read_text())
    if entry is None or entry.group(1) != ".".join(version):
        found.append(f"CHANGELOG.md's newest entry is not {'.'.join(version)}")
    asked = re.search(r"find_package\(geneig (\S+) ",
                      (ROOT / "examples/library/cxx/CMakeLists.txt").read_text()).group(1)
    if asked != ".".join(version[:2]):
        found.append(f"examples/library/cxx asks for geneig {asked}, not "
                     f"{'.'.join(version[:2])}")
    return found


CHECKS = [check_shown_files, check_messages, check_ill, check_links, check_paths,
          check_man_macros, check_version]


def main():
    failures = 0
    for check in CHECKS:
        found = check()
        failures += len(found)
        print(("FAIL" if found else "ok") + ": " + check.__doc__.split("\n")[0])
        for line in found:
            print("  " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
