#!/usr/bin/env python3
"""Writes README.txt for the Windows packages from docs/manual.md, the manual
for the person running the program, as plain text with CRLF line ends, in
UTF-8.

    readme_txt.py docs/manual.md README.txt
"""
import re
import sys
import textwrap

WIDTH = 78


def inline(text):
    """Markdown inline marks to plain text."""
    text = re.sub(r"\*\*(.+?)\*\*", r"\1", text)
    return re.sub(r"`([^`]*)`", r"\1", text)


def cells(row):
    return [inline(c.strip()) for c in row.strip().strip("|").split("|")]


def table(rows, indent):
    """A Markdown table as aligned columns, or as one block a row where the
    columns would not fit."""
    head, body = cells(rows[0]), [cells(r) for r in rows[2:]]
    widths = [max(len(r[i]) for r in [head] + body) for i in range(len(head))]
    if len(indent) + sum(widths) + 2 * (len(widths) - 1) <= WIDTH:
        lines = []
        for r in [head, ["-" * w for w in widths]] + body:
            lines.append(indent + "  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())
        return lines
    lines = []
    for r in body:
        lines.append(indent + r[0])
        for name, value in zip(head[1:], r[1:]):
            lines += textwrap.wrap(f"{name}: {value}", WIDTH, initial_indent=indent + "    ",
                                   subsequent_indent=indent + "      ")
    return lines


def convert(markdown):
    lines = markdown.splitlines()
    title = lines[0].lstrip("# ").strip()
    out = [title, "=" * len(title), ""]
    i = 1
    while i < len(lines):
        line = lines[i]
        if line.startswith("## "):
            name = line[3:].strip()
            out += ["", name, "-" * len(name)]
            i += 1
            continue
        stripped = line.lstrip()
        if stripped.startswith("|"):
            indent = line[:len(line) - len(stripped)]
            rows = []
            while i < len(lines) and lines[i].lstrip().startswith("|"):
                rows.append(lines[i])
                i += 1
            out += table(rows, indent)
            continue
        # Code blocks keep their text as it stands; the rest loses its marks.
        out.append(line.rstrip() if line.startswith("    ") and not line.startswith("    -")
                   else inline(line).rstrip())
        i += 1
    while out and out[-1] == "":
        out.pop()
    text = "\n".join(out).replace("\n\n\n", "\n\n")
    # With a byte-order mark, so that every Notepad reads it as UTF-8.
    return (text + "\n").replace("\n", "\r\n").encode("utf-8-sig")


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[0], encoding="utf-8") as f:
        text = convert(f.read())
    with open(argv[1], "wb") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
