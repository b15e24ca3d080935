#!/usr/bin/env python3
"""Every message the program can show has a row in the guide's troubleshooting table.

The messages are read from the code: every string literal in src/ (adjacent
literals joined) that reads as words, less the texts below that are not
messages. A new message without a row fails here; so does a text that the
list below names but the code no longer has, so the list stays true.

A message with placeholders (%1, %s) is split into its literal pieces, which a
row must hold in that order: "'%1' is not a valid time" is matched by
"'7:3o' is not a valid time".

usage: check_messages.py SOURCE_DIR
"""
import pathlib
import re
import sys

# Texts in the code that are not messages an operator can be shown.
NOT_MESSAGES = {
    # the About box and the build line
    "© 2026 Cantrel", "Cantrel 1.18", "Build: %1, %2",
    "Cantrel 1.18 - Edit mode", "Cantrel 1.18 - Run mode",
    # --help's own text
    "Cantrel 1.18: keeps a day schedule and a month calendar of timed actions,\n"
    "opens each row's media file when it falls due and switches its output\n"
    "on a 16-output device over a parallel port or a serial line.",
    "Run the month calendar's schedule without a window, as Run mode does, until SIGTERM or "
    "SIGINT. Failures go to standard error.",
    "With --run or --plan: the settings file to read (default: Cantrel.ini in the current "
    "folder, or for an installed program the one in $XDG_CONFIG_HOME/cantrel when the current "
    "folder has none). It is never written.",
    "Show for each day of the month (this month, or YYYY-MM), or for the one day YYYY-MM-DD, "
    "the day schedule that will run and where it comes from: calendar, plan line N or "
    "nothing. It reads the calendar the settings name, as --run does, and the plan beside it "
    "(NAME.plan).",
    "With --plan: a month YYYY-MM or a day YYYY-MM-DD (default: this month).",
    "Show the state of this user's cantrel --run: running since, files, connection and link, "
    "the next row and the last ten as-run events. Exit status 0 when it runs, 3 when none "
    "does, 1 on other errors.",
    "Usage: %1 [options]",
    # menus, headers, labels, file filters: the window's own words, shown in the guide's pictures
    "New 24h", "Load 24h", "Save 24h", "Save As 24h", "New 31d", "Load 31d", "Save 31d",
    "Save As 31d", "Media file", ".24h file", "Device ID", "Run advance (sec)",
    "Comunication Setup Dialog", ".24h files|*.24h", ".31d files|*.31d", "any file|*.*",
    # the widest connection text, which sizes the panel
    "Connection: COM4   Device ID: 127",
    # the Run button's tip beside the service (the tips have their own test)
    "The service (cantrel --run) runs the schedule; Run is available when it stops",
    # formats of times and of the port trace
    "yyyy-MM-dd HH:mm:ss ", ".%03ld %04X %02X\n", "MMMM yyyy",
    # the plan panel and the tip of a day the plan fills in
    "Plan for %1: %2", "no rule of the plan for %1",
    # cantrel --plan's words for where a day comes from, explained in the guide's plan section
    "nothing (no rule)", "nothing (plan line %1)",
    "summer time: the clock goes from %1 to %2",
    "summer time ends: the clock goes back from %1 to %2",
    # the as-run log's words: events and their details, explained in the guide's log section
    "run entered", "run left", "day loaded", "calendar loaded", "plan loaded", "by hand",
    "%1 (plan: %2)", "no rule for %1",
    "link down", "link back", "by hand over the bus", "calendar %1, day file %2, run advance %3 s",
    "saved anew: %1", "the ticks were %1 s apart", " while the clock moved on %1 s",
    ", more than %1 s", "settings loaded", "nothing changed", "settings kept", "Port %1 -> %2",
    "device ID %1 -> %2", "run advance %1 s -> %2 s", "file31d %1 -> %2 not taken until restart",
    # the next row, as the status bar, --status and systemd show it
    "Next: %1  P%2", "No more rows today", "Next: no more rows today\n",
    # cantrel --status's report, shown in the guide and the README
    "cantrel --run is running since %1 (process %2)\n",
    "Settings: %1\nCalendar: %2\nDay file: %3, run advance %4 s\n", "Last events:\n",
    "%1 ms early", "%1 ms late",
    # the bus interface's annotation
    "D-Bus Interface",
    # warnings for developers: a worker thread that wrongly starts a timer
    "A row's worker thread has no event loop to watch a socket with",
    "A row's worker thread has no event loop to run a timer in",
}

# The tooltips: the window's explanations, tested with their controls.
NOT_MESSAGE_FILES = {"src/app/ControlTips.cpp"}

LITERAL = re.compile(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*')
PIECE = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
PLACEHOLDER = re.compile(r"%(?:\d+|[-0-9.]*l?[sdxXu])|\n")


def without_comments(text):
    out, i, n = [], 0, len(text)
    while i < n:
        if text[i] in "\"'":
            quote, j = text[i], i + 1
            while j < n and text[j] != quote:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i)
            i = n if j < 0 else j + 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def unescape(literal):
    return literal.encode("utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


def code_texts(root):
    texts = {}
    for path in sorted(root.glob("src/**/*")):
        rel = path.relative_to(root).as_posix()
        if path.suffix not in (".cpp", ".h") or rel in NOT_MESSAGE_FILES:
            continue
        for match in LITERAL.finditer(without_comments(path.read_text(encoding="utf-8"))):
            text = unescape("".join(PIECE.findall(match.group(0))))
            if " " in text.strip() and re.search("[A-Za-z]{2}", text):
                texts.setdefault(text, rel)
    return texts


def pieces(message):
    out = []
    for part in PLACEHOLDER.split(message):
        part = part.strip(" :;,")
        if re.search("[A-Za-z0-9]", part):
            out.append(part)
    return out


def in_order(row, parts):
    at = 0
    for part in parts:
        at = row.find(part, at)
        if at < 0:
            return False
        at += len(part)
    return True


def table_rows(guide):
    section = guide.split("\n## Troubleshooting\n", 1)
    if len(section) != 2:
        sys.exit("the guide has no '## Troubleshooting' section")
    body = section[1].split("\n## ", 1)[0]
    return [line for line in body.splitlines() if line.startswith("| `")]


def main():
    root = pathlib.Path(sys.argv[1])
    rows = table_rows((root / "docs/guide.md").read_text(encoding="utf-8"))
    texts = code_texts(root)
    failures = []
    for text, where in sorted(texts.items()):
        if text in NOT_MESSAGES:
            continue
        if not any(in_order(row, pieces(text)) for row in rows):
            failures.append(f"no troubleshooting row for {text!r} ({where})")
    for text in sorted(NOT_MESSAGES - texts.keys()):
        failures.append(f"listed as not a message, but no longer in the code: {text!r}")
    for failure in failures:
        print(failure)
    messages = len(texts.keys() - NOT_MESSAGES)
    print(f"{messages} messages, {len(rows)} rows, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
